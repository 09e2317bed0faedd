#include "tools/dpmaster/InputLines.h"

namespace dpmaster
{

void CInputLines::Add(const char* pchBytes, std::size_t nCount, std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < nCount; ++i)
    {
        const char ch = pchBytes[i];
        if (ch == '\n')
        {
            if (!m_bDropping)
            {
                if (!m_strPending.empty() && m_strPending.back() == '\r')
                    m_strPending.pop_back();
                lines.push_back(m_strPending);
            }
            m_strPending.clear();
            m_bDropping = false;
            continue;
        }
        if (m_bDropping)
            continue;
        if (m_strPending.size() >= m_nMaxLength)
        {
            m_strPending.clear();
            m_strPending.shrink_to_fit();
            m_bDropping = true;
            m_bDroppedOnce = true;
            continue;
        }
        m_strPending += ch;
    }
}

bool CInputLines::TakeDroppedNotice()
{
    if (!m_bDroppedOnce || m_bNoticeTaken)
        return false;
    m_bNoticeTaken = true;
    return true;
}

} // namespace dpmaster
