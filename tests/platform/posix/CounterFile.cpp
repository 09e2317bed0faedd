#include "tests/platform/CounterFile.h"

#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platformtest
{

std::string CCounterFile::Create(const char* pszPrefix)
{
    std::string strPath = "/dev/shm/" + testsupport::UniqueName(pszPrefix);
    int fd = open(strPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return "";
    bool bSized = ftruncate(fd, sizeof(int)) == 0;
    close(fd);
    if (!bSized)
    {
        unlink(strPath.c_str());
        return "";
    }
    return strPath;
}

void CCounterFile::Remove(const std::string& strPath)
{
    unlink(strPath.c_str());
}

CCounterFile::CCounterFile(const std::string& strPath)
    : m_fd(open(strPath.c_str(), O_RDWR | O_CLOEXEC))
{
}

CCounterFile::~CCounterFile()
{
    if (m_pView != nullptr)
        munmap(m_pView, sizeof(int));
    if (m_fd >= 0)
        close(m_fd);
}

bool CCounterFile::IsOpen() const
{
    return m_fd >= 0;
}

bool CCounterFile::Read(int& nValue)
{
    return pread(m_fd, &nValue, sizeof nValue, 0) == static_cast<ssize_t>(sizeof nValue);
}

bool CCounterFile::Write(int nValue)
{
    return pwrite(m_fd, &nValue, sizeof nValue, 0) == static_cast<ssize_t>(sizeof nValue);
}

int* CCounterFile::Map()
{
    if (m_pView == nullptr && m_fd >= 0)
    {
        void* pView = mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
        m_pView = pView == MAP_FAILED ? nullptr : static_cast<int*>(pView);
    }
    return m_pView;
}

} // namespace platformtest
