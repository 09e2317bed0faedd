// The --grep filter of the trace window. It runs on every line before the sender is let go, so
// it must finish in time bounded by the line's length whatever the pattern: RE2, whose matching
// is linear and whose compiled form has a memory limit. A build without RE2 (the Windows one:
// Debian has no RE2 for MinGW) has no filter and refuses --grep.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace re2
{
class RE2;
}

namespace movatrace
{

class CLineFilter
{
public:
    CLineFilter();
    ~CLineFilter();
    CLineFilter(const CLineFilter&) = delete;
    CLineFilter& operator=(const CLineFilter&) = delete;

    // Whether this build can filter at all.
    static bool IsAvailable();

    // false, with a one-line reason, for a pattern that does not compile within the limits.
    bool Compile(const std::string& strPattern, std::string& strError);

    // Whether the pattern is found anywhere in the text; true when nothing was compiled.
    bool Matches(std::string_view text) const;

private:
    // Defined where RE2 is known, also in a build without it.
    struct SPatternDeleter
    {
        void operator()(re2::RE2* pPattern) const;
    };
    std::unique_ptr<re2::RE2, SPatternDeleter> m_pPattern;
};

} // namespace movatrace
