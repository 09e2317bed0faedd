// A board's state is a POSIX shared memory object; its lock is an open-file-description write
// lock on byte 0 of that object. OFD locks work alike for 32-bit and 64-bit processes and the
// kernel drops them with the holder's descriptor, also when the holder is killed. They belong
// to the open file description, not the thread, so threads of this process sharing the one
// descriptor queue on a mutex first.
#include "sim/SharedBoard.h"

#include "platform/posix/ByteLock.h"
#include "sim/common/BoardPrefix.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace korix
{

class CSharedBoard
{
public:
    int m_fd = -1;
    SBoardState* m_pState = nullptr;
    std::mutex m_mutex;
};

namespace
{

// Opened boards stay mapped until the process ends: unmapping at unload would race with calls
// still running on other threads, and the kernel cleans up after us anyway.
std::array<std::atomic<CSharedBoard*>, 256> g_apBoards{};
std::mutex g_openMutex;

// Grows a new file to the state's size under the lock, so that nobody maps it short. The
// zeros of a new file carry no magic; the first lock holder initialises the state.
bool EnsureSize(int fd)
{
    if (platform::posix::SetByte0Lock(fd, F_WRLCK, true) != 0)
        return false;
    struct stat status
    {
    };
    bool bOk = fstat(fd, &status) == 0;
    if (bOk && status.st_size < static_cast<off_t>(sizeof(SBoardState)))
        bOk = ftruncate(fd, sizeof(SBoardState)) == 0;
    platform::posix::SetByte0Lock(fd, F_UNLCK, false);
    return bOk;
}

CSharedBoard* MapBoard(std::uint8_t byBoard)
{
    char szName[128];
    if (!MakeSharedBoardName(byBoard, szName, sizeof szName))
        return nullptr;
    int fd = shm_open(szName, O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    if (!platform::posix::IsOwnRegularFile(fd))
    {
        close(fd);
        return nullptr;
    }
    void* pView = MAP_FAILED;
    if (EnsureSize(fd))
        pView = mmap(nullptr, sizeof(SBoardState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    CSharedBoard* pBoard = pView == MAP_FAILED ? nullptr : new (std::nothrow) CSharedBoard;
    if (pBoard == nullptr)
    {
        if (pView != MAP_FAILED)
            munmap(pView, sizeof(SBoardState));
        close(fd);
        return nullptr;
    }
    pBoard->m_fd = fd;
    pBoard->m_pState = static_cast<SBoardState*>(pView);
    return pBoard;
}

} // namespace

bool MakeSharedBoardName(std::uint8_t byBoard, char* pszName, std::size_t nSize)
{
    const char* pszPrefix = BoardNamePrefix();
    if (pszPrefix == nullptr)
        return false;
    int nLength = std::snprintf(pszName, nSize, "/%s.%u.board%u", pszPrefix,
                                static_cast<unsigned>(getuid()), static_cast<unsigned>(byBoard));
    return nLength > 0 && static_cast<std::size_t>(nLength) < nSize;
}

CSharedBoard* OpenSharedBoard(std::uint8_t byBoard)
{
    CSharedBoard* pBoard = g_apBoards[byBoard].load(std::memory_order_acquire);
    if (pBoard != nullptr)
        return pBoard;
    std::lock_guard<std::mutex> guard(g_openMutex);
    pBoard = g_apBoards[byBoard].load(std::memory_order_acquire);
    if (pBoard == nullptr)
    {
        pBoard = MapBoard(byBoard);
        g_apBoards[byBoard].store(pBoard, std::memory_order_release);
    }
    return pBoard;
}

SBoardState* LockSharedBoard(CSharedBoard* pBoard)
{
    if (pBoard == nullptr)
        return nullptr;
    // A thread of this process holds the mutex only while it holds the board's lock or waits
    // for it, and that wait is bounded below: so is this one.
    pBoard->m_mutex.lock();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoardLockWaitMs);
    // The kernel offers no timed wait for the lock: it is tried, and tried again after waits
    // that grow from 50 us to 2 ms, so that a lock held for microseconds is taken soon after
    // and a stopped holder costs a few hundred wake-ups before the call gives up.
    auto pause = std::chrono::microseconds(50);
    for (;;)
    {
        const int nError = platform::posix::SetByte0Lock(pBoard->m_fd, F_WRLCK, false);
        if (nError == 0)
            return pBoard->m_pState;
        if (nError != EAGAIN || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(2));
    }
    pBoard->m_mutex.unlock();
    return nullptr;
}

void UnlockSharedBoard(CSharedBoard* pBoard)
{
    if (pBoard == nullptr)
        return;
    platform::posix::SetByte0Lock(pBoard->m_fd, F_UNLCK, false);
    pBoard->m_mutex.unlock();
}

} // namespace korix
