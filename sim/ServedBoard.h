// A board served by a DP master on a real line (korix-dpmaster) instead of the simulated
// plant. The master holds a registration of its own, marked as the serving one; it writes
// the inputs, slave states and master mode into the plant and sends the outputs the hosts
// write. Every lock holder checks that the serving master still lives: once it has ended,
// the board reports its master offline and every slave unreachable, so hosts see "master not
// operational" and never values that nobody refreshes.
//
// A master that lives but stalls (stopped, starved, stuck on its line) refreshes nothing
// either, so it also posts how fresh its posts are (SFreshness): when it last exchanged with
// the board, when each slave's inputs were brought, and the bound within which it promises
// both anew. Past the bound the board shows the same as after the master ended: the master
// offline when its heartbeat is overdue, a slave not exchanging with zero inputs when its
// inputs are.
#pragma once

#include "board/BoardStates.h"

#include "sim/SharedBoardLayout.h"

namespace korix
{

// In SRegistration::byServesBoard: 1 marks the registration of the serving master.
inline constexpr std::uint8_t kRegistrationServesBoard = 1;

inline bool IsServingRegistration(const SRegistration& registration)
{
    return registration.byInUse != 0 && registration.byServesBoard == kRegistrationServesBoard;
}

// In SBoardState::byDeclaredServed: 1 declares the board as meant for a DP master. Such a board
// never shows a simulated plant: until its master serves it, and after its master has ended,
// it reports the master offline. The mark lives as long as the board's shared memory (until
// the machine restarts); the master's service sets it again at every start.
inline constexpr std::uint8_t kBoardDeclaredServed = 1;

inline bool IsDeclaredServed(const SBoardState& state)
{
    return state.byDeclaredServed == kBoardDeclaredServed;
}

// Whether a registration marks a serving master that still lives.
bool HasServingMaster(const SBoardState& state);

// The plant of a declared board that no master serves yet: master offline and no slave.
void InstallMasterlessPlant(SPlant& plant, std::uint32_t dwNow);

// Takes the board off the air when its serving master has ended; returns true when it did.
bool NoticeEndedServingMaster(SBoardState& state);

// The board's master is gone: master mode offline, every slave unreachable, inputs 0, and no
// promise of freshness any more (the board may become a simulated one).
void TakeBoardOffline(SBoardState& state);

// Whether the serving master's last exchange with the board lies beyond its bound at dwNow.
// Never on a board without a promise (bound 0): a simulated one, or one whose master ended.
// Tick differences are taken modulo 2^32, as everywhere on the board.
inline bool IsHeartbeatOverdue(const SFreshness& freshness, std::uint32_t dwNow)
{
    return freshness.dwBoundMs != 0 && dwNow - freshness.dwMasterTick > freshness.dwBoundMs;
}

// Whether the board withholds the slave at byAddress at dwNow: its master's heartbeat is
// overdue, or the slave is posted as exchanging but its inputs were brought longer than the
// bound ago. A slave posted as not exchanging has zero inputs anyway; its state is as fresh
// as the heartbeat.
inline bool IsSlaveWithheld(const SFreshness& freshness, std::uint8_t byAddress,
                            std::uint8_t bySlaveState, std::uint32_t dwNow)
{
    if (freshness.dwBoundMs == 0)
        return false;
    if (IsHeartbeatOverdue(freshness, dwNow))
        return true;
    return IsSlaveExchanging(bySlaveState) &&
           dwNow - freshness.adwInputsTick[byAddress] > freshness.dwBoundMs;
}

} // namespace korix
