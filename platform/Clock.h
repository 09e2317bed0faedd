// Tick count and local time (GetTickCount and GetLocalTime on Win32), with a seam through
// which tests put a clock of their own.
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

struct SClockSource
{
    std::uint32_t (*pfnTickCount)();
    SLocalTime (*pfnLocalTime)();
};

// Replaces the system clock for this process; null restores it. Returns the previous source
// (null for the system clock). The source must outlive its use.
const SClockSource* SetClockSource(const SClockSource* pSource);

} // namespace platform
