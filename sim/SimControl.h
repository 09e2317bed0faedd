// The simulated board's control side, exported next to the eight board operations: it sets up
// faults and plants and shows what the board holds, for tests in C++ and for korixsim.
// Nothing here throws; each call answers whether it did its work and a message that says what
// was done or why not.
#pragma once

#include "sim/SharedBoardLayout.h"

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
// On Windows KORIX.dll exports only the board operations; korixsim and tests link this part
// statically, and the board state they share lives in the named mapping all the same.
#define KORIX_SIM_API
#else
#define KORIX_SIM_API __attribute__((visibility("default")))
#endif

namespace korix
{

inline constexpr std::size_t kControlMessageSize = 512;

struct SControlResult
{
    bool bOk;
    char szMessage[kControlMessageSize];
};

// A board as show presents it.
struct SBoardSnapshot
{
    SBoardState sState;  // generators applied to the copy's inputs as for a read now
    std::uint32_t dwNow; // tick count of the copy
    bool abOwnerAlive[kMaxRegistrations];
    char szSharedName[128]; // the board's shared memory name
};

// Operations by their exported names ("BoardReadInput"); FindOperation ignores case.
KORIX_SIM_API const char* OperationName(teOperation eOperation);
KORIX_SIM_API bool FindOperation(const char* pszName, teOperation& eOperation);

// Boards are numbered 1 to 255. Modes and states take any byte; the library accepts master
// modes 0x80 and 0xC0 and slave states 2 and 3.
//
// A board that a DP master serves, or that is declared for one, takes its inputs, slave
// states, master mode and plant from the master alone: SetMasterMode, SetSlaveState,
// SetInputBytes and the plant loads refuse it and change nothing, and ResetBoard clears its
// faults only. Faults of the operations (InjectError, InjectDelay) and ExpireWatchdogs stay
// allowed: hosts see them as failed calls or an expired watchdog, never as a slave's values.
KORIX_SIM_API SControlResult SetMasterMode(std::uint8_t byBoard, std::uint8_t byMode);
KORIX_SIM_API SControlResult SetSlaveState(std::uint8_t byBoard, std::uint8_t byAddress,
                                           std::uint8_t byState);

// The next dwCount calls of the operation answer wErrorWord (not 0); dwCount 0 clears.
KORIX_SIM_API SControlResult InjectError(std::uint8_t byBoard, teOperation eOperation,
                                         std::uint16_t wErrorWord, std::uint32_t dwCount);

// The next dwCount calls of the operation take dwDelayMs longer; dwCount 0 clears.
KORIX_SIM_API SControlResult InjectDelay(std::uint8_t byBoard, teOperation eOperation,
                                         std::uint32_t dwDelayMs, std::uint32_t dwCount);

// Expires the watchdog of every registration that has one armed, now.
KORIX_SIM_API SControlResult ExpireWatchdogs(std::uint8_t byBoard);

// Overwrites input bytes of a slave; bytes that a generator drives change again at its next
// read.
KORIX_SIM_API SControlResult SetInputBytes(std::uint8_t byBoard, std::uint8_t byAddress,
                                           std::uint8_t byOffset, const std::uint8_t* pbyBytes,
                                           std::size_t nCount);

// The outputs the master holds for a slave.
KORIX_SIM_API SControlResult ReadOutputBytes(std::uint8_t byBoard, std::uint8_t byAddress,
                                             std::uint8_t (&abyOutputs)[kMaxDataLength],
                                             std::uint8_t& byLength);

// Replace the plant (slaves and master mode); registrations and faults stay. A refused plant
// leaves the board's plant as it was and the message names the problem and its place.
KORIX_SIM_API SControlResult LoadPlantFile(std::uint8_t byBoard, const char* pszPath);
KORIX_SIM_API SControlResult LoadPlantText(std::uint8_t byBoard, const char* pszText,
                                           const char* pszSource);

// The default plant again, and no faults; registrations stay. A declared board keeps the plant
// of its master, or none while it has no master.
KORIX_SIM_API SControlResult ResetBoard(std::uint8_t byBoard);

// Declares the board as meant for a DP master (korix-dpmaster), or takes that back. A declared
// board that no master serves reports the master offline and no slave, never the simulated
// plant; loading a plant into it is refused and a reset clears the faults only. Taking the
// declaration back from a board that no master serves puts the default plant back.
KORIX_SIM_API SControlResult DeclareServedBoard(std::uint8_t byBoard, bool bDeclared);

KORIX_SIM_API SControlResult ReadBoard(std::uint8_t byBoard, SBoardSnapshot& snapshot);

} // namespace korix
