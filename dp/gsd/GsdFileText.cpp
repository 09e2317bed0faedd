#include "dp/gsd/GsdFileText.h"

#include "dp/gsd/GsdReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace dp
{

namespace
{

#ifdef _WIN32
// Windows has neither FIFOs nor controlling terminals to guard against; the file is read as
// bytes (text mode would end it at a Ctrl-Z and take its carriage returns).
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
#else
// O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
#endif

std::string KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
#ifdef S_ISSOCK
    if (S_ISSOCK(mode))
        return "a socket";
#endif
    return "not a regular file";
}

// Reads at most nLimit + 1 bytes, so that a file that grew after fstat is still caught.
bool ReadBounded(int nFd, std::size_t nLimit, std::string& strText, int& nErrno)
{
    strText.clear();
    char achBuffer[65536];
    while (strText.size() <= nLimit)
    {
        const ssize_t nRead = ::read(nFd, achBuffer, sizeof achBuffer);
        if (nRead == 0)
            return true;
        if (nRead < 0)
        {
            if (errno == EINTR)
                continue;
            nErrno = errno;
            return false;
        }
        strText.append(achBuffer, static_cast<std::size_t>(nRead));
    }
    return true;
}

} // namespace

bool ReadGsdFileText(const std::string& strPath, std::string& strText, std::string& strError)
{
    const int nFd = ::open(strPath.c_str(), kOpenFlags);
    if (nFd < 0)
    {
        strError = strPath + ": " + std::strerror(errno);
        return false;
    }
    struct stat status = {};
    int nErrno = 0;
    std::string strRead;
    bool bRead = false;
    if (::fstat(nFd, &status) != 0)
        strError = strPath + ": " + std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        strError = strPath + ": " + KindOf(status.st_mode) + ", not a GSD file";
    else if (static_cast<std::uint64_t>(status.st_size) > kMaxGsdFileBytes)
        strError = strPath + ": " + std::to_string(status.st_size) +
                   " bytes, larger than any GSD file (at most 1 MiB)";
    else if (!ReadBounded(nFd, kMaxGsdFileBytes, strRead, nErrno))
        strError = strPath + ": " + std::strerror(nErrno);
    else if (strRead.size() > kMaxGsdFileBytes)
        strError = strPath + ": larger than any GSD file (at most 1 MiB)";
    else
        bRead = true;
    ::close(nFd);
    if (bRead)
        strText = std::move(strRead);
    return bRead;
}

bool ReadGsdFile(const std::string& strPath, SGsdStation& station, std::string& strError)
{
    std::string strText;
    CGsdReader reader;
    return ReadGsdFileText(strPath, strText, strError) &&
           reader.Read(strText, strPath, station, strError);
}

} // namespace dp
