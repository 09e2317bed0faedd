// The watchdog of each registration: armed with a time (in 10 ms), it expires when the
// registration makes no exchange for longer than that. Expiry drops the outputs of the
// registration's slaves to 0 and holds until the watchdog is set again.
#pragma once

#include "sim/SharedBoardLayout.h"

#include <cstdint>

namespace korix
{

inline constexpr std::uint32_t kWatchdogUnitMs = 10;

// Expires every armed watchdog whose time has run out by dwNow.
void ExpireOverdueWatchdogs(SBoardState& state, std::uint32_t dwNow);

// Expires the registration's watchdog now, failing its slaves' outputs safe.
void ExpireWatchdog(SBoardState& state, SRegistration& registration);

// Counts an exchange of the registration. True when its watchdog has expired: such an
// exchange does not count and the caller reports the expiry.
bool NoteExchange(SRegistration& registration, std::uint32_t dwNow);

// Arms the watchdog with byTime (0 disarms it) and ends an expiry.
void SetWatchdog(SRegistration& registration, std::uint8_t byTime, std::uint32_t dwNow);

} // namespace korix
