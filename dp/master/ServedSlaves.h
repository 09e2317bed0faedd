// What a board link serves: the slaves a board shows, their states and images, and the mode of
// the master behind them. A DP master runs them itself (CMasterSlaves); a monitor only watches
// another master run them (dp/monitor/), so its slaves are read-only and their outputs are the
// ones it saw on the line, not the hosts'.
#pragma once

#include "dp/files/MasterConfig.h"
#include "dp/master/DpMaster.h"

#include "board/BoardStates.h"

#include <cstddef>
#include <cstdint>

namespace dp
{

class IServedSlaves
{
public:
    virtual ~IServedSlaves() = default;

    virtual std::size_t SlaveCount() const = 0;
    virtual const SSlaveConfig& SlaveConfig(std::size_t nIndex) const = 0;
    virtual const SMasterSlaveState& SlaveState(std::size_t nIndex) const = 0;

    // True when the slave's outputs are the line's (SlaveState().abyOutputs goes to the
    // board: another master writes them); false when they are the hosts' (the board's go to
    // TakeOutputs).
    virtual bool OutputsFromLine(std::size_t nIndex) const = 0;
    virtual void TakeOutputs(std::size_t nIndex, const std::uint8_t* pbyOutputs,
                             std::size_t nCount) = 0;

    virtual teBoardMasterMode Mode() const = 0;
    // A host that writes outputs has let its watchdog run out (or none has): a master then
    // goes to clear; a monitor has no say.
    virtual void HostWatchdogExpired(bool bExpired) = 0;

    // The oldest a slave's posted inputs (and the owner's last exchange with the board) may be
    // while the owner runs as it should, when it pauses qwPauseNs between its turns.
    virtual std::uint64_t PostedAgeBoundNs(std::uint64_t qwPauseNs) const = 0;
    // Turns completed (a master's cycles), posted with the heartbeat.
    virtual std::uint64_t Turns() const = 0;
};

// A DP master's slaves as a board link serves them.
class CMasterSlaves : public IServedSlaves
{
public:
    explicit CMasterSlaves(CDpMaster& master) : m_master(master) {}

    std::size_t SlaveCount() const override { return m_master.SlaveCount(); }
    const SSlaveConfig& SlaveConfig(std::size_t nIndex) const override
    {
        return m_master.Config().slaves[nIndex];
    }
    const SMasterSlaveState& SlaveState(std::size_t nIndex) const override
    {
        return m_master.Slave(nIndex);
    }
    // An observed slave's outputs are its owner's, read off the bus.
    bool OutputsFromLine(std::size_t nIndex) const override
    {
        return m_master.Config().slaves[nIndex].bObserve;
    }
    void TakeOutputs(std::size_t nIndex, const std::uint8_t* pbyOutputs,
                     std::size_t nCount) override
    {
        m_master.SetOutputs(nIndex, pbyOutputs, nCount);
    }
    teBoardMasterMode Mode() const override { return m_master.Mode(); }
    void HostWatchdogExpired(bool bExpired) override
    {
        m_master.SetMode(bExpired ? MasterClear : MasterOperate);
    }
    // The inputs posted for an exchanging slave may span four turns of the owner's loop (an
    // exchange with the board, a cycle, the pause): they were brought during the cycle before
    // the exchange that posted them and stay until the next exchange (two turns), a cycle that
    // reads the slave's diagnosis in place of its Data_Exchange brings none (one more), and the
    // cycle's last slave has its inputs held until the next cycle's first window has closed
    // (one more: the master holds inputs until the line has shown they answered).
    std::uint64_t PostedAgeBoundNs(std::uint64_t qwPauseNs) const override
    {
        return 4 * (m_master.CycleBoundNs() + qwPauseNs);
    }
    std::uint64_t Turns() const override { return m_master.Counters().qwCycles; }

private:
    CDpMaster& m_master;
};

} // namespace dp
