// The operating system's part of the simulated board: the named shared memory that holds a
// board's state, and the lock that admits one holder at a time across processes. A holder
// that dies gives the lock up. sim/posix/ implements it.
#pragma once

#include "sim/SharedBoardLayout.h"

#include <cstddef>
#include <cstdint>

namespace korix
{

class CSharedBoard;

// This process's mapping of the board's state, opened at first use and kept until the
// process ends; null when the system refused it.
CSharedBoard* OpenSharedBoard(std::uint8_t byBoard);

// How long a call waits for the board's lock. Holders keep it for microseconds; one that keeps
// it longer is stopped (SIGSTOP, a debugger) or stuck, and a host's call then fails as "board
// unavailable" instead of hanging with it.
inline constexpr std::uint32_t kBoardLockWaitMs = 5000;

// Waits for the board's lock (threads of this process queue first, each for its own turn) at
// most kBoardLockWaitMs for another process's holder, and returns the mapped state; null on
// failure or when the wait ran out, in which case nothing is held.
SBoardState* LockSharedBoard(CSharedBoard* pBoard);

void UnlockSharedBoard(CSharedBoard* pBoard);

// The name of the board's shared memory ("/korix.<uid>.board<N>", prefix from
// KORIXSIM_PREFIX); false when the prefix is not usable.
bool MakeSharedBoardName(std::uint8_t byBoard, char* pszName, std::size_t nSize);

} // namespace korix
