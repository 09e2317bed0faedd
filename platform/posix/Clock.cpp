#include "platform/SystemClock.h"

#include <ctime>

namespace platform
{

std::uint32_t ReadSystemTickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t qwMilliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                   static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(qwMilliseconds); // wraps like GetTickCount
}

std::uint64_t ReadSystemMonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

SLocalTime ReadSystemLocalTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    if (localtime_r(&now.tv_sec, &local) == nullptr)
        return SLocalTime{1970, 1, 1, 0, 0, 0, 0};
    return SLocalTime{static_cast<std::uint16_t>(local.tm_year + 1900),
                      static_cast<std::uint16_t>(local.tm_mon + 1),
                      static_cast<std::uint16_t>(local.tm_mday),
                      static_cast<std::uint16_t>(local.tm_hour),
                      static_cast<std::uint16_t>(local.tm_min),
                      static_cast<std::uint16_t>(local.tm_sec),
                      static_cast<std::uint16_t>(now.tv_nsec / 1000000)};
}

} // namespace platform
