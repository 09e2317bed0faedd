#include "sim/Operations.h"

#include "sim/BoardErrors.h"
#include "sim/Generators.h"
#include "sim/Registrations.h"
#include "sim/ServedBoard.h"
#include "sim/Watchdog.h"
#include "sim/common/ProcessIdentity.h"

#include <cstring>

namespace korix
{

namespace
{

// The slave at the request's address, or null.
SBoardSlave* AddressedSlave(SBoardState& state, const SBoardRequest& request)
{
    if (request.byL2Addr >= kBoardSlaveCount)
        return nullptr;
    SBoardSlave& slave = state.sPlant.aSlaves[request.byL2Addr];
    return slave.byPresent != 0 ? &slave : nullptr;
}

// What a served board posted is shown only while it is as fresh as its master promised
// (sim/ServedBoard.h); past that a call shows the master offline or the slave not exchanging
// with zero inputs. The calls only present it so and never write it into the shared state:
// the state keeps what the master posted (and when, for the tools), a master that resumes
// is served again from its next exchange on with nothing to undo, and a host's read neither
// races the master's writes nor pays for clearing inputs.
std::uint8_t ShownMasterMode(const SBoardState& state, std::uint32_t dwNow)
{
    return IsHeartbeatOverdue(state.sFreshness, dwNow) ? std::uint8_t{MasterOffline}
                                                       : state.sPlant.byMasterMode;
}

bool IsWithheld(const SBoardState& state, std::uint8_t byAddress, const SBoardSlave& slave,
                std::uint32_t dwNow)
{
    return IsSlaveWithheld(state.sFreshness, byAddress, slave.byState, dwNow);
}

// pSlave is the request's addressed slave, or null.
void PutStatus(const SBoardState& state, SBoardRequest& request, const SBoardSlave* pSlave,
               bool bExpired, std::uint32_t dwNow)
{
    request.bySlaveState = SlaveNotReachable;
    if (pSlave != nullptr && !IsWithheld(state, request.byL2Addr, *pSlave, dwNow))
        request.bySlaveState = pSlave->byState;
    request.byMasterState = ShownMasterMode(state, dwNow);
    request.byFlags = bExpired ? kBoardFlagWatchdogExpired : 0;
}

std::uint8_t Clamped(std::uint8_t byLength)
{
    return byLength > kMaxDataLength ? kMaxDataLength : byLength;
}

// Reads of inputs and of outputs differ only in the image they copy.
std::uint16_t ReadImage(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow,
                        bool bInputs)
{
    SRegistration* pRegistration = FindRegistration(state, request.byHandle, request.byHandleExt);
    if (pRegistration == nullptr)
        return BoardErrUnknownHandle;
    SBoardSlave* pSlave = AddressedSlave(state, request);
    PutStatus(state, request, pSlave, false, dwNow);
    if (pSlave == nullptr)
        return BoardErrNoSlave;
    std::uint8_t byLength = Clamped(bInputs ? pSlave->byInputLength : pSlave->byOutputLength);
    if (request.byLength < byLength)
        return BoardErrLength;
    bool bExpired = NoteExchange(*pRegistration, dwNow);
    // A read-only slave's outputs are another master's, read off the bus with its inputs: they
    // are withheld with them. Any other slave's outputs are the hosts' own and always shown.
    const bool bFromBus = bInputs || pSlave->byReadOnly != 0;
    if (bFromBus && IsWithheld(state, request.byL2Addr, *pSlave, dwNow))
        std::memset(request.abyData, 0, byLength);
    else
    {
        if (bInputs)
            ApplyGenerators(*pSlave, dwNow - state.sPlant.dwEpoch);
        std::memcpy(request.abyData, bInputs ? pSlave->abyInput : pSlave->abyOutput, byLength);
    }
    request.byLength = byLength;
    PutStatus(state, request, pSlave, bExpired, dwNow);
    return BoardOk;
}

} // namespace

std::uint16_t PerformRegister(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow)
{
    PutStatus(state, request, nullptr, false, dwNow);
    if (request.byHandleExt != kBoardRegistrationTag || request.byLength != kBoardSlaveCount)
        return BoardErrBadRequest;
    for (std::uint8_t byAddress = 0; byAddress < kBoardSlaveCount; ++byAddress)
    {
        std::uint8_t byMode = request.abyData[byAddress];
        if (byMode != kBoardModeUnused && byMode != kBoardModeUsed)
            return BoardErrBadRequest;
    }
    int nSlot = AddRegistration(state, CurrentProcess(), request.abyData, dwNow);
    if (nSlot < 0)
        return BoardErrNoFreeSlot;
    std::uint8_t bySlot = static_cast<std::uint8_t>(nSlot);
    request.byHandle = state.byBoard;
    request.byHandleExt = MakeHandleExt(bySlot, state.aRegistrations[bySlot]);
    return BoardOk;
}

std::uint16_t PerformReadSlaveList(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow)
{
    PutStatus(state, request, nullptr, false, dwNow);
    if (FindRegistration(state, request.byHandle, request.byHandleExt) == nullptr)
        return BoardErrUnknownHandle;
    std::memset(request.abyData, kBoardNoSlave, sizeof request.abyData);
    for (std::uint8_t byAddress = 0; byAddress < kBoardSlaveCount; ++byAddress)
    {
        if (state.sPlant.aSlaves[byAddress].byPresent != 0)
            request.abyData[byAddress] = kBoardModeUsed;
    }
    request.byLength = kBoardSlaveCount;
    return BoardOk;
}

std::uint16_t PerformReadInput(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow)
{
    return ReadImage(state, request, dwNow, true);
}

std::uint16_t PerformReadOutput(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow)
{
    return ReadImage(state, request, dwNow, false);
}

std::uint16_t PerformWriteOutput(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow)
{
    SRegistration* pRegistration = FindRegistration(state, request.byHandle, request.byHandleExt);
    if (pRegistration == nullptr)
        return BoardErrUnknownHandle;
    SBoardSlave* pSlave = AddressedSlave(state, request);
    PutStatus(state, request, pSlave, pRegistration->byExpired != 0, dwNow);
    if (pSlave == nullptr)
        return BoardErrNoSlave;
    // Another master owns a read-only slave's outputs: the nearest word the board has is that
    // the address may not be written.
    if (pSlave->byReadOnly != 0)
        return BoardErrNotRegisteredForOutput;
    if (request.byLength > Clamped(pSlave->byOutputLength))
        return BoardErrLength;
    if (pRegistration->abyModes[request.byL2Addr] != kBoardModeUsed)
        return BoardErrNotRegisteredForOutput;
    if (NoteExchange(*pRegistration, dwNow))
        return BoardErrWatchdogExpired;
    // A shorter write replaces the first bytes and keeps the rest.
    std::memcpy(pSlave->abyOutput, request.abyData, request.byLength);
    return BoardOk;
}

std::uint16_t PerformReadSlaveStates(SBoardState& state, SBoardRequest& request,
                                     std::uint32_t dwNow)
{
    SRegistration* pRegistration = FindRegistration(state, request.byHandle, request.byHandleExt);
    PutStatus(state, request, nullptr, false, dwNow);
    if (pRegistration == nullptr)
        return BoardErrUnknownHandle;
    if (request.byLength < kBoardSlaveCount)
        return BoardErrLength;
    bool bExpired = NoteExchange(*pRegistration, dwNow);
    std::memset(request.abyData, 0, sizeof request.abyData);
    for (std::uint8_t byAddress = 0; byAddress < kBoardSlaveCount; ++byAddress)
    {
        const SBoardSlave& slave = state.sPlant.aSlaves[byAddress];
        if (slave.byPresent != 0 && !IsWithheld(state, byAddress, slave, dwNow))
            request.abyData[byAddress] = slave.byState;
    }
    request.byLength = kBoardSlaveCount;
    PutStatus(state, request, nullptr, bExpired, dwNow);
    return BoardOk;
}

std::uint16_t PerformSetWatchdog(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow)
{
    SRegistration* pRegistration = FindRegistration(state, request.byHandle, request.byHandleExt);
    PutStatus(state, request, nullptr, false, dwNow);
    if (pRegistration == nullptr)
        return BoardErrUnknownHandle;
    if (request.byLength != 1)
        return BoardErrBadRequest;
    SetWatchdog(*pRegistration, request.abyData[0], dwNow);
    return BoardOk;
}

std::uint16_t PerformClose(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow)
{
    SRegistration* pRegistration = FindRegistration(state, request.byHandle, request.byHandleExt);
    PutStatus(state, request, nullptr, false, dwNow);
    // The library closes once more when its protocol object goes; that is no error as long as
    // the slot has not been given to another registration since.
    if (pRegistration == nullptr)
        return IsClosedHandle(state, request.byHandle, request.byHandleExt) ? BoardOk
                                                                            : BoardErrUnknownHandle;
    CloseRegistration(*pRegistration);
    return BoardOk;
}

void AnswerInjected(const SBoardState& state, SBoardRequest& request, teOperation eOperation,
                    std::uint32_t dwNow)
{
    bool bAddressed = eOperation == OpBoardReadInput || eOperation == OpBoardReadOutput ||
                      eOperation == OpBoardWriteOutput;
    const SBoardSlave* pSlave = nullptr;
    if (bAddressed && request.byL2Addr < kBoardSlaveCount &&
        state.sPlant.aSlaves[request.byL2Addr].byPresent != 0)
        pSlave = &state.sPlant.aSlaves[request.byL2Addr];
    PutStatus(state, request, pSlave, false, dwNow);
}

} // namespace korix
