// Registrations at a board and their handles. A handle is the board number in byHandle and,
// in byHandleExt, the registration's slot (low 3 bits) and generation (high 5 bits, 1..31):
// a handle of a closed or reclaimed registration no longer matches its slot. A handle is good
// only in the process that registered, like a file handle, so even after the generations of
// a slot have come round, a stale handle names at most a later registration of its own process.
#pragma once

#include "sim/SharedBoardLayout.h"
#include "sim/common/ProcessIdentity.h"

#include <cstdint>

namespace korix
{

// Whether the handle names a registration that was closed and whose slot is still free, or
// now held by another process (this one's registration there is closed, then, too).
bool IsClosedHandle(const SBoardState& state, std::uint8_t byHandle, std::uint8_t byHandleExt);

std::uint8_t MakeHandleExt(std::uint8_t bySlot, const SRegistration& registration);

// The registration that a request's handle names, or null.
SRegistration* FindRegistration(SBoardState& state, std::uint8_t byHandle,
                                std::uint8_t byHandleExt);

// Takes a free slot for the owner with the given modes (kBoardSlaveCount of them); returns the
// slot, or -1 when all are in use by live processes.
int AddRegistration(SBoardState& state, const SProcessIdentity& owner, const std::uint8_t* pbyModes,
                    std::uint32_t dwNow);

void CloseRegistration(SRegistration& registration);

// Frees the registrations of processes that have ended. One whose watchdog was armed and had
// not expired fails its outputs safe first, as its watchdog would have done soon after.
// Returns how many were freed.
int ReclaimEndedRegistrations(SBoardState& state);

SProcessIdentity OwnerOf(const SRegistration& registration);

} // namespace korix
