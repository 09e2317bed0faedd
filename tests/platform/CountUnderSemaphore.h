// The work that shows whether the board semaphore keeps its holders apart: a read-modify-write
// of the number in a file that loses counts as soon as two rounds overlap. Shared by the tests
// and platform_peer, so that both processes do the same.
#pragma once

#include "platform/BoardSemaphore.h"

#include <sched.h>
#include <unistd.h>

namespace platformtest
{

// false when the semaphore or the file failed.
inline bool CountUnderSemaphore(platform::HBoardSemaphore hSemaphore, int fd, int nRounds)
{
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        if (!platform::WaitBoardSemaphore(hSemaphore))
            return false;
        int nCount = 0;
        if (pread(fd, &nCount, sizeof nCount, 0) != static_cast<ssize_t>(sizeof nCount))
            nCount = 0;
        sched_yield(); // widens the window in which a second holder would interfere
        ++nCount;
        bool bWritten = pwrite(fd, &nCount, sizeof nCount, 0) == sizeof nCount;
        if (!platform::ReleaseBoardSemaphore(hSemaphore) || !bWritten)
            return false;
    }
    return true;
}

} // namespace platformtest
