#include "dp/master/BoardLink.h"

#include "sim/BoardLock.h"
#include "sim/Registrations.h"
#include "sim/ServedBoard.h"
#include "sim/Watchdog.h"
#include "sim/common/ProcessIdentity.h"

#include "dp/services/DpServices.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace dp
{

namespace
{

// The board's slave records take a DP slave's whole images.
static_assert(korix::kMaxDataLength == kMaxDpDataBytes);

using korix::SBoardState;
using korix::SRegistration;

// What a loaded machine may keep the master from running: time slices of other processes
// (these machines run a load of 8-9 on 2 cores), page faults, a slow terminal it prints to.
// Waits of tens of milliseconds are common there; this is several times that, and a stall
// beyond it is one a host should hear of.
constexpr std::uint64_t kSchedulingAllowanceMs = 250;

// How many turns of the owner's loop (an exchange with the board, a cycle, the pause) the
// inputs posted for an exchanging slave may span: they were brought during the cycle before
// the exchange that posted them and stay until the next exchange (two turns), a cycle that
// reads the slave's diagnosis in place of its Data_Exchange brings none (one more), and the
// cycle's last slave has its inputs held until the next cycle's first window has closed (one
// more: CDpMaster holds inputs until the line has shown they answered).
constexpr std::uint64_t kTurnsPerPost = 4;

constexpr std::uint64_t kNsPerMs = 1000000;

// Tick differences are taken modulo 2^32, so a bound means something only below 2^31 ms.
constexpr std::uint64_t kLongestBoundMs = 0x7FFFFFFF;

bool IsPlantOurs(const SBoardState& state, const CDpMaster& master, const std::string& strSource)
{
    if (std::strncmp(state.sPlant.szSource, strSource.c_str(), sizeof state.sPlant.szSource) != 0)
        return false;
    std::size_t nPresent = 0;
    for (const korix::SBoardSlave& slave : state.sPlant.aSlaves)
        nPresent += slave.byPresent != 0 ? 1 : 0;
    if (nPresent != master.SlaveCount())
        return false;
    for (std::size_t i = 0; i < master.SlaveCount(); ++i)
    {
        const SSlaveConfig& config = master.Config().slaves[i];
        const korix::SBoardSlave& slave = state.sPlant.aSlaves[config.byAddress];
        if (slave.byPresent == 0 || slave.byInputLength != config.byInputLength ||
            slave.byOutputLength != config.byOutputLength || slave.byGeneratorCount != 0)
            return false;
    }
    return true;
}

// What the board shows of a slave the master runs: its state, its inputs (as many as the
// board's slave has room for) and when they were brought. Every post of a slave goes through
// here, so that the board never shows a state and inputs of different moments.
void PostSlave(SBoardState& state, std::uint8_t byAddress, const SMasterSlaveState& master)
{
    korix::SBoardSlave& slave = state.sPlant.aSlaves[byAddress];
    slave.byState = master.eState;
    std::memcpy(slave.abyInput, master.abyInputs, slave.byInputLength);
    korix::SFreshness& freshness = state.sFreshness;
    freshness.adwInputsTick[byAddress] = master.dwInputsTick;
    freshness.adwInputsCycle[byAddress] = static_cast<std::uint32_t>(master.qwInputsCycle);
}

// The bus's slaves as the board's plant. Outputs that hosts wrote to a slave of the same
// shape stay: a restarted master goes on with what the hosts last wrote, which their
// watchdogs still guard.
void InstallPlant(SBoardState& state, const CDpMaster& master, const std::string& strSource)
{
    korix::SPlant& plant = state.sPlant;
    for (std::uint8_t byAddress = 0; byAddress < kBoardSlaveCount; ++byAddress)
    {
        korix::SBoardSlave& slave = plant.aSlaves[byAddress];
        const int nIndex = master.FindSlave(byAddress);
        if (nIndex < 0)
        {
            std::memset(&slave, 0, sizeof slave);
            continue;
        }
        const SSlaveConfig& config = master.Config().slaves[static_cast<std::size_t>(nIndex)];
        const bool bKeepOutputs =
            slave.byPresent != 0 && slave.byOutputLength == config.byOutputLength;
        std::uint8_t abyOutputs[korix::kMaxDataLength];
        std::memcpy(abyOutputs, slave.abyOutput, sizeof abyOutputs);
        std::memset(&slave, 0, sizeof slave);
        slave.byPresent = 1;
        slave.byInputLength = config.byInputLength;
        slave.byOutputLength = config.byOutputLength;
        if (bKeepOutputs)
            std::memcpy(slave.abyOutput, abyOutputs, sizeof abyOutputs);
        PostSlave(state, byAddress, master.Slave(static_cast<std::size_t>(nIndex)));
    }
    plant.dwEpoch = platform::ReadTickCount();
    std::snprintf(plant.szSource, sizeof plant.szSource, "%s", strSource.c_str());
}

} // namespace

CBoardLink::CBoardLink(std::uint8_t byBoard, CDpMaster& master, const std::string& strSource)
    : m_byBoard(byBoard), m_master(master), m_strSource(strSource)
{
}

CBoardLink::~CBoardLink()
{
    Detach();
}

bool CBoardLink::Attach(std::string& strError)
{
    korix::CBoardLock lock(m_byBoard);
    SBoardState* pState = lock.State();
    if (pState == nullptr)
    {
        strError = "board " + std::to_string(m_byBoard) + ": its shared state cannot be opened";
        return false;
    }
    return Register(*pState, strError);
}

bool CBoardLink::Register(SBoardState& state, std::string& strError)
{
    for (const SRegistration& registration : state.aRegistrations)
    {
        if (korix::IsServingRegistration(registration))
        {
            strError = "board " + std::to_string(m_byBoard) + " is served already, by process " +
                       std::to_string(registration.nPid);
            return false;
        }
    }
    std::uint8_t abyModes[kBoardSlaveCount] = {};
    const int nSlot =
        korix::AddRegistration(state, korix::CurrentProcess(), abyModes, platform::ReadTickCount());
    if (nSlot < 0)
    {
        strError = "board " + std::to_string(m_byBoard) + ": no free registration";
        return false;
    }
    SRegistration& registration = state.aRegistrations[nSlot];
    registration.byServesBoard = korix::kRegistrationServesBoard;
    m_bySlot = static_cast<std::uint8_t>(nSlot);
    m_byGeneration = registration.byGeneration;
    InstallPlant(state, m_master, m_strSource);
    state.sPlant.byMasterMode = m_master.Mode();
    PostHeartbeat(state, platform::ReadTickCount());
    m_bAttached = true;
    return true;
}

std::uint32_t CBoardLink::PromisedBoundMs() const
{
    // One turn: the longest cycle plus the owner's pause after it (the owner waits until a
    // cycle's start plus the pause, so never longer than that after the cycle's end).
    const std::uint64_t qwTurnNs = m_master.CycleBoundNs() + m_dwCyclePauseUs * 1000ull;
    const std::uint64_t qwBoundMs =
        (kTurnsPerPost * qwTurnNs + kNsPerMs - 1) / kNsPerMs + kSchedulingAllowanceMs;
    return static_cast<std::uint32_t>(std::min(qwBoundMs, kLongestBoundMs));
}

void CBoardLink::PostHeartbeat(SBoardState& state, std::uint32_t dwNow) const
{
    korix::SFreshness& freshness = state.sFreshness;
    freshness.dwBoundMs = PromisedBoundMs();
    freshness.dwMasterTick = dwNow;
    freshness.dwMasterCycle = static_cast<std::uint32_t>(m_master.Counters().qwCycles);
}

bool CBoardLink::Exchange(std::string& strError)
{
    if (!m_bAttached)
    {
        strError = "not attached";
        return false;
    }
    korix::CBoardLock lock(m_byBoard);
    SBoardState* pState = lock.State();
    // A process that keeps the board's lock (stopped, or stuck) holds up the hosts, not the
    // bus: the slaves keep exchanging and the board is served again once it lets go.
    if (pState == nullptr && lock.Opened())
        return true;
    if (pState == nullptr)
    {
        strError = "board " + std::to_string(m_byBoard) + ": its shared state cannot be locked";
        return false;
    }
    const SRegistration& own = pState->aRegistrations[m_bySlot];
    if (!korix::IsServingRegistration(own) || own.byGeneration != m_byGeneration)
    {
        // The board was started afresh (its shared memory removed): serve it again.
        m_bAttached = false;
        if (!Register(*pState, strError))
            return false;
    }
    const std::uint32_t dwNow = platform::ReadTickCount();
    korix::ExpireOverdueWatchdogs(*pState, dwNow);
    if (!IsPlantOurs(*pState, m_master, m_strSource))
        InstallPlant(*pState, m_master, m_strSource);

    // Clear while a host that writes outputs has let its watchdog run out.
    bool bExpired = false;
    for (std::size_t r = 0; r < korix::kMaxRegistrations; ++r)
    {
        const SRegistration& registration = pState->aRegistrations[r];
        if (registration.byInUse == 0 || registration.byExpired == 0)
            continue;
        for (std::uint8_t byMode : registration.abyModes)
            bExpired = bExpired || byMode == kBoardModeUsed;
    }
    m_master.SetMode(bExpired ? MasterClear : MasterOperate);

    for (std::size_t i = 0; i < m_master.SlaveCount(); ++i)
    {
        const std::uint8_t byAddress = m_master.Config().slaves[i].byAddress;
        const korix::SBoardSlave& slave = pState->sPlant.aSlaves[byAddress];
        m_master.SetOutputs(i, slave.abyOutput, slave.byOutputLength);
        PostSlave(*pState, byAddress, m_master.Slave(i));
    }
    pState->sPlant.byMasterMode = m_master.Mode();
    PostHeartbeat(*pState, dwNow);
    return true;
}

void CBoardLink::Detach()
{
    if (!m_bAttached)
        return;
    m_bAttached = false;
    korix::CBoardLock lock(m_byBoard);
    SBoardState* pState = lock.State();
    if (pState == nullptr)
        return;
    SRegistration& own = pState->aRegistrations[m_bySlot];
    if (!korix::IsServingRegistration(own) || own.byGeneration != m_byGeneration)
        return;
    korix::TakeBoardOffline(*pState);
    own.byServesBoard = 0;
    korix::CloseRegistration(own);
}

} // namespace dp
