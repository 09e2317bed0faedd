// Lines a person types on the master's standard input ("status"), cut from whatever the
// input brings. A line longer than any command is dropped as it comes, so that an input that
// never brings a line end (a file of binary data, a stuck writer) cannot grow the master's
// memory.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace dpmaster
{

class CInputLines
{
public:
    static constexpr std::size_t kDefaultMaxLength = 256;

    explicit CInputLines(std::size_t nMaxLength = kDefaultMaxLength) : m_nMaxLength(nMaxLength) {}

    // Adds what was read; appends each complete line (without its line end) to lines.
    void Add(const char* pchBytes, std::size_t nCount, std::vector<std::string>& lines);

    // True once, after the first line that was dropped for its length.
    bool TakeDroppedNotice();

    // Bytes held for the line not yet complete; never more than the longest line.
    std::size_t PendingSize() const { return m_strPending.size(); }

private:
    std::size_t m_nMaxLength;
    std::string m_strPending;
    bool m_bDropping = false; // in a line too long, until its end
    bool m_bDroppedOnce = false;
    bool m_bNoticeTaken = false;
};

} // namespace dpmaster
