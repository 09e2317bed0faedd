// The status block's file is a POSIX shared memory object, as the board's state is
// (sim/posix/SharedBoard.cpp). /dev/shm is writable by everybody, so both sides open it
// without blocking (a FIFO placed under our name would hang a plain open) and take it only
// when it is a plain file of this user.
#include "dp/MasterStatusFile.h"

#include "platform/posix/ByteLock.h"
#include "sim/BoardPrefix.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dp
{

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

CStatusMapping::~CStatusMapping()
{
    if (m_pView != nullptr)
        munmap(m_pView, m_nSize);
}

bool CStatusMapping::Create(const std::string& strName, std::size_t nSize, std::string& strError)
{
    int fd = shm_open(strName.c_str(), O_CREAT | O_RDWR | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        strError = strName + ": " + std::strerror(errno);
        return false;
    }
    if (!platform::posix::IsOwnRegularFile(fd))
    {
        close(fd);
        strError = strName + ": not a plain file of this user";
        return false;
    }
    void* pView = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(nSize)) == 0)
        pView = mmap(nullptr, nSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pView == MAP_FAILED)
        strError = strName + ": " + std::strerror(errno);
    // The mapping outlives the descriptor.
    close(fd);
    if (pView == MAP_FAILED)
        return false;
    m_pView = pView;
    m_nSize = nSize;
    return true;
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
