#include "tools/common/BoardSemaphoreCheck.h"

#include "platform/BoardSemaphore.h"

namespace tools
{

namespace
{

// The name under which the library's DP communication opens it.
constexpr char kSemaphoreName[] = "SemSyncTest";

} // namespace

const char kNoBoardSemaphoreWarning[] =
    "warning: the board semaphore \"SemSyncTest\" cannot be opened (something that is not ours "
    "stands in its place, see docs/board-semaphore.md): board exchanges run without "
    "exclusion between processes\n";

bool CanOpenBoardSemaphore()
{
    platform::HBoardSemaphore hSemaphore = platform::CreateBoardSemaphore(kSemaphoreName);
    if (hSemaphore == nullptr)
        return false;
    platform::CloseBoardSemaphore(hSemaphore);
    return true;
}

} // namespace tools
