// The named semaphore (count 1, maximum 1) that admits one board exchange at a time across
// every process of the user. Each call stands for one Win32 call: CreateSemaphoreA,
// WaitForSingleObject(INFINITE), ReleaseSemaphore(1), CloseHandle.
#pragma once

namespace platform
{

struct SBoardSemaphore;
using HBoardSemaphore = SBoardSemaphore*; // null: no semaphore

// Creates the semaphore or opens the existing one of that name; null on failure.
HBoardSemaphore CreateBoardSemaphore(const char* pszName);

// Waits without a time limit. A holder that died has given the semaphore back.
bool WaitBoardSemaphore(HBoardSemaphore hSemaphore);

// false when the handle does not hold the semaphore (the count would pass its maximum).
bool ReleaseBoardSemaphore(HBoardSemaphore hSemaphore);

// Closing a handle that still holds the semaphore gives it back. Null is ignored.
void CloseBoardSemaphore(HBoardSemaphore hSemaphore);

} // namespace platform
