#include "platform/SystemClock.h"

#include "platform/win32/WindowsHeaders.h"

namespace platform
{

std::uint32_t ReadSystemTickCount()
{
    return GetTickCount();
}

SLocalTime ReadSystemLocalTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return SLocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                      now.wMinute, now.wSecond, now.wMilliseconds};
}

} // namespace platform
