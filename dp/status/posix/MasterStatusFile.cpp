// The status block's file is a POSIX shared memory object, as the board's state is
// (sim/posix/SharedBoard.cpp). /dev/shm is writable by everybody, so readers open it without
// blocking (a FIFO placed under our name would hang a plain open) and take it only when it is
// a plain file of this user; the writer never opens what lies under the name, it puts a file
// it has just made in its place.
#include "dp/status/MasterStatusFile.h"

#include "dp/status/MasterStatusBlock.h"
#include "sim/ServedBoard.h"
#include "sim/common/BoardPrefix.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h> // shm_open
#include <sys/stat.h>
#include <unistd.h>

namespace dp
{

namespace
{

constexpr std::size_t kSequenceAt = offsetof(SStatusHeader, dwSequence);

// shm_open's names are files in this folder; the writer's rename needs their paths.
std::string SharedMemoryPath(const std::string& strName)
{
    return "/dev/shm" + strName;
}

// The board's own name (sim/SharedBoard.h MakeSharedBoardName), which dp_status does not link.
bool MakeBoardStateName(std::uint8_t byBoard, std::string& strName)
{
    const char* pszPrefix = korix::BoardNamePrefix();
    if (pszPrefix == nullptr)
        return false;
    char szName[128];
    int nLength = std::snprintf(szName, sizeof szName, "/%s.%u.board%u", pszPrefix,
                                static_cast<unsigned>(getuid()), static_cast<unsigned>(byBoard));
    if (nLength <= 0 || static_cast<std::size_t>(nLength) >= sizeof szName)
        return false;
    strName = szName;
    return true;
}

bool WriteAll(int fd, const void* pBytes, std::size_t nCount, std::size_t nOffset)
{
    std::size_t nDone = 0;
    while (nDone < nCount)
    {
        ssize_t n = pwrite(fd, static_cast<const char*>(pBytes) + nDone, nCount - nDone,
                           static_cast<off_t>(nOffset + nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        nDone += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool MakeStatusName(std::uint8_t byBoard, std::string& strName)
{
    const char* pszPrefix = korix::BoardNamePrefix();
    if (pszPrefix == nullptr)
        return false;
    char szName[128];
    int nLength = std::snprintf(szName, sizeof szName, "/%s.%u.dpstatus%u", pszPrefix,
                                static_cast<unsigned>(getuid()), static_cast<unsigned>(byBoard));
    if (nLength <= 0 || static_cast<std::size_t>(nLength) >= sizeof szName)
        return false;
    strName = szName;
    return true;
}

bool CStatusBlockFile::IsOpen() const
{
    return m_fd >= 0;
}

CStatusBlockFile::~CStatusBlockFile()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool CStatusBlockFile::Create(const std::string& strName, const void* pBlock, std::size_t nSize,
                              std::string& strError)
{
    if (nSize < sizeof(SStatusHeader))
    {
        strError = strName + ": no room for a status block";
        return false;
    }
    const std::string strPath = SharedMemoryPath(strName);
    // What lies under the name is only replaced, never opened; still, what is not a block we
    // could have left (a FIFO, a folder, another user's file) stays, and the master says so.
    struct stat st = {};
    if (lstat(strPath.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || st.st_uid != geteuid()))
    {
        strError = strName + ": not a plain file of this user";
        return false;
    }
    // The temporary name is this process's: one left by an earlier process of the same id is
    // removed first (removing a name leaves what it links alone).
    const std::string strTemporary = strPath + ".new" + std::to_string(getpid());
    unlink(strTemporary.c_str());
    int fd = open(strTemporary.c_str(),
                  O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        strError = strName + ": " + std::strerror(errno);
        return false;
    }
    const auto isWhatWeMade = [fd](off_t nExpected)
    {
        struct stat made = {};
        return fstat(fd, &made) == 0 && S_ISREG(made.st_mode) && made.st_nlink == 1 &&
               made.st_uid == geteuid() && made.st_size == nExpected;
    };
    const std::uint32_t dwFirst = 0;
    std::string strWhy;
    if (!isWhatWeMade(0))
        strWhy = "the new file is not the one made";
    else if (ftruncate(fd, static_cast<off_t>(nSize)) != 0 || !WriteAll(fd, pBlock, nSize, 0) ||
             !WriteAll(fd, &dwFirst, sizeof dwFirst, kSequenceAt))
        strWhy = std::strerror(errno);
    else if (!isWhatWeMade(static_cast<off_t>(nSize)))
        strWhy = "the new file is not the one made";
    else if (rename(strTemporary.c_str(), strPath.c_str()) != 0)
        strWhy = std::strerror(errno);
    if (!strWhy.empty())
    {
        unlink(strTemporary.c_str());
        close(fd);
        strError = strName + ": " + strWhy;
        return false;
    }
    m_fd = fd;
    m_dwSequence = dwFirst;
    return true;
}

bool CStatusBlockFile::Publish(void* pBlock, std::size_t nSize)
{
    if (m_fd < 0 || nSize < sizeof(SStatusHeader))
        return false;
    // After a write that failed the count in the file may be odd already; it stays so.
    const std::uint32_t dwOdd = m_dwSequence | 1u;
    std::memcpy(static_cast<char*>(pBlock) + kSequenceAt, &dwOdd, sizeof dwOdd);
    if (!WriteAll(m_fd, &dwOdd, sizeof dwOdd, kSequenceAt))
        return false;
    m_dwSequence = dwOdd;
    // A block written in part stays behind an odd count: readers then say that the master is
    // busy with it rather than take a mix.
    if (!WriteAll(m_fd, pBlock, nSize, 0))
        return false;
    const std::uint32_t dwEven = dwOdd + 1;
    if (!WriteAll(m_fd, &dwEven, sizeof dwEven, kSequenceAt))
        return false;
    m_dwSequence = dwEven;
    return true;
}

SBoardServer ReadBoardServer(std::uint8_t byBoard)
{
    std::string strName;
    std::string strError;
    CStatusFile file;
    if (!MakeBoardStateName(byBoard, strName) ||
        file.Open(strName, strError) != teStatusOpen::Opened)
        return SBoardServer{};
    return ReadBoardServerFrom(file, byBoard);
}

CStatusFile::~CStatusFile()
{
    if (m_fd >= 0)
        close(m_fd);
}

teStatusOpen CStatusFile::Open(const std::string& strName, std::string& strError)
{
    int fd = shm_open(strName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0)
    {
        strError = strName + ": " + std::strerror(errno);
        return errno == ENOENT ? teStatusOpen::Missing : teStatusOpen::Failed;
    }
    struct stat st = {};
    teStatusOpen eResult = teStatusOpen::Opened;
    if (fstat(fd, &st) != 0)
        eResult = teStatusOpen::Failed;
    else if (!S_ISREG(st.st_mode))
        eResult = teStatusOpen::NotAFile;
    else if (st.st_uid != geteuid())
        eResult = teStatusOpen::NotOurs;
    if (eResult != teStatusOpen::Opened)
    {
        strError = strName + (eResult == teStatusOpen::NotAFile  ? ": not a plain file"
                              : eResult == teStatusOpen::NotOurs ? ": another user's file"
                                                                 : ": cannot be examined");
        close(fd);
        return eResult;
    }
    m_fd = fd;
    return eResult;
}

long long CStatusFile::Size() const
{
    struct stat st = {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0)
        return -1;
    return static_cast<long long>(st.st_size);
}

long long CStatusFile::ReadAt(std::size_t nOffset, void* pBuffer, std::size_t nCount) const
{
    std::size_t nDone = 0;
    while (nDone < nCount)
    {
        ssize_t n = pread(m_fd, static_cast<char*>(pBuffer) + nDone, nCount - nDone,
                          static_cast<off_t>(nOffset + nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        nDone += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(nDone);
}

} // namespace dp
