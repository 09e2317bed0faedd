#include "sim/SimControl.h"

#include "sim/common/BoardPrefix.h"

#include "sim/BoardLock.h"
#include "sim/DefaultPlant.h"
#include "sim/Faults.h"
#include "sim/Generators.h"
#include "sim/PlantFile.h"
#include "sim/Registrations.h"
#include "sim/ServedBoard.h"
#include "sim/Watchdog.h"

#include "include/MovaResults.h"

#include "platform/Clock.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <strings.h>

namespace korix
{

namespace
{

constexpr std::size_t kMaxPlantFileSize = 1 << 20;

const char* const kOperationNames[] = {
#define KORIX_OPERATION_NAME(name, ordinal, member) #name,
    KORIX_BOARD_OPERATIONS(KORIX_OPERATION_NAME)
#undef KORIX_OPERATION_NAME
};
static_assert(sizeof kOperationNames / sizeof kOperationNames[0] == OpCount);

__attribute__((format(gnu_printf, 2, 3))) SControlResult Answer(bool bOk, const char* pszFormat,
                                                                ...)
{
    SControlResult result{bOk, {}};
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(result.szMessage, sizeof result.szMessage, pszFormat, args);
    va_end(args);
    return result;
}

// Runs pfnChange on the locked board; every control call goes through here, so none throws.
template <typename TChange> SControlResult ChangeBoard(std::uint8_t byBoard, TChange change)
{
    if (byBoard == 0)
        return Answer(false, "board numbers run from 1 to 255");
    try
    {
        CBoardLock lock(byBoard);
        if (lock.State() == nullptr)
        {
            std::string strPrefix = UnusablePrefixMessage();
            if (!strPrefix.empty())
                return Answer(false, "board %u: %s", byBoard, strPrefix.c_str());
            return Answer(false, "board %u: its shared state cannot be opened", byBoard);
        }
        ExpireOverdueWatchdogs(*lock.State(), platform::ReadTickCount());
        return change(*lock.State());
    }
    catch (const std::exception& e)
    {
        return Answer(false, "board %u: %s", byBoard, e.what());
    }
    catch (...)
    {
        return Answer(false, "board %u: unexpected failure", byBoard);
    }
}

SBoardSlave* FindSlave(SBoardState& state, std::uint8_t byAddress)
{
    if (byAddress >= kBoardSlaveCount || state.sPlant.aSlaves[byAddress].byPresent == 0)
        return nullptr;
    return &state.sPlant.aSlaves[byAddress];
}

SControlResult NoSlave(std::uint8_t byAddress)
{
    return Answer(false, "no slave at address %u", byAddress);
}

const char* Plural(std::uint32_t dwCount)
{
    return dwCount == 1 ? "" : "s";
}

// "the next call", "the next 2 calls"; the verb after it takes VerbEnding.
std::string NextCalls(std::uint32_t dwCount)
{
    return dwCount == 1 ? "the next call" : "the next " + std::to_string(dwCount) + " calls";
}

const char* VerbEnding(std::uint32_t dwCount)
{
    return dwCount == 1 ? "s" : "";
}

// "1 input byte", "8 input bytes".
std::string Bytes(std::size_t nCount, const char* pszKind = "")
{
    return std::to_string(nCount) + " " + pszKind + (nCount == 1 ? "byte" : "bytes");
}

// "byte 5", "bytes 0..7".
std::string ByteRange(unsigned nFirst, unsigned nLength)
{
    if (nLength == 1)
        return "byte " + std::to_string(nFirst);
    return "bytes " + std::to_string(nFirst) + ".." + std::to_string(nFirst + nLength - 1);
}

bool IsOperation(teOperation eOperation)
{
    return eOperation < OpCount;
}

// Which generator, if any, drives one of the bytes, for a hint that they will not stay.
const SGenerator* DrivingGenerator(const SBoardSlave& slave, unsigned nFirst, unsigned nLength)
{
    for (std::uint8_t i = 0; i < slave.byGeneratorCount && i < kMaxGenerators; ++i)
    {
        const SGenerator& generator = slave.aGenerators[i];
        if (generator.byOffset < nFirst + nLength &&
            nFirst < generator.byOffset + generator.byLength)
            return &generator;
    }
    return nullptr;
}

// The process of the DP master that serves the board and still lives; 0 when none does.
std::int32_t ServingMasterPid(const SBoardState& state)
{
    for (const SRegistration& registration : state.aRegistrations)
    {
        if (IsServingRegistration(registration) && IsProcessAlive(OwnerOf(registration)))
            return registration.nPid;
    }
    return 0;
}

// A value a host reads as done must be one a slave sent. On a board that a DP master serves,
// or that is declared for one, the inputs, the slave states, the master mode and the plant are
// the master's alone: no hand may set them, not even for a moment before the master's next
// cycle puts its own back. Faults of the board operations stay allowed: a host sees them as
// failed calls, never as values. pszWhat says what was to be set ("its slaves' inputs"). False
// when the board takes the change.
bool RefusedOnServedBoard(std::uint8_t byBoard, const SBoardState& state, const char* pszWhat,
                          SControlResult& refusal)
{
    const std::int32_t nPid = ServingMasterPid(state);
    if (nPid != 0)
        refusal =
            Answer(false, "board %u is served by a DP master (process %d), which alone sets %s",
                   byBoard, static_cast<int>(nPid), pszWhat);
    else if (IsDeclaredServed(state))
        refusal = Answer(false,
                         "board %u is declared for a DP master, which alone sets %s ('korixsim "
                         "undeclare' first)",
                         byBoard, pszWhat);
    else
        return false;
    return true;
}

bool ReadTextFile(const char* pszPath, std::string& strText, std::string& strError)
{
    // Only a plain file of a sane size: a FIFO would block and /dev/zero never end. A missing
    // file is left to the open below, which says why.
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(pszPath, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    {
        strError = std::string(pszPath) + ": not a plain file";
        return false;
    }
    if (std::filesystem::is_regular_file(status) &&
        std::filesystem::file_size(pszPath, error) > kMaxPlantFileSize)
    {
        strError = std::string(pszPath) + ": larger than 1 MiB";
        return false;
    }
    std::ifstream file(pszPath, std::ios::binary);
    if (!file)
    {
        strError = std::string("cannot open ") + pszPath + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    strText = text.str();
    if (file.bad())
        strError = std::string("cannot read ") + pszPath;
    else if (strText.size() > kMaxPlantFileSize)
        strError = std::string(pszPath) + ": larger than 1 MiB";
    return strError.empty();
}

} // namespace

const char* OperationName(teOperation eOperation)
{
    return IsOperation(eOperation) ? kOperationNames[eOperation] : nullptr;
}

bool FindOperation(const char* pszName, teOperation& eOperation)
{
    for (std::uint8_t i = 0; pszName != nullptr && i < OpCount; ++i)
    {
        if (strcasecmp(pszName, kOperationNames[i]) == 0)
        {
            eOperation = static_cast<teOperation>(i);
            return true;
        }
    }
    return false;
}

SControlResult SetMasterMode(std::uint8_t byBoard, std::uint8_t byMode)
{
    return ChangeBoard(byBoard,
                       [&](SBoardState& state)
                       {
                           SControlResult refusal;
                           if (RefusedOnServedBoard(byBoard, state, "its master mode", refusal))
                               return refusal;
                           state.sPlant.byMasterMode = byMode;
                           return Answer(true, "board %u: master mode 0x%02X (%s)", byBoard, byMode,
                                         MovaMasterModeText(byMode));
                       });
}

SControlResult SetSlaveState(std::uint8_t byBoard, std::uint8_t byAddress, std::uint8_t byState)
{
    return ChangeBoard(byBoard,
                       [&](SBoardState& state)
                       {
                           SControlResult refusal;
                           if (RefusedOnServedBoard(byBoard, state, "its slave states", refusal))
                               return refusal;
                           SBoardSlave* pSlave = FindSlave(state, byAddress);
                           if (pSlave == nullptr)
                               return NoSlave(byAddress);
                           pSlave->byState = byState;
                           return Answer(true, "board %u: slave %u in state %u (%s)", byBoard,
                                         byAddress, byState, MovaSlaveStateText(byState));
                       });
}

SControlResult InjectError(std::uint8_t byBoard, teOperation eOperation, std::uint16_t wErrorWord,
                           std::uint32_t dwCount)
{
    if (!IsOperation(eOperation))
        return Answer(false, "no such operation");
    if (wErrorWord == 0 && dwCount != 0)
        return Answer(false, "an injected error word must not be 0 (a count of 0 clears)");
    return ChangeBoard(byBoard,
                       [&](SBoardState& state)
                       {
                           SetErrorFault(state.aFaults[eOperation], wErrorWord, dwCount);
                           if (dwCount == 0)
                               return Answer(true, "board %u: %s answers normally", byBoard,
                                             OperationName(eOperation));
                           return Answer(true, "board %u: %s of %s answer%s 0x%02X (%s)", byBoard,
                                         NextCalls(dwCount).c_str(), OperationName(eOperation),
                                         VerbEnding(dwCount), wErrorWord,
                                         MovaBoardErrorText(wErrorWord));
                       });
}

SControlResult InjectDelay(std::uint8_t byBoard, teOperation eOperation, std::uint32_t dwDelayMs,
                           std::uint32_t dwCount)
{
    if (!IsOperation(eOperation))
        return Answer(false, "no such operation");
    return ChangeBoard(byBoard,
                       [&](SBoardState& state)
                       {
                           SetDelayFault(state.aFaults[eOperation], dwDelayMs, dwCount);
                           if (dwCount == 0 || dwDelayMs == 0)
                               return Answer(true, "board %u: %s takes no extra time", byBoard,
                                             OperationName(eOperation));
                           return Answer(true, "board %u: %s of %s take%s %u ms longer", byBoard,
                                         NextCalls(dwCount).c_str(), OperationName(eOperation),
                                         VerbEnding(dwCount), dwDelayMs);
                       });
}

SControlResult ExpireWatchdogs(std::uint8_t byBoard)
{
    return ChangeBoard(byBoard,
                       [&](SBoardState& state)
                       {
                           unsigned nExpired = 0;
                           for (SRegistration& registration : state.aRegistrations)
                           {
                               if (registration.byInUse != 0 && registration.byWatchdogTime != 0 &&
                                   registration.byExpired == 0)
                               {
                                   ExpireWatchdog(state, registration);
                                   ++nExpired;
                               }
                           }
                           return Answer(true, "board %u: %u watchdog%s expired", byBoard, nExpired,
                                         Plural(nExpired));
                       });
}

SControlResult SetInputBytes(std::uint8_t byBoard, std::uint8_t byAddress, std::uint8_t byOffset,
                             const std::uint8_t* pbyBytes, std::size_t nCount)
{
    if (pbyBytes == nullptr && nCount != 0)
        return Answer(false, "no bytes given");
    return ChangeBoard(
        byBoard,
        [&](SBoardState& state)
        {
            SControlResult refusal;
            if (RefusedOnServedBoard(byBoard, state, "its slaves' inputs", refusal))
                return refusal;
            SBoardSlave* pSlave = FindSlave(state, byAddress);
            if (pSlave == nullptr)
                return NoSlave(byAddress);
            if (byOffset + nCount > pSlave->byInputLength)
                return Answer(false, "slave %u has %s; %s at offset %u %s not fit", byAddress,
                              Bytes(pSlave->byInputLength, "input ").c_str(), Bytes(nCount).c_str(),
                              byOffset, nCount == 1 ? "does" : "do");
            if (nCount != 0)
                std::memcpy(pSlave->abyInput + byOffset, pbyBytes, nCount);
            const SGenerator* pGenerator =
                DrivingGenerator(*pSlave, byOffset, static_cast<unsigned>(nCount));
            if (pGenerator != nullptr)
                return Answer(true,
                              "board %u: %s of slave %u set at offset %u; a %s generator drives "
                              "%s and will overwrite %s",
                              byBoard, Bytes(nCount, "input ").c_str(), byAddress, byOffset,
                              GeneratorKindName(pGenerator->byKind),
                              ByteRange(pGenerator->byOffset, pGenerator->byLength).c_str(),
                              nCount == 1 ? "it" : "them");
            return Answer(true, "board %u: %s of slave %u set at offset %u", byBoard,
                          Bytes(nCount, "input ").c_str(), byAddress, byOffset);
        });
}

SControlResult ReadOutputBytes(std::uint8_t byBoard, std::uint8_t byAddress,
                               std::uint8_t (&abyOutputs)[kMaxDataLength], std::uint8_t& byLength)
{
    byLength = 0;
    return ChangeBoard(byBoard,
                       [&](SBoardState& state)
                       {
                           SBoardSlave* pSlave = FindSlave(state, byAddress);
                           if (pSlave == nullptr)
                               return NoSlave(byAddress);
                           byLength = pSlave->byOutputLength > kMaxDataLength
                                          ? kMaxDataLength
                                          : pSlave->byOutputLength;
                           std::memcpy(abyOutputs, pSlave->abyOutput, byLength);
                           return Answer(true, "board %u: slave %u holds %s", byBoard, byAddress,
                                         Bytes(byLength, "output ").c_str());
                       });
}

SControlResult LoadPlantText(std::uint8_t byBoard, const char* pszText, const char* pszSource)
{
    if (pszText == nullptr)
        return Answer(false, "no plant text given");
    std::string strSource = pszSource != nullptr ? pszSource : "text";
    auto pPlant = std::make_unique<SPlant>();
    std::string strError;
    try
    {
        if (!ParsePlant(pszText, *pPlant, strError))
            return Answer(false, "%s: %s", strSource.c_str(), strError.c_str());
    }
    catch (...)
    {
        return Answer(false, "%s: cannot be read", strSource.c_str());
    }
    return ChangeBoard(
        byBoard,
        [&](SBoardState& state)
        {
            const std::int32_t nPid = ServingMasterPid(state);
            if (nPid != 0)
                return Answer(false,
                              "board %u is served by a DP master (process %d): it takes no "
                              "plant file",
                              byBoard, static_cast<int>(nPid));
            if (IsDeclaredServed(state))
                return Answer(false,
                              "board %u is declared for a DP master: it takes no plant file "
                              "('korixsim undeclare' first)",
                              byBoard);
            pPlant->dwEpoch = platform::ReadTickCount();
            std::snprintf(pPlant->szSource, sizeof pPlant->szSource, "%s", strSource.c_str());
            state.sPlant = *pPlant;
            return Answer(true, "board %u: plant from %s loaded", byBoard, strSource.c_str());
        });
}

SControlResult LoadPlantFile(std::uint8_t byBoard, const char* pszPath)
{
    if (pszPath == nullptr)
        return Answer(false, "no file given");
    std::string strText, strError;
    try
    {
        if (!ReadTextFile(pszPath, strText, strError))
            return Answer(false, "%s", strError.c_str());
    }
    catch (...)
    {
        return Answer(false, "cannot read %s", pszPath);
    }
    return LoadPlantText(byBoard, strText.c_str(), pszPath);
}

SControlResult ResetBoard(std::uint8_t byBoard)
{
    return ChangeBoard(byBoard,
                       [&](SBoardState& state)
                       {
                           std::memset(state.aFaults, 0, sizeof state.aFaults);
                           // The plant is the master's business, or there is none.
                           if (HasServingMaster(state))
                               return Answer(true,
                                             "board %u: no faults (served by a DP master: its "
                                             "plant is the master's)",
                                             byBoard);
                           if (IsDeclaredServed(state))
                           {
                               InstallMasterlessPlant(state.sPlant, platform::ReadTickCount());
                               return Answer(true,
                                             "board %u: no faults (declared for a DP master: "
                                             "its plant is the master's)",
                                             byBoard);
                           }
                           InstallDefaultPlant(state.sPlant, platform::ReadTickCount());
                           return Answer(true, "board %u: default plant, no faults", byBoard);
                       });
}

SControlResult DeclareServedBoard(std::uint8_t byBoard, bool bDeclared)
{
    return ChangeBoard(byBoard,
                       [&](SBoardState& state)
                       {
                           const bool bServed = HasServingMaster(state);
                           if (bDeclared)
                           {
                               if (!IsDeclaredServed(state) && !bServed)
                                   InstallMasterlessPlant(state.sPlant, platform::ReadTickCount());
                               state.byDeclaredServed = kBoardDeclaredServed;
                               return Answer(true, "board %u: declared for a DP master%s", byBoard,
                                             bServed ? ", which serves it"
                                                     : ", master offline until it runs");
                           }
                           if (IsDeclaredServed(state) && !bServed)
                               InstallDefaultPlant(state.sPlant, platform::ReadTickCount());
                           state.byDeclaredServed = 0;
                           return Answer(true, "board %u: no longer declared for a DP master%s",
                                         byBoard, bServed ? "" : ", default plant");
                       });
}

SControlResult ReadBoard(std::uint8_t byBoard, SBoardSnapshot& snapshot)
{
    SControlResult result = ChangeBoard(byBoard,
                                        [&](SBoardState& state)
                                        {
                                            snapshot.dwNow = platform::ReadTickCount();
                                            snapshot.sState = state;
                                            return Answer(true, "board %u", byBoard);
                                        });
    if (!result.bOk)
        return result;
    SPlant& plant = snapshot.sState.sPlant;
    for (SBoardSlave& slave : plant.aSlaves)
    {
        if (slave.byPresent != 0)
            ApplyGenerators(slave, snapshot.dwNow - plant.dwEpoch);
    }
    for (std::uint8_t i = 0; i < kMaxRegistrations; ++i)
    {
        const SRegistration& registration = snapshot.sState.aRegistrations[i];
        snapshot.abOwnerAlive[i] =
            registration.byInUse != 0 && IsProcessAlive(OwnerOf(registration));
    }
    if (!MakeSharedBoardName(byBoard, snapshot.szSharedName, sizeof snapshot.szSharedName))
        snapshot.szSharedName[0] = '\0';
    return result;
}

} // namespace korix
