// The DP master as an application of its FDL station: while the station holds the token, the
// master's cycle runs a step (one slave's request) at a time from where the last visit left it,
// for as long as the hold time lasts and at least one step a visit. Between two cycles the
// owner's handler runs (the board link's exchange, the status), as between RunCycle calls.
#pragma once

#include "dp/master/DpMaster.h"
#include "dp/station/FdlApplication.h"

#include <functional>

namespace dp
{

class CMasterApplication : public IFdlApplication
{
public:
    // False from the handler ends the token use and the station's run (a failed board).
    using PFN_BETWEEN_CYCLES = std::function<bool()>;

    explicit CMasterApplication(CDpMaster& master) : m_master(master) {}
    void SetBetweenCycles(PFN_BETWEEN_CYCLES pfnBetween) { m_pfnBetween = std::move(pfnBetween); }
    // No cycle begins sooner than this after the last one began: a visit that comes earlier
    // passes the token on unused.
    void SetShortestCycleNs(std::uint64_t qwNs) { m_qwShortestCycleNs = qwNs; }

    bool UseToken(std::uint64_t qwHoldUntilNs) override;

    // Why the last token use returned false: the line, or the handler.
    bool HandlerFailed() const { return m_bHandlerFailed; }

private:
    CDpMaster& m_master;
    PFN_BETWEEN_CYCLES m_pfnBetween;
    bool m_bHandlerFailed = false;
    std::uint64_t m_qwShortestCycleNs = 0;
    std::uint64_t m_qwCycleBeganNs = 0;
    bool m_bBegun = false;
};

} // namespace dp
