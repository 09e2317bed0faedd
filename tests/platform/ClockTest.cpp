#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <ctime>

#if defined(_WIN32)
#include "platform/win32/WindowsHeaders.h"
#endif

namespace
{

// The system's own milliseconds since start: the monotonic clock on POSIX; on Windows the
// 64-bit tick count, of which GetTickCount is the low half.
std::uint32_t ReadMonotonicMilliseconds()
{
#if defined(_WIN32)
    return static_cast<std::uint32_t>(GetTickCount64());
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
#endif
}

void ExpectSystemTickCount()
{
    std::uint32_t dwBefore = ReadMonotonicMilliseconds();
    std::uint32_t dwTicks = platform::ReadTickCount();
    std::uint32_t dwAfter = ReadMonotonicMilliseconds();
    // Unsigned differences, so that a wrap between the reads is no failure.
    EXPECT_LE(static_cast<std::uint32_t>(dwTicks - dwBefore),
              static_cast<std::uint32_t>(dwAfter - dwBefore));
}

TEST(PlatformClock, TickCountIsMillisecondsOfTheMonotonicClock)
{
    ExpectSystemTickCount();
}

std::time_t ReadRealTimeSeconds()
{
    // Not time(): it reads a coarser clock that lags the real-time clock by up to a tick.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
}

TEST(PlatformClock, LocalTimeIsNow)
{
    std::time_t before = ReadRealTimeSeconds();
    platform::SLocalTime now = platform::ReadLocalTime();
    std::time_t after = ReadRealTimeSeconds();

    tm local{};
    local.tm_year = now.wYear - 1900;
    local.tm_mon = now.wMonth - 1;
    local.tm_mday = now.wDay;
    local.tm_hour = now.wHour;
    local.tm_min = now.wMinute;
    local.tm_sec = now.wSecond;
    local.tm_isdst = -1;
    std::time_t read = std::mktime(&local);
    EXPECT_GE(read, before);
    EXPECT_LE(read, after);
    EXPECT_LT(now.wMilliseconds, 1000);
}

std::uint32_t FakeTicks()
{
    return 4294967290u;
}

platform::SLocalTime FakeLocalTime()
{
    return platform::SLocalTime{2031, 12, 31, 23, 59, 59, 999};
}

TEST(PlatformClock, ASourceReplacesTheSystemClockUntilRestored)
{
    static const platform::SClockSource fake{FakeTicks, FakeLocalTime};
    EXPECT_EQ(platform::SetClockSource(&fake), nullptr);
    EXPECT_EQ(platform::ReadTickCount(), 4294967290u);
    platform::SLocalTime now = platform::ReadLocalTime();
    EXPECT_EQ(now.wYear, 2031);
    EXPECT_EQ(now.wDay, 31);
    EXPECT_EQ(now.wMilliseconds, 999);

    EXPECT_EQ(platform::SetClockSource(nullptr), &fake);
    ExpectSystemTickCount();
}

} // namespace
