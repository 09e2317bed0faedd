#include "platform/Event.h"
#include "tests/platform/PeerProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace
{

using platform::teWaitResult;

bool AwaitCount(const std::atomic<int>& nCount, int nExpected)
{
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(platformtest::kReplyTimeoutMs);
    while (nCount.load() < nExpected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return nCount.load() >= nExpected;
}

TEST(PlatformEvent, ASetIsKeptForExactlyOneWait)
{
    platform::CAutoResetEvent event;
    EXPECT_EQ(event.Wait(0), teWaitResult::TimedOut);
    EXPECT_EQ(event.Wait(20), teWaitResult::TimedOut);

    EXPECT_TRUE(event.Set());
    EXPECT_EQ(event.Wait(0), teWaitResult::Signalled);
    EXPECT_EQ(event.Wait(0), teWaitResult::TimedOut);

    // Signalled is a state, not a count.
    EXPECT_TRUE(event.Set());
    EXPECT_TRUE(event.Set());
    EXPECT_EQ(event.Wait(platform::kWaitInfinite), teWaitResult::Signalled);
    EXPECT_EQ(event.Wait(10), teWaitResult::TimedOut);
}

// Marked inside a lock, woken after it: the mark alone is a signalled state, and the wake
// releases a waiter that sleeps without a time limit.
TEST(PlatformEvent, AMarkIsASetThatAWakeDelivers)
{
    platform::CAutoResetEvent event;
    EXPECT_TRUE(event.Mark());
    EXPECT_EQ(event.Wait(0), teWaitResult::Signalled);
    EXPECT_EQ(event.Wait(0), teWaitResult::TimedOut);

    std::atomic<int> nReleased{0};
    std::thread waiter(
        [&]
        {
            if (event.Wait(platform::kWaitInfinite) == teWaitResult::Signalled)
                ++nReleased;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(platformtest::kQuietMs));
    EXPECT_TRUE(event.Mark());
    event.Wake();
    EXPECT_TRUE(AwaitCount(nReleased, 1));
    waiter.join();
}

TEST(PlatformEvent, EachSetReleasesOneWaiter)
{
    platform::CAutoResetEvent event;
    std::atomic<int> nReleased{0};
    std::vector<std::thread> waiters;
    for (int n = 0; n < 2; ++n)
        waiters.emplace_back(
            [&]
            {
                if (event.Wait(platform::kWaitInfinite) == teWaitResult::Signalled)
                    ++nReleased;
            });

    EXPECT_TRUE(event.Set());
    ASSERT_TRUE(AwaitCount(nReleased, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(platformtest::kQuietMs));
    EXPECT_EQ(nReleased.load(), 1);
    EXPECT_TRUE(event.Set());
    ASSERT_TRUE(AwaitCount(nReleased, 2));
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(event.Wait(0), teWaitResult::TimedOut);
}

} // namespace
