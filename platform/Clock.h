// Tick count, a fine monotonic clock and local time (GetTickCount, QueryPerformanceCounter
// and GetLocalTime on Win32), with a seam through which tests put a clock of their own.
#pragma once

#include <cstdint>

namespace platform
{

struct SLocalTime
{
    std::uint16_t wYear;
    std::uint16_t wMonth; // 1..12
    std::uint16_t wDay;   // 1..31
    std::uint16_t wHour;
    std::uint16_t wMinute;
    std::uint16_t wSecond;
    std::uint16_t wMilliseconds;
};

// Milliseconds since system start, wrapping at 2^32.
std::uint32_t ReadTickCount();

SLocalTime ReadLocalTime();

// Nanoseconds of a monotonic clock with an arbitrary start: what times a bus telegram.
std::uint64_t ReadMonotonicNs();

// A member left null keeps the system's clock for it.
struct SClockSource
{
    std::uint32_t (*pfnTickCount)();
    SLocalTime (*pfnLocalTime)();
    std::uint64_t (*pfnMonotonicNs)() = nullptr;
};

// Replaces the system clock for this process; null restores it. Returns the previous source
// (null for the system clock). The source must outlive its use.
const SClockSource* SetClockSource(const SClockSource* pSource);

} // namespace platform
