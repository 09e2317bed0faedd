// The seam through which tests put a clock of their own in front of the system's.
#include "platform/Clock.h"

#include "platform/SystemClock.h"

#include <atomic>

namespace platform
{

namespace
{

std::atomic<const SClockSource*> g_pSource{nullptr};

} // namespace

std::uint32_t ReadTickCount()
{
    const SClockSource* pSource = g_pSource.load();
    return pSource != nullptr && pSource->pfnTickCount != nullptr ? pSource->pfnTickCount()
                                                                  : ReadSystemTickCount();
}

SLocalTime ReadLocalTime()
{
    const SClockSource* pSource = g_pSource.load();
    return pSource != nullptr && pSource->pfnLocalTime != nullptr ? pSource->pfnLocalTime()
                                                                  : ReadSystemLocalTime();
}

std::uint64_t ReadMonotonicNs()
{
    const SClockSource* pSource = g_pSource.load();
    return pSource != nullptr && pSource->pfnMonotonicNs != nullptr ? pSource->pfnMonotonicNs()
                                                                    : ReadSystemMonotonicNs();
}

const SClockSource* SetClockSource(const SClockSource* pSource)
{
    return g_pSource.exchange(pSource);
}

} // namespace platform
