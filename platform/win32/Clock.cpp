#include "platform/SystemClock.h"

#include "platform/win32/WindowsHeaders.h"

namespace platform
{

std::uint32_t ReadSystemTickCount()
{
    return GetTickCount();
}

std::uint64_t ReadSystemMonotonicNs()
{
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    const auto qwFrequency = static_cast<std::uint64_t>(frequency.QuadPart);
    const auto qwCount = static_cast<std::uint64_t>(count.QuadPart);
    // In two steps, so that the product does not overflow after days of uptime.
    return qwCount / qwFrequency * 1000000000u + qwCount % qwFrequency * 1000000000u / qwFrequency;
}

SLocalTime ReadSystemLocalTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return SLocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                      now.wMinute, now.wSecond, now.wMilliseconds};
}

} // namespace platform
