// A process is its id plus its creation time, which a reused id does not share.
#include "sim/common/ProcessIdentity.h"

#include "platform/win32/WindowsHeaders.h"

namespace korix
{

namespace
{

// The creation time in 100 ns units since 1601, or 0 when it cannot be read.
std::uint64_t CreationTime(HANDLE hProcess)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(hProcess, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

} // namespace

SProcessIdentity CurrentProcess()
{
    return SProcessIdentity{static_cast<std::int32_t>(GetCurrentProcessId()),
                            CreationTime(GetCurrentProcess())};
}

std::int32_t CurrentProcessId()
{
    return static_cast<std::int32_t>(GetCurrentProcessId());
}

bool IsProcessAlive(const SProcessIdentity& identity)
{
    if (identity.nPid <= 0)
        return false;
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                  static_cast<DWORD>(identity.nPid));
    if (hProcess == nullptr)
        // No such process; any other refusal (access) means somebody is there.
        return GetLastError() != ERROR_INVALID_PARAMETER;
    bool bEnded = WaitForSingleObject(hProcess, 0) == WAIT_OBJECT_0;
    std::uint64_t qwStartTime = CreationTime(hProcess);
    CloseHandle(hProcess);
    if (bEnded)
        return false;
    return identity.qwStartTime == 0 || qwStartTime == 0 || qwStartTime == identity.qwStartTime;
}

} // namespace korix
