// The name the kernel keeps for a process: what ps shows, the program's file name cut to 15
// bytes (or what the process set with prctl). Read from /proc, so only where /proc is mounted.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace platform::posix
{

// Room for the kernel's name of a process and its terminating zero.
using ProcessName = char[16];

// szName is empty when the process is gone or /proc cannot tell.
inline void ReadProcessName(std::uint32_t dwPid, ProcessName& szName)
{
    szName[0] = '\0';
    char szPath[32];
    std::snprintf(szPath, sizeof szPath, "/proc/%u/comm", static_cast<unsigned>(dwPid));
    int fd = open(szPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ssize_t nRead = read(fd, szName, sizeof szName - 1);
    close(fd);
    std::size_t nLength = nRead > 0 ? static_cast<std::size_t>(nRead) : 0;
    if (nLength > 0 && szName[nLength - 1] == '\n')
        --nLength;
    szName[nLength] = '\0';
}

} // namespace platform::posix
