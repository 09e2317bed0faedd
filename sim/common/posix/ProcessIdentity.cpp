// A process is its pid plus its start time in clock ticks since boot (field 22 of
// /proc/<pid>/stat), which a reused pid does not share. A zombie has ended already.
#include "sim/common/ProcessIdentity.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace korix
{

namespace
{

struct SProcessStat
{
    char chState; // 'Z': ended, waiting for its parent
    std::uint64_t qwStartTime;
};

SProcessStat ReadProcessStat(std::int32_t nPid)
{
    SProcessStat info{'?', 0};
    char szPath[64];
    std::snprintf(szPath, sizeof szPath, "/proc/%d/stat", static_cast<int>(nPid));
    int fd = open(szPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return info;
    char szStat[1024];
    ssize_t nRead = read(fd, szStat, sizeof szStat - 1);
    close(fd);
    if (nRead <= 0)
        return info;
    szStat[nRead] = '\0';
    // The command name may hold blanks and parentheses; the fields after it do not.
    const char* pszField = std::strrchr(szStat, ')');
    if (pszField != nullptr && pszField[1] == ' ')
        info.chState = pszField[2];
    for (int nField = 2; pszField != nullptr && nField < 22; ++nField)
    {
        pszField = std::strchr(pszField + 1, ' ');
    }
    if (pszField != nullptr)
        info.qwStartTime = std::strtoull(pszField + 1, nullptr, 10);
    return info;
}

} // namespace

namespace
{

std::atomic<std::int32_t> g_nPid{0}; // 0: not read yet, or a fork has happened since

void ForgetPidInChild()
{
    g_nPid = 0;
}

} // namespace

std::int32_t CurrentProcessId()
{
    static const bool bHooked = pthread_atfork(nullptr, nullptr, ForgetPidInChild) == 0;
    std::int32_t nPid = g_nPid.load(std::memory_order_relaxed);
    if (nPid == 0 || !bHooked)
    {
        nPid = static_cast<std::int32_t>(getpid());
        g_nPid.store(nPid, std::memory_order_relaxed);
    }
    return nPid;
}

SProcessIdentity CurrentProcess()
{
    std::int32_t nPid = static_cast<std::int32_t>(getpid());
    return SProcessIdentity{nPid, ReadProcessStat(nPid).qwStartTime};
}

bool IsProcessAlive(const SProcessIdentity& identity)
{
    if (identity.nPid <= 0)
        return false;
    if (kill(static_cast<pid_t>(identity.nPid), 0) != 0 && errno == ESRCH)
        return false;
    SProcessStat info = ReadProcessStat(identity.nPid);
    if (info.chState == 'Z' || info.chState == 'X')
        return false;
    return identity.qwStartTime == 0 || info.qwStartTime == 0 ||
           info.qwStartTime == identity.qwStartTime;
}

} // namespace korix
