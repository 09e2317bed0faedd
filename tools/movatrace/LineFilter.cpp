#include "tools/movatrace/LineFilter.h"

#include <cstdint>

#if defined(MOVATRACE_HAS_RE2)
#include <re2/re2.h>
#endif

namespace movatrace
{

namespace
{

// What the compiled pattern may take; RE2 refuses a pattern that needs more ("pattern too
// large"), so a pattern cannot make the window slow or big.
constexpr std::int64_t kMaxPatternMemory = 8 << 20;

} // namespace

CLineFilter::CLineFilter() = default;
CLineFilter::~CLineFilter() = default;

#if defined(MOVATRACE_HAS_RE2)

void CLineFilter::SPatternDeleter::operator()(re2::RE2* pPattern) const
{
    delete pPattern;
}

bool CLineFilter::IsAvailable()
{
    return true;
}

bool CLineFilter::Compile(const std::string& strPattern, std::string& strError)
{
    RE2::Options options;
    options.set_log_errors(false);
    options.set_max_mem(kMaxPatternMemory);
    std::unique_ptr<re2::RE2, SPatternDeleter> pPattern(new re2::RE2(strPattern, options));
    if (!pPattern->ok())
    {
        strError = "'" + strPattern + "': " + pPattern->error();
        return false;
    }
    m_pPattern = std::move(pPattern);
    return true;
}

bool CLineFilter::Matches(std::string_view text) const
{
    return !m_pPattern ||
           re2::RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *m_pPattern);
}

#else

// Nothing is ever compiled here.
void CLineFilter::SPatternDeleter::operator()(re2::RE2*) const {}

bool CLineFilter::IsAvailable()
{
    return false;
}

bool CLineFilter::Compile(const std::string&, std::string& strError)
{
    strError = "not available in this build of movatrace (it was built without RE2)";
    return false;
}

bool CLineFilter::Matches(std::string_view) const
{
    return true;
}

#endif

} // namespace movatrace
