// The level block as a file "movatrace.<uid>.<name>" in a directory of shared memory: the
// user's private runtime directory /run/user/<uid> when the system made one, else /dev/shm.
// Holding the block means holding an open-file-description read lock on its byte 0; the kernel
// drops that lock with a holder's last descriptor, also when the holder is killed, so the locks,
// not the file, say whether a block of the name exists. docs/level-block.md describes the
// protocol for peers.
#include "platform/LevelBlock.h"

#include "platform/posix/ByteLock.h"
#include "platform/posix/ProcessName.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

constexpr char kSharedDir[] = "/dev/shm";
constexpr char kRuntimeDirs[] = "/run/user";
constexpr char kFilePrefix[] = "movatrace.";

// "/run/user/<uid>" or "/dev/shm".
using DirPath = char[64];
// A directory, a slash and a file name.
using BlockPath = char[sizeof(DirPath) + NAME_MAX + 1];

// Each retry means a last holder removed the name between our open and our lock.
constexpr int kAttempts = 8;

} // namespace

struct SLevelBlock
{
    int m_fd;
    BlockPath m_szPath;
};

namespace
{

// The places a block of ours may live, the one new blocks go to first. The private runtime
// directory is chosen by looking at the system, not at $XDG_RUNTIME_DIR: a service, a cron job
// and a login shell of one user see different environments (or none) and must still agree.
// Nobody else can create files there. /dev/shm is open to everybody, so a file of another user
// can stand under our name there; it is never used, and DescribeLevelBlockObstacle names it.
int BlockDirs(DirPath (&aszDirs)[2])
{
    int nDirs = 0;
    std::snprintf(aszDirs[0], sizeof aszDirs[0], "%s/%u", kRuntimeDirs,
                  static_cast<unsigned>(geteuid()));
    struct stat st = {};
    if (lstat(aszDirs[0], &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
        (st.st_mode & (S_IRWXG | S_IRWXO)) == 0)
        nDirs = 1;
    std::snprintf(aszDirs[nDirs], sizeof aszDirs[nDirs], "%s", kSharedDir);
    return nDirs + 1;
}

// "movatrace.<uid>." : the uid keeps the users apart in /dev/shm.
int MakeFilePrefix(char (&szPrefix)[32])
{
    return std::snprintf(szPrefix, sizeof szPrefix, "%s%u.", kFilePrefix,
                         static_cast<unsigned>(geteuid()));
}

bool MakeBlockPath(const char* pszDir, const char* pszName, BlockPath& szPath)
{
    if (pszName == nullptr || *pszName == '\0' || std::strchr(pszName, '/') != nullptr)
        return false;
    char szPrefix[32];
    MakeFilePrefix(szPrefix);
    if (std::strlen(szPrefix) + std::strlen(pszName) > NAME_MAX)
        return false;
    int nLength = std::snprintf(szPath, sizeof szPath, "%s/%s%s", pszDir, szPrefix, pszName);
    return nLength > 0 && static_cast<std::size_t>(nLength) < sizeof szPath;
}

// Not following a link and not blocking on a FIFO that someone put under the name.
int OpenBlockFile(const char* pszPath, int nFlags, mode_t nMode = 0)
{
    return open(pszPath, nFlags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, nMode);
}

// Whether fd is still the file the name refers to. A last holder unlinks the name on its way
// out; whoever opened the file just before must not take that orphan for the live block.
bool IsNamedFile(int fd, const char* pszPath)
{
    struct stat held = {};
    struct stat named = {};
    return fstat(fd, &held) == 0 && lstat(pszPath, &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

// A file shorter than the level word would fault on the first access through a mapping.
bool IsLongEnough(int fd)
{
    struct stat st = {};
    return fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(sizeof(std::int16_t));
}

// Whether a live block of ours stands at the path (it may be short: that is for the caller).
bool IsLiveBlockAt(const char* pszPath)
{
    int fd = OpenBlockFile(pszPath, O_RDONLY);
    if (fd < 0)
        return false;
    bool bLive = posix::IsOwnRegularFile(fd) && posix::HasOtherByte0Holder(fd);
    close(fd);
    return bLive;
}

// The caller holds the write lock on the named file: nobody else holds the block.
void RemoveAndClose(int fd, const char* pszPath)
{
    if (IsNamedFile(fd, pszPath))
        unlink(pszPath);
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

teBlockCreate CreateAt(SLevelBlock& block)
{
    for (int nAttempt = 0; nAttempt < kAttempts; ++nAttempt)
    {
        int fd = OpenBlockFile(block.m_szPath, O_CREAT | O_RDWR, 0600);
        if (fd < 0)
            return teBlockCreate::Failed;
        if (!posix::IsOwnRegularFile(fd))
        {
            close(fd);
            return teBlockCreate::Failed;
        }
        int nError = posix::SetByte0Lock(fd, F_WRLCK, false);
        if (nError != 0)
        {
            close(fd);
            return nError == EAGAIN ? teBlockCreate::AlreadyExists : teBlockCreate::Failed;
        }
        if (!IsNamedFile(fd, block.m_szPath))
        {
            close(fd);
            continue;
        }
        if (!ResetAndHold(fd))
        {
            RemoveAndClose(fd, block.m_szPath);
            return teBlockCreate::Failed;
        }
        block.m_fd = fd;
        return teBlockCreate::Created;
    }
    return teBlockCreate::Failed;
}

bool OpenAt(SLevelBlock& block)
{
    for (int nAttempt = 0; nAttempt < kAttempts; ++nAttempt)
    {
        int fd = OpenBlockFile(block.m_szPath, O_RDWR);
        if (fd < 0)
            return false;
        if (!posix::IsOwnRegularFile(fd))
        {
            close(fd);
            return false;
        }
        // A file without holders is what a killed last holder left behind, not a block. Testing
        // before locking keeps us from standing in the way of a Create meanwhile.
        if (!posix::HasOtherByte0Holder(fd))
        {
            close(fd);
            return false;
        }
        // Blocks only while a creator finishes or a last holder leaves: both take microseconds.
        bool bLocked = posix::SetByte0Lock(fd, F_RDLCK, true) == 0;
        if (bLocked && !IsNamedFile(fd, block.m_szPath))
        {
            close(fd);
            continue;
        }
        // The holder we saw may have died before our lock was granted. A held file shorter than
        // the level word is not a block a creator made: it is never mapped.
        if (!bLocked || !posix::HasOtherByte0Holder(fd) || !IsLongEnough(fd))
        {
            close(fd);
            return false;
        }
        block.m_fd = fd;
        return true;
    }
    return false;
}

void DescribeOwner(uid_t nUid, char* pszText, std::size_t nSize)
{
    passwd entry{};
    passwd* pEntry = nullptr;
    char aBuffer[1024];
    if (getpwuid_r(nUid, &entry, aBuffer, sizeof aBuffer, &pEntry) == 0 && pEntry != nullptr)
        std::snprintf(pszText, nSize, "user '%s' (uid %u)", pEntry->pw_name,
                      static_cast<unsigned>(nUid));
    else
        std::snprintf(pszText, nSize, "uid %u", static_cast<unsigned>(nUid));
}

// bCreatedHere: the place where Create makes new blocks, where anything under the name stands
// in its way; elsewhere only a held block that is too short matters.
bool DescribeObstacleAt(const char* pszPath, bool bCreatedHere, char* pszText, std::size_t nSize)
{
    struct stat st = {};
    if (lstat(pszPath, &st) != 0)
        return false;
    if (st.st_uid != geteuid() && bCreatedHere)
    {
        char szOwner[96];
        DescribeOwner(st.st_uid, szOwner, sizeof szOwner);
        std::snprintf(pszText, nSize, "%s belongs to %s", pszPath, szOwner);
        return true;
    }
    if (!S_ISREG(st.st_mode) && bCreatedHere)
    {
        std::snprintf(pszText, nSize, "%s is not a plain file", pszPath);
        return true;
    }
    if (S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
        st.st_size < static_cast<off_t>(sizeof(std::int16_t)) && IsLiveBlockAt(pszPath))
    {
        std::snprintf(pszText, nSize, "%s is held open but only %lld bytes long, not a level block",
                      pszPath, static_cast<long long>(st.st_size));
        return true;
    }
    return false;
}

// Whether process pszPid has a descriptor open on the file (st_dev, st_ino). Only processes we
// may inspect (our own user's, or every one for root) show their descriptors.
bool HasFileOpen(const char* pszPid, const struct stat& file)
{
    char szFdDir[16 + sizeof(dirent::d_name)];
    std::snprintf(szFdDir, sizeof szFdDir, "/proc/%s/fd", pszPid);
    DIR* pDir = opendir(szFdDir);
    if (pDir == nullptr)
        return false;
    bool bFound = false;
    while (const dirent* pEntry = readdir(pDir))
    {
        struct stat st = {};
        // Following the descriptor's link reaches the open file itself, also an unlinked one.
        if (pEntry->d_name[0] != '.' && fstatat(dirfd(pDir), pEntry->d_name, &st, 0) == 0 &&
            st.st_dev == file.st_dev && st.st_ino == file.st_ino)
        {
            bFound = true;
            break;
        }
    }
    closedir(pDir);
    return bFound;
}

// The file of the live block of the name, in the place Open would find it.
bool FindLiveBlockFile(const char* pszName, struct stat& file)
{
    DirPath aszDirs[2];
    int nDirs = BlockDirs(aszDirs);
    for (int i = 0; i < nDirs; ++i)
    {
        BlockPath szPath;
        if (MakeBlockPath(aszDirs[i], pszName, szPath) && IsLiveBlockAt(szPath) &&
            lstat(szPath, &file) == 0)
            return true;
    }
    return false;
}

} // namespace

teBlockCreate CreateLevelBlock(const char* pszName, HLevelBlock* phBlock)
{
    if (phBlock == nullptr)
        return teBlockCreate::Failed;
    *phBlock = nullptr;
    DirPath aszDirs[2];
    int nDirs = BlockDirs(aszDirs);
    BlockPath szPath;
    if (!MakeBlockPath(aszDirs[0], pszName, szPath))
        return teBlockCreate::Failed;
    // One session per name: a block that was created in /dev/shm before the private directory
    // appeared (the user's first login) still holds the name.
    for (int i = 1; i < nDirs; ++i)
    {
        BlockPath szOther;
        if (MakeBlockPath(aszDirs[i], pszName, szOther) && IsLiveBlockAt(szOther))
            return teBlockCreate::AlreadyExists;
    }
    SLevelBlock* pBlock = new (std::nothrow) SLevelBlock;
    if (pBlock == nullptr)
        return teBlockCreate::Failed;
    std::memcpy(pBlock->m_szPath, szPath, sizeof szPath);
    teBlockCreate eResult = CreateAt(*pBlock);
    if (eResult == teBlockCreate::Created)
        *phBlock = pBlock;
    else
        delete pBlock;
    return eResult;
}

HLevelBlock OpenLevelBlock(const char* pszName)
{
    SLevelBlock* pBlock = new (std::nothrow) SLevelBlock;
    if (pBlock == nullptr)
        return nullptr;
    DirPath aszDirs[2];
    int nDirs = BlockDirs(aszDirs);
    for (int i = 0; i < nDirs; ++i)
    {
        if (MakeBlockPath(aszDirs[i], pszName, pBlock->m_szPath) && OpenAt(*pBlock))
            return pBlock;
    }
    delete pBlock;
    return nullptr;
}

std::int16_t* MapLevelBlock(HLevelBlock hBlock)
{
    if (hBlock == nullptr || !IsLongEnough(hBlock->m_fd))
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
        RemoveAndClose(hBlock->m_fd, hBlock->m_szPath);
    else
        close(hBlock->m_fd);
    delete hBlock;
}

void ListLevelBlocks(void (*pfnVisit)(const char* pszName, void* pContext), void* pContext)
{
    if (pfnVisit == nullptr)
        return;
    char szPrefix[32];
    const std::size_t nPrefixLength = static_cast<std::size_t>(MakeFilePrefix(szPrefix));
    DirPath aszDirs[2];
    int nDirs = BlockDirs(aszDirs);
    for (int i = 0; i < nDirs; ++i)
    {
        DIR* pDir = opendir(aszDirs[i]);
        if (pDir == nullptr)
            continue;
        while (const dirent* pEntry = readdir(pDir))
        {
            const char* pszFile = pEntry->d_name;
            if (std::strncmp(pszFile, szPrefix, nPrefixLength) != 0 ||
                pszFile[nPrefixLength] == '\0')
                continue;
            int fd = openat(dirfd(pDir), pszFile, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
            if (fd < 0)
                continue;
            bool bLive = posix::IsOwnRegularFile(fd) && posix::HasOtherByte0Holder(fd);
            close(fd);
            if (bLive)
                pfnVisit(pszFile + nPrefixLength, pContext);
        }
        closedir(pDir);
    }
}

// The locks cannot say who holds them (an open-file-description lock reports no process id),
// so the holders are found the way lsof finds them: by the descriptors under /proc.
bool ListLevelBlockHolders(const char* pszName,
                           void (*pfnVisit)(std::uint32_t dwPid, const char* pszProgram,
                                            void* pContext),
                           void* pContext)
{
    if (pfnVisit == nullptr)
        return false;
    DIR* pProc = opendir("/proc");
    if (pProc == nullptr)
        return false;
    struct stat file = {};
    const bool bLive = FindLiveBlockFile(pszName, file);
    const unsigned long nOwnPid = static_cast<unsigned long>(getpid());
    while (const dirent* pEntry = bLive ? readdir(pProc) : nullptr)
    {
        char* pEnd = nullptr;
        const unsigned long nPid = std::strtoul(pEntry->d_name, &pEnd, 10);
        if (nPid == 0 || nPid == nOwnPid || *pEnd != '\0' || nPid > UINT32_MAX ||
            !HasFileOpen(pEntry->d_name, file))
            continue;
        posix::ProcessName szProgram;
        posix::ReadProcessName(static_cast<std::uint32_t>(nPid), szProgram);
        pfnVisit(static_cast<std::uint32_t>(nPid), szProgram, pContext);
    }
    closedir(pProc);
    return true;
}

bool DescribeLevelBlockObstacle(const char* pszName, char* pszText, std::size_t nSize)
{
    if (pszText == nullptr || nSize == 0)
        return false;
    *pszText = '\0';
    DirPath aszDirs[2];
    int nDirs = BlockDirs(aszDirs);
    for (int i = 0; i < nDirs; ++i)
    {
        BlockPath szPath;
        if (MakeBlockPath(aszDirs[i], pszName, szPath) &&
            DescribeObstacleAt(szPath, i == 0, pszText, nSize))
            return true;
    }
    return false;
}

} // namespace platform
