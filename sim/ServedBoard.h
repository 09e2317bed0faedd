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

// Takes the board off the air when its serving master has ended; returns true when it did.
bool NoticeEndedServingMaster(SBoardState& state);

// The board's master is gone: master mode offline, every slave unreachable, inputs 0.
void TakeBoardOffline(SBoardState& state);

} // namespace korix
