// The level block as a POSIX shared memory object "/movatrace.<name>". Holding the block means
// holding an open-file-description read lock on its byte 0; the kernel drops that lock with a
// holder's last descriptor, also when the holder is killed, so the locks, not the file, say
// whether a block of the name exists. docs/level-block.md describes the protocol for peers.
#include "platform/LevelBlock.h"

#include "platform/posix/ByteLock.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

struct SLevelBlock
{
    int m_fd;
    char m_szShmName[NAME_MAX + 2]; // "/movatrace.<name>"
};

namespace
{

constexpr char kShmDir[] = "/dev/shm";
constexpr char kFilePrefix[] = "movatrace.";
constexpr std::size_t kFilePrefixLength = sizeof kFilePrefix - 1;

// Each retry means a last holder removed the name between our open and our lock.
constexpr int kAttempts = 8;

bool MakeShmName(const char* pszName, char (&szShmName)[NAME_MAX + 2])
{
    if (pszName == nullptr || *pszName == '\0' || std::strchr(pszName, '/') != nullptr)
        return false;
    int nLength = std::snprintf(szShmName, sizeof szShmName, "/%s%s", kFilePrefix, pszName);
    return nLength > 0 && nLength <= NAME_MAX + 1;
}

// Whether fd is still the file the name refers to. A last holder unlinks the name on its way
// out; whoever opened the file just before must not take that orphan for the live block.
bool IsNamedFile(int fd, const char* pszShmName)
{
    char szPath[sizeof kShmDir + NAME_MAX + 2];
    std::snprintf(szPath, sizeof szPath, "%s%s", kShmDir, pszShmName);
    struct stat held = {};
    struct stat named = {};
    return fstat(fd, &held) == 0 && stat(szPath, &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

// The caller holds the write lock on the named file: nobody else holds the block.
void RemoveAndClose(int fd, const char* pszShmName)
{
    if (IsNamedFile(fd, pszShmName))
        shm_unlink(pszShmName);
    close(fd);
}

// Called with the write lock: the file is new or a leftover of holders that died. Zeros are
// written rather than truncated in, so the file never shrinks under a mapping. On failure the
// write lock is still ours.
bool ResetAndHold(int fd)
{
    static constexpr char kZeros[sizeof(std::int16_t)] = {};
    return ftruncate(fd, sizeof kZeros) == 0 &&
           pwrite(fd, kZeros, sizeof kZeros, 0) == static_cast<ssize_t>(sizeof kZeros) &&
           posix::SetByte0Lock(fd, F_RDLCK, false) == 0;
}

} // namespace

teBlockCreate CreateLevelBlock(const char* pszName, HLevelBlock* phBlock)
{
    if (phBlock == nullptr)
        return teBlockCreate::Failed;
    *phBlock = nullptr;
    SLevelBlock* pBlock = new (std::nothrow) SLevelBlock;
    if (pBlock == nullptr || !MakeShmName(pszName, pBlock->m_szShmName))
    {
        delete pBlock;
        return teBlockCreate::Failed;
    }

    teBlockCreate eResult = teBlockCreate::Failed;
    for (int nAttempt = 0; nAttempt < kAttempts; ++nAttempt)
    {
        int fd = shm_open(pBlock->m_szShmName, O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0)
            break;
        if (!posix::IsOwnRegularFile(fd))
        {
            close(fd);
            break;
        }
        int nError = posix::SetByte0Lock(fd, F_WRLCK, false);
        if (nError != 0)
        {
            close(fd);
            eResult = nError == EAGAIN ? teBlockCreate::AlreadyExists : teBlockCreate::Failed;
            break;
        }
        if (!IsNamedFile(fd, pBlock->m_szShmName))
        {
            close(fd);
            continue;
        }
        if (!ResetAndHold(fd))
        {
            RemoveAndClose(fd, pBlock->m_szShmName);
            break;
        }
        pBlock->m_fd = fd;
        *phBlock = pBlock;
        return teBlockCreate::Created;
    }
    delete pBlock;
    return eResult;
}

HLevelBlock OpenLevelBlock(const char* pszName)
{
    SLevelBlock* pBlock = new (std::nothrow) SLevelBlock;
    if (pBlock == nullptr || !MakeShmName(pszName, pBlock->m_szShmName))
    {
        delete pBlock;
        return nullptr;
    }

    for (int nAttempt = 0; nAttempt < kAttempts; ++nAttempt)
    {
        int fd = shm_open(pBlock->m_szShmName, O_RDWR | O_CLOEXEC, 0);
        if (fd < 0)
            break;
        if (!posix::IsOwnRegularFile(fd))
        {
            close(fd);
            break;
        }
        // A file without holders is what a killed last holder left behind, not a block. Testing
        // before locking keeps us from standing in the way of a Create meanwhile.
        if (!posix::HasOtherByte0Holder(fd))
        {
            close(fd);
            break;
        }
        // Blocks only while a creator finishes or a last holder leaves: both take microseconds.
        bool bLocked = posix::SetByte0Lock(fd, F_RDLCK, true) == 0;
        if (bLocked && !IsNamedFile(fd, pBlock->m_szShmName))
        {
            close(fd);
            continue;
        }
        // The holder we saw may have died before our lock was granted.
        if (!bLocked || !posix::HasOtherByte0Holder(fd))
        {
            close(fd);
            break;
        }
        pBlock->m_fd = fd;
        return pBlock;
    }
    delete pBlock;
    return nullptr;
}

std::int16_t* MapLevelBlock(HLevelBlock hBlock)
{
    if (hBlock == nullptr)
        return nullptr;
    void* pView =
        mmap(nullptr, sizeof(std::int16_t), PROT_READ | PROT_WRITE, MAP_SHARED, hBlock->m_fd, 0);
    return pView == MAP_FAILED ? nullptr : static_cast<std::int16_t*>(pView);
}

void UnmapLevelBlock(std::int16_t* pLevel)
{
    if (pLevel != nullptr)
        munmap(pLevel, sizeof *pLevel);
}

void CloseLevelBlock(HLevelBlock hBlock)
{
    if (hBlock == nullptr)
        return;
    // Only the last holder gets the write lock; it removes the name so that names of ended
    // sessions do not pile up.
    if (posix::SetByte0Lock(hBlock->m_fd, F_WRLCK, false) == 0)
        RemoveAndClose(hBlock->m_fd, hBlock->m_szShmName);
    else
        close(hBlock->m_fd);
    delete hBlock;
}

void ListLevelBlocks(void (*pfnVisit)(const char* pszName, void* pContext), void* pContext)
{
    if (pfnVisit == nullptr)
        return;
    DIR* pDir = opendir(kShmDir);
    if (pDir == nullptr)
        return;
    while (const dirent* pEntry = readdir(pDir))
    {
        const char* pszFile = pEntry->d_name;
        if (std::strncmp(pszFile, kFilePrefix, kFilePrefixLength) != 0 ||
            pszFile[kFilePrefixLength] == '\0')
            continue;
        // Not blocking on a FIFO someone put there.
        int fd = openat(dirfd(pDir), pszFile, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        bool bLive = posix::IsOwnRegularFile(fd) && posix::HasOtherByte0Holder(fd);
        close(fd);
        if (bLive)
            pfnVisit(pszFile + kFilePrefixLength, pContext);
    }
    closedir(pDir);
}

} // namespace platform
