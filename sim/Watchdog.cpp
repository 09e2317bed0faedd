#include "sim/Watchdog.h"

#include <cstring>

namespace korix
{

namespace
{

bool IsOverdue(const SRegistration& registration, std::uint32_t dwNow)
{
    // Unsigned difference: right across the tick count's wrap at 2^32.
    std::uint32_t dwElapsed = dwNow - registration.dwLastExchange;
    return dwElapsed > registration.byWatchdogTime * kWatchdogUnitMs;
}

} // namespace

void ExpireWatchdog(SBoardState& state, SRegistration& registration)
{
    registration.byExpired = 1;
    for (std::uint8_t byAddress = 0; byAddress < kBoardSlaveCount; ++byAddress)
    {
        SBoardSlave& slave = state.sPlant.aSlaves[byAddress];
        if (registration.abyModes[byAddress] == kBoardModeUsed && slave.byPresent != 0)
            std::memset(slave.abyOutput, 0, sizeof slave.abyOutput);
    }
}

void ExpireOverdueWatchdogs(SBoardState& state, std::uint32_t dwNow)
{
    for (SRegistration& registration : state.aRegistrations)
    {
        if (registration.byInUse != 0 && registration.byWatchdogTime != 0 &&
            registration.byExpired == 0 && IsOverdue(registration, dwNow))
            ExpireWatchdog(state, registration);
    }
}

bool NoteExchange(SRegistration& registration, std::uint32_t dwNow)
{
    if (registration.byExpired != 0)
        return true;
    registration.dwLastExchange = dwNow;
    return false;
}

void SetWatchdog(SRegistration& registration, std::uint8_t byTime, std::uint32_t dwNow)
{
    registration.byWatchdogTime = byTime;
    registration.byExpired = 0;
    registration.dwLastExchange = dwNow;
}

} // namespace korix
