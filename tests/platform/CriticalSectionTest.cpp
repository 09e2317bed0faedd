#include "platform/CriticalSection.h"
#include "tests/platform/PeerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace
{

TEST(PlatformCriticalSection, OwnerMayEnterAgainAndOthersWaitForTheLastLeave)
{
    platform::CCriticalSection section;
    section.Enter();
    section.Enter();
    section.Leave();

    auto other = std::async(std::launch::async,
                            [&]
                            {
                                platform::CCriticalSectionGuard guard(section);
                                return true;
                            });
    EXPECT_EQ(other.wait_for(std::chrono::milliseconds(platformtest::kQuietMs)),
              std::future_status::timeout)
        << "entered while the owner was still inside once";
    section.Leave();
    EXPECT_TRUE(other.get());
}

TEST(PlatformCriticalSection, KeepsThreadsApart)
{
    platform::CCriticalSection section;
    long nCount = 0;
    std::vector<std::thread> threads;
    for (int n = 0; n < 4; ++n)
        threads.emplace_back(
            [&]
            {
                for (int nRound = 0; nRound < 20000; ++nRound)
                {
                    platform::CCriticalSectionGuard guard(section);
                    ++nCount;
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(nCount, 4 * 20000);
}

} // namespace
