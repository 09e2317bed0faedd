#include "platform/Clock.h"

#include "platform/win32/WindowsHeaders.h"

#include <atomic>

namespace platform
{

namespace
{

std::atomic<const SClockSource*> g_pSource{nullptr};

SLocalTime ReadSystemLocalTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return SLocalTime{now.wYear, now.wMonth,  now.wDay,         now.wHour,
                      now.wMinute, now.wSecond, now.wMilliseconds};
}

} // namespace

std::uint32_t ReadTickCount()
{
    const SClockSource* pSource = g_pSource.load();
    return pSource != nullptr && pSource->pfnTickCount != nullptr ? pSource->pfnTickCount()
                                                                  : GetTickCount();
}

SLocalTime ReadLocalTime()
{
    const SClockSource* pSource = g_pSource.load();
    return pSource != nullptr && pSource->pfnLocalTime != nullptr ? pSource->pfnLocalTime()
                                                                  : ReadSystemLocalTime();
}

const SClockSource* SetClockSource(const SClockSource* pSource)
{
    return g_pSource.exchange(pSource);
}

} // namespace platform
