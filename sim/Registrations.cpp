#include "sim/Registrations.h"

#include "sim/Watchdog.h"

#include <cstring>

namespace korix
{

std::uint8_t MakeHandleExt(std::uint8_t bySlot, const SRegistration& registration)
{
    return static_cast<std::uint8_t>(registration.byGeneration << 3 | bySlot);
}

SRegistration* FindRegistration(SBoardState& state, std::uint8_t byHandle, std::uint8_t byHandleExt)
{
    std::uint8_t bySlot = byHandleExt & 7;
    if (byHandle != state.byBoard || bySlot >= kMaxRegistrations)
        return nullptr;
    SRegistration& registration = state.aRegistrations[bySlot];
    // A handle names registrations of its own process only: one kept by another process after
    // its close never reaches a registration made since, whatever the generations did.
    if (registration.byInUse == 0 || MakeHandleExt(bySlot, registration) != byHandleExt ||
        registration.nPid != CurrentProcessId())
        return nullptr;
    return &registration;
}

bool IsClosedHandle(const SBoardState& state, std::uint8_t byHandle, std::uint8_t byHandleExt)
{
    std::uint8_t bySlot = byHandleExt & 7;
    if (byHandle != state.byBoard || bySlot >= kMaxRegistrations)
        return false;
    const SRegistration& registration = state.aRegistrations[bySlot];
    bool bOthers = registration.byInUse != 0 && registration.nPid != CurrentProcessId();
    return (registration.byInUse == 0 || bOthers) && registration.byGeneration != 0 &&
           MakeHandleExt(bySlot, registration) == byHandleExt;
}

int AddRegistration(SBoardState& state, const SProcessIdentity& owner, const std::uint8_t* pbyModes,
                    std::uint32_t dwNow)
{
    ReclaimEndedRegistrations(state);
    for (std::uint8_t bySlot = 0; bySlot < kMaxRegistrations; ++bySlot)
    {
        SRegistration& registration = state.aRegistrations[bySlot];
        if (registration.byInUse != 0)
            continue;
        std::uint8_t byGeneration = registration.byGeneration;
        std::memset(&registration, 0, sizeof registration);
        registration.byGeneration = byGeneration >= kMaxGeneration ? 1 : byGeneration + 1;
        registration.byInUse = 1;
        registration.nPid = owner.nPid;
        registration.dwStartLow = static_cast<std::uint32_t>(owner.qwStartTime);
        registration.dwStartHigh = static_cast<std::uint32_t>(owner.qwStartTime >> 32);
        registration.dwLastExchange = dwNow;
        registration.dwRegisteredAt = dwNow;
        std::memcpy(registration.abyModes, pbyModes, kBoardSlaveCount);
        return bySlot;
    }
    return -1;
}

void CloseRegistration(SRegistration& registration)
{
    registration.byInUse = 0;
    registration.byWatchdogTime = 0;
    registration.byExpired = 0;
}

SProcessIdentity OwnerOf(const SRegistration& registration)
{
    return SProcessIdentity{registration.nPid, static_cast<std::uint64_t>(registration.dwStartHigh)
                                                       << 32 |
                                                   registration.dwStartLow};
}

int ReclaimEndedRegistrations(SBoardState& state)
{
    int nFreed = 0;
    for (SRegistration& registration : state.aRegistrations)
    {
        if (registration.byInUse == 0 || IsProcessAlive(OwnerOf(registration)))
            continue;
        if (registration.byWatchdogTime != 0 && registration.byExpired == 0)
            ExpireWatchdog(state, registration);
        CloseRegistration(registration);
        ++nFreed;
    }
    return nFreed;
}

} // namespace korix
