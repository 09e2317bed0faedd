// The work that shows whether the board semaphore keeps its holders apart: a read-modify-write
// of the number in a file that loses counts as soon as two rounds overlap. Shared by the tests
// and platform_peer, so that both processes do the same.
#pragma once

#include "platform/BoardSemaphore.h"
#include "tests/platform/CounterFile.h"

#include <thread>

namespace platformtest
{

// false when the semaphore or the file failed.
inline bool CountUnderSemaphore(platform::HBoardSemaphore hSemaphore, CCounterFile& counter,
                                int nRounds)
{
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        if (!platform::WaitBoardSemaphore(hSemaphore))
            return false;
        int nCount = 0;
        if (!counter.Read(nCount))
            nCount = 0;
        std::this_thread::yield(); // widens the window in which a second holder would interfere
        ++nCount;
        bool bWritten = counter.Write(nCount);
        if (!platform::ReleaseBoardSemaphore(hSemaphore) || !bWritten)
            return false;
    }
    return true;
}

} // namespace platformtest
