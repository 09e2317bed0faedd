#include "platform/posix/RemovedFile.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix
{

namespace
{

// The descriptor of process directory fdProcess that is the removed file, reopened; or -1.
int ReopenFromProcess(int fdProcess, const char* pszTarget, int nFlags)
{
    int fdList = openat(fdProcess, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdList < 0)
        return -1;
    DIR* pDir = fdopendir(fdList);
    if (!pDir)
    {
        close(fdList);
        return -1;
    }
    int fdFound = -1;
    char szLink[PATH_MAX + 16];
    while (dirent* pEntry = readdir(pDir))
    {
        if (pEntry->d_name[0] == '.')
            continue;
        ssize_t nLength = readlinkat(fdList, pEntry->d_name, szLink, sizeof szLink - 1);
        if (nLength <= 0)
            continue;
        szLink[nLength] = '\0';
        if (std::strcmp(szLink, pszTarget) != 0)
            continue;
        // Opening the descriptor's link opens the file itself, also one without a name.
        int fd = openat(fdList, pEntry->d_name, nFlags | O_CLOEXEC);
        struct stat st = {};
        if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
            st.st_nlink == 0)
        {
            fdFound = fd;
            break;
        }
        if (fd >= 0)
            close(fd);
    }
    closedir(pDir);
    return fdFound;
}

} // namespace

int ReopenRemovedFile(const char* pszPath, int nFlags)
{
    char szTarget[PATH_MAX + 16];
    int nLength = std::snprintf(szTarget, sizeof szTarget, "%s (deleted)", pszPath);
    if (nLength < 0 || static_cast<std::size_t>(nLength) >= sizeof szTarget)
        return -1;
    DIR* pProc = opendir("/proc");
    if (!pProc)
        return -1;
    int fdFound = -1;
    while (fdFound < 0)
    {
        dirent* pEntry = readdir(pProc);
        if (!pEntry)
            break;
        if (!std::isdigit(static_cast<unsigned char>(pEntry->d_name[0])))
            continue;
        int fdProcess = openat(dirfd(pProc), pEntry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdProcess < 0)
            continue;
        struct stat st = {};
        if (fstat(fdProcess, &st) == 0 && st.st_uid == geteuid())
            fdFound = ReopenFromProcess(fdProcess, szTarget, nFlags);
        close(fdProcess);
    }
    closedir(pProc);
    return fdFound;
}

} // namespace platform::posix
