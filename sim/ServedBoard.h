// A board served by a DP master on a real line (korix-dpmaster) instead of the simulated
// plant. The master holds a registration of its own, marked as the serving one; it writes
// the inputs, slave states and master mode into the plant and sends the outputs the hosts
// write. Every lock holder checks that the serving master still lives: once it has ended,
// the board reports its master offline and every slave unreachable, so hosts see "master not
// operational" and never values that nobody refreshes.
#pragma once

#include "sim/BoardState.h"

namespace korix
{

// In SRegistration::abyReserved[0]: 1 marks the registration of the serving master.
inline constexpr std::uint8_t kRegistrationServesBoard = 1;

inline bool IsServingRegistration(const SRegistration& registration)
{
    return registration.byInUse != 0 && registration.abyReserved[0] == kRegistrationServesBoard;
}

// In SBoardState::abyReserved[0]: 1 declares the board as meant for a DP master. Such a board
// never shows a simulated plant: until its master serves it, and after its master has ended,
// it reports the master offline. The mark lives as long as the board's shared memory (until
// the machine restarts); the master's service sets it again at every start.
inline constexpr std::uint8_t kBoardDeclaredServed = 1;

inline bool IsDeclaredServed(const SBoardState& state)
{
    return state.abyReserved[0] == kBoardDeclaredServed;
}

// Whether a registration marks a serving master that still lives.
bool HasServingMaster(const SBoardState& state);

// The plant of a declared board that no master serves yet: master offline and no slave.
void InstallMasterlessPlant(SPlant& plant, std::uint32_t dwNow);

// Takes the board off the air when its serving master has ended; returns true when it did.
bool NoticeEndedServingMaster(SBoardState& state);

// The board's master is gone: master mode offline, every slave unreachable, inputs 0.
void TakeBoardOffline(SBoardState& state);

} // namespace korix
