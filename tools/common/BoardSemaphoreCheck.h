// Whether the board semaphore that the library takes around every exchange can be had. When a
// file that is not ours stands at its place, the library goes on without it: exchanges of
// several processes are then not kept apart, which the library only traces. The tools say it
// where a person sees it.
#pragma once

namespace tools
{

// False when the semaphore "SemSyncTest" cannot be opened by this process.
bool CanOpenBoardSemaphore();

// The warning for a tool's standard error, ending in a line end.
extern const char kNoBoardSemaphoreWarning[];

} // namespace tools
