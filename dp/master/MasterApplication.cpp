#include "dp/master/MasterApplication.h"

#include "platform/Clock.h"

namespace dp
{

bool CMasterApplication::UseToken(std::uint64_t qwHoldUntilNs)
{
    // A cycle that ends without a request (no slave to run) ends the visit: the next begins
    // with the next token.
    bool bSent = false;
    do
    {
        if (!m_master.InCycle())
        {
            const std::uint64_t qwNow = platform::ReadMonotonicNs();
            if (m_bBegun && qwNow < m_qwCycleBeganNs + m_qwShortestCycleNs)
                return true;
            m_bBegun = true;
            m_qwCycleBeganNs = qwNow;
        }
        switch (m_master.NextStep())
        {
        case CDpMaster::teStep::Stepped:
            bSent = true;
            break;
        case CDpMaster::teStep::CycleEnded:
            if (m_pfnBetween && !m_pfnBetween())
            {
                m_bHandlerFailed = true;
                return false;
            }
            if (!bSent)
                return true;
            break;
        case CDpMaster::teStep::Stopped:
            return true;
        case CDpMaster::teStep::LineFailed:
            return false;
        }
    } while (platform::ReadMonotonicNs() < qwHoldUntilNs);
    return true;
}

} // namespace dp
