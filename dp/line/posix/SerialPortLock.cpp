#include "dp/line/SerialPortLock.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace dp
{

namespace
{

// The pid in a lock file: ten ASCII characters (older programs wrote the int's four bytes).
// 0 when the file cannot be read or holds no pid.
pid_t ReadLockPid(const std::string& strPath)
{
    int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return 0;
    char achText[32] = {};
    const ssize_t n = ::read(fd, achText, sizeof achText - 1);
    ::close(fd);
    if (n == 4)
    {
        int nBinary = 0;
        std::memcpy(&nBinary, achText, sizeof nBinary);
        return nBinary > 0 ? nBinary : 0;
    }
    if (n <= 0)
        return 0;
    char* pEnd = nullptr;
    const long nPid = std::strtol(achText, &pEnd, 10);
    return nPid > 0 && nPid <= INT_MAX ? static_cast<pid_t>(nPid) : 0;
}

bool IsAlive(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// "4711 (korix-dpmaster)", or the pid alone when the name cannot be read.
std::string DescribeProcess(pid_t pid)
{
    std::string strText = "process " + std::to_string(pid);
    std::FILE* pFile = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r");
    if (pFile == nullptr)
        return strText;
    char szName[64] = {};
    if (std::fgets(szName, sizeof szName, pFile) != nullptr)
    {
        szName[std::strcspn(szName, "\n")] = '\0';
        strText += std::string(" (") + szName + ")";
    }
    std::fclose(pFile);
    return strText;
}

// Writes our pid into a file of its own and links it to the lock's name: the link either
// appears whole or not at all, so nobody ever reads a half-written lock file.
int LinkLockFile(const std::string& strDir, const std::string& strPath)
{
    char szContent[16];
    std::snprintf(szContent, sizeof szContent, "%10d\n", static_cast<int>(::getpid()));
    const std::string strTemp = strDir + "/LTMP." + std::to_string(::getpid());
    int fd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return errno;
    const std::size_t nLength = std::strlen(szContent);
    const bool bWritten = ::write(fd, szContent, nLength) == static_cast<ssize_t>(nLength);
    const int nWriteError = errno;
    ::close(fd);
    int nError = 0;
    if (!bWritten)
        nError = nWriteError != 0 ? nWriteError : EIO;
    else if (::link(strTemp.c_str(), strPath.c_str()) != 0)
        nError = errno;
    ::unlink(strTemp.c_str());
    return nError;
}

} // namespace

CSerialPortLock::CSerialPortLock(std::string strLockDir)
    : m_strLockDir(strLockDir.empty() ? DefaultLockDir() : std::move(strLockDir))
{
}

CSerialPortLock::~CSerialPortLock()
{
    Release();
}

std::string CSerialPortLock::DefaultLockDir()
{
    struct stat status
    {
    };
    if (::stat("/run/lock", &status) == 0 && S_ISDIR(status.st_mode))
        return "/run/lock";
    return "/var/lock";
}

std::string CSerialPortLock::LockFileName(const std::string& strPort)
{
    // Every name of the port (/dev/serial/by-id/... links) locks the same file.
    std::string strDevice = strPort;
    if (char* pszReal = ::realpath(strPort.c_str(), nullptr))
    {
        strDevice = pszReal;
        std::free(pszReal);
    }
    const std::string strDev = "/dev/";
    std::string strName = strDevice.rfind(strDev, 0) == 0
                              ? strDevice.substr(strDev.size())
                              : strDevice.substr(strDevice.find_last_of('/') + 1);
    for (char& ch : strName)
    {
        if (ch == '/')
            ch = '_';
    }
    return "LCK.." + strName;
}

bool CSerialPortLock::Take(const std::string& strPort, std::string& strError)
{
    Release();
    m_strWarning.clear();
    const std::string strPath = m_strLockDir + "/" + LockFileName(strPort);
    // A lock file left by a process that has ended is removed and the link tried again; a
    // second try that meets a live holder means another process took it meanwhile.
    for (int nTry = 0; nTry < 3; ++nTry)
    {
        const int nError = LinkLockFile(m_strLockDir, strPath);
        if (nError == 0)
        {
            m_strLockPath = strPath;
            return true;
        }
        if (nError != EEXIST)
        {
            // No lock file without a folder we may write to; the exclusive mode still holds
            // the port, but programs that look for the lock file will not see us.
            m_strWarning = "cannot take the lock file " + strPath + " (" + std::strerror(nError) +
                           "); " + strPort + " is held by its exclusive mode only";
            return true;
        }
        const pid_t pid = ReadLockPid(strPath);
        if (pid == ::getpid())
        {
            m_strLockPath = strPath;
            return true;
        }
        if (pid != 0 && IsAlive(pid))
        {
            strError =
                strPort + " is in use by " + DescribeProcess(pid) + " (lock file " + strPath + ")";
            return false;
        }
        // Gone, or a file nobody can read as a lock: stale. Removed only if it still is the
        // same stale file, so that a lock just taken by someone else stays.
        if (ReadLockPid(strPath) == pid)
            ::unlink(strPath.c_str());
    }
    strError = strPort + ": its lock file " + strPath + " keeps changing; try again";
    return false;
}

void CSerialPortLock::Release()
{
    if (m_strLockPath.empty())
        return;
    if (ReadLockPid(m_strLockPath) == ::getpid())
        ::unlink(m_strLockPath.c_str());
    m_strLockPath.clear();
}

bool HoldPortExclusively(int fd, const std::string& strPort, std::string& strError)
{
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0)
    {
        strError = strPort + ": " + std::strerror(errno);
        return false;
    }
    // Unix98 pseudo-terminal peers have majors 136 to 143.
    const unsigned nMajor = major(status.st_rdev);
    if (S_ISCHR(status.st_mode) && nMajor >= 136 && nMajor <= 143)
        return true;
    if (::ioctl(fd, TIOCEXCL) != 0)
    {
        strError = strPort + ": cannot hold the port alone: " + std::strerror(errno);
        return false;
    }
    return true;
}

void ReleasePortExclusively(int fd)
{
    if (fd >= 0)
        ::ioctl(fd, TIOCNXCL);
}

} // namespace dp
