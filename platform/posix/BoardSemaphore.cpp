// The board semaphore as an open-file-description write lock on byte 0 of a per-user file in
// /dev/shm. The kernel drops the lock when the holder's descriptor goes, also when the holder
// is killed, and the lock works alike for 32-bit and 64-bit processes. docs/board-semaphore.md
// describes the protocol for peers.
#include "platform/BoardSemaphore.h"

#include "platform/posix/ByteLock.h"

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform
{

struct SBoardSemaphore
{
    int m_fd = -1;
    std::mutex m_mutex;
    std::condition_variable m_cvUnclaimed;
    // Locks of one open file description never conflict with each other, so the threads that
    // share this handle take turns here before they go for the file lock. A claim lasts from
    // the start of a Wait to the Release, which may come from another thread.
    bool m_bClaimed = false;
    bool m_bHeld = false; // the file lock is ours
};

namespace
{

int OpenSemaphoreFile(const char* pszName)
{
    if (pszName == nullptr || *pszName == '\0' || std::strchr(pszName, '/') != nullptr)
        return -1;
    char szPath[PATH_MAX];
    int nLength = std::snprintf(szPath, sizeof szPath, "/dev/shm/movajob.%u.%s",
                                static_cast<unsigned>(geteuid()), pszName);
    if (nLength < 0 || static_cast<std::size_t>(nLength) >= sizeof szPath)
        return -1;
    int fd = open(szPath, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    if (!posix::IsOwnRegularFile(fd))
    {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

HBoardSemaphore CreateBoardSemaphore(const char* pszName)
{
    int fd = OpenSemaphoreFile(pszName);
    if (fd < 0)
        return nullptr;
    SBoardSemaphore* pSemaphore = new (std::nothrow) SBoardSemaphore;
    if (pSemaphore == nullptr)
    {
        close(fd);
        return nullptr;
    }
    pSemaphore->m_fd = fd;
    return pSemaphore;
}

bool WaitBoardSemaphore(HBoardSemaphore hSemaphore)
{
    if (hSemaphore == nullptr)
        return false;
    try
    {
        std::unique_lock lock(hSemaphore->m_mutex);
        hSemaphore->m_cvUnclaimed.wait(lock, [hSemaphore] { return !hSemaphore->m_bClaimed; });
        hSemaphore->m_bClaimed = true;
        lock.unlock();
        bool bLocked = posix::SetByte0Lock(hSemaphore->m_fd, F_WRLCK, true) == 0;
        lock.lock();
        hSemaphore->m_bHeld = bLocked;
        hSemaphore->m_bClaimed = bLocked;
        if (!bLocked)
            hSemaphore->m_cvUnclaimed.notify_one();
        return bLocked;
    }
    catch (const std::system_error&)
    {
        return false;
    }
}

bool ReleaseBoardSemaphore(HBoardSemaphore hSemaphore)
{
    if (hSemaphore == nullptr)
        return false;
    try
    {
        std::lock_guard lock(hSemaphore->m_mutex);
        if (!hSemaphore->m_bHeld || posix::SetByte0Lock(hSemaphore->m_fd, F_UNLCK, false) != 0)
            return false;
        hSemaphore->m_bHeld = false;
        hSemaphore->m_bClaimed = false;
    }
    catch (const std::system_error&)
    {
        return false;
    }
    hSemaphore->m_cvUnclaimed.notify_one();
    return true;
}

void CloseBoardSemaphore(HBoardSemaphore hSemaphore)
{
    if (hSemaphore == nullptr)
        return;
    // Closing the descriptor drops a lock still held, as a holder's death would.
    close(hSemaphore->m_fd);
    delete hSemaphore;
}

} // namespace platform
