#include "platform/BoardSemaphore.h"
#include "tests/platform/CountUnderSemaphore.h"
#include "tests/platform/PeerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using platformtest::CPeer;
using platformtest::kQuietMs;
using platformtest::kReplyTimeoutMs;

struct SSemaphoreCloser
{
    void operator()(platform::SBoardSemaphore* hSemaphore) const
    {
        platform::CloseBoardSemaphore(hSemaphore);
    }
};
using UniqueSemaphore = std::unique_ptr<platform::SBoardSemaphore, SSemaphoreCloser>;

UniqueSemaphore MakeSemaphore(const std::string& name)
{
    return UniqueSemaphore(platform::CreateBoardSemaphore(name.c_str()));
}

// The test names the semaphore uniquely; remove its file afterwards so runs leave nothing.
struct SSemaphoreName
{
    std::string m_name = testsupport::UniqueName("sem");
    ~SSemaphoreName()
    {
        unlink(("/dev/shm/movajob." + std::to_string(geteuid()) + "." + m_name).c_str());
    }
};

TEST(PlatformBoardSemaphore, ExcludesAnotherProcessUntilReleased)
{
    SSemaphoreName name;
    CPeer first({"semhold", name.m_name});
    ASSERT_EQ(first.Reply(), "waiting");
    ASSERT_EQ(first.Reply(), "held");
    CPeer second({"semhold", name.m_name});
    ASSERT_EQ(second.Reply(), "waiting");
    EXPECT_EQ(second.Reply(kQuietMs), "<silent>");

    EXPECT_EQ(first.Ask("release"), "released");
    EXPECT_EQ(second.Reply(), "held");
    EXPECT_EQ(second.Ask("release"), "released");
}

TEST(PlatformBoardSemaphore, HolderKilledGivesItBack)
{
    SSemaphoreName name;
    CPeer holder({"semhold", name.m_name});
    ASSERT_EQ(holder.Reply(), "waiting");
    ASSERT_EQ(holder.Reply(), "held");
    CPeer waiter({"semhold", name.m_name});
    ASSERT_EQ(waiter.Reply(), "waiting");

    holder.Kill(SIGKILL);
    EXPECT_EQ(holder.Wait(), 128 + SIGKILL);
    EXPECT_EQ(waiter.Reply(), "held");
    EXPECT_EQ(waiter.Ask("release"), "released");
}

TEST(PlatformBoardSemaphore, ClosingAHeldHandleGivesItBack)
{
    SSemaphoreName name;
    UniqueSemaphore semaphore = MakeSemaphore(name.m_name);
    ASSERT_NE(semaphore, nullptr);
    ASSERT_TRUE(platform::WaitBoardSemaphore(semaphore.get()));
    CPeer waiter({"semhold", name.m_name});
    ASSERT_EQ(waiter.Reply(), "waiting");
    EXPECT_EQ(waiter.Reply(kQuietMs), "<silent>");

    semaphore.reset();
    EXPECT_EQ(waiter.Reply(), "held");
    EXPECT_EQ(waiter.Ask("release"), "released");
}

TEST(PlatformBoardSemaphore, TwoHandlesInOneProcessExcludeEachOther)
{
    SSemaphoreName name;
    UniqueSemaphore first = MakeSemaphore(name.m_name);
    UniqueSemaphore second = MakeSemaphore(name.m_name);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(platform::WaitBoardSemaphore(first.get()));

    auto secondWait =
        std::async(std::launch::async, [&] { return platform::WaitBoardSemaphore(second.get()); });
    EXPECT_EQ(secondWait.wait_for(std::chrono::milliseconds(kQuietMs)),
              std::future_status::timeout);
    EXPECT_TRUE(platform::ReleaseBoardSemaphore(first.get()));
    ASSERT_EQ(secondWait.wait_for(std::chrono::milliseconds(kReplyTimeoutMs)),
              std::future_status::ready);
    EXPECT_TRUE(secondWait.get());
    EXPECT_TRUE(platform::ReleaseBoardSemaphore(second.get()));
}

TEST(PlatformBoardSemaphore, ReleaseNeedsAHolder)
{
    SSemaphoreName name;
    UniqueSemaphore semaphore = MakeSemaphore(name.m_name);
    ASSERT_NE(semaphore, nullptr);
    EXPECT_FALSE(platform::ReleaseBoardSemaphore(semaphore.get()));
    EXPECT_FALSE(platform::ReleaseBoardSemaphore(nullptr));
    EXPECT_FALSE(platform::WaitBoardSemaphore(nullptr));

    ASSERT_TRUE(platform::WaitBoardSemaphore(semaphore.get()));
    // Like a Win32 semaphore, another thread than the waiter may give it back.
    bool bReleased = false;
    std::thread([&] { bReleased = platform::ReleaseBoardSemaphore(semaphore.get()); }).join();
    EXPECT_TRUE(bReleased);
    EXPECT_FALSE(platform::ReleaseBoardSemaphore(semaphore.get()));

    // Given back for real: another process gets it.
    CPeer other({"semhold", name.m_name});
    ASSERT_EQ(other.Reply(), "waiting");
    EXPECT_EQ(other.Reply(), "held");
    EXPECT_EQ(other.Ask("release"), "released");
}

TEST(PlatformBoardSemaphore, RefusesNamesItCannotCarry)
{
    EXPECT_EQ(platform::CreateBoardSemaphore(nullptr), nullptr);
    EXPECT_EQ(platform::CreateBoardSemaphore(""), nullptr);
    EXPECT_EQ(platform::CreateBoardSemaphore("a/b"), nullptr);
    EXPECT_EQ(platform::CreateBoardSemaphore(std::string(300, 'x').c_str()), nullptr);
}

// Read-modify-write rounds on one counter from two processes, two threads with handles of
// their own and two threads sharing a handle: any gap in the exclusion loses counts.
TEST(PlatformBoardSemaphore, KeepsEveryRoundApart)
{
    SSemaphoreName name;
    constexpr int kRounds = 300;
    std::string counterPath = "/dev/shm/" + testsupport::UniqueName("semcount");
    int fd = open(counterPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);

    auto countRounds = [&](platform::HBoardSemaphore hSemaphore)
    { EXPECT_TRUE(platformtest::CountUnderSemaphore(hSemaphore, fd, kRounds)); };
    UniqueSemaphore own1 = MakeSemaphore(name.m_name);
    UniqueSemaphore own2 = MakeSemaphore(name.m_name);
    UniqueSemaphore shared = MakeSemaphore(name.m_name);
    ASSERT_TRUE(own1 && own2 && shared);

    std::vector<std::unique_ptr<CPeer>> peers;
    for (int n = 0; n < 2; ++n)
        peers.push_back(std::make_unique<CPeer>(std::initializer_list<std::string>{
            "semcount", name.m_name, counterPath, std::to_string(kRounds)}));
    std::vector<std::thread> threads;
    for (platform::HBoardSemaphore hSemaphore :
         {own1.get(), own2.get(), shared.get(), shared.get()})
        threads.emplace_back(countRounds, hSemaphore);
    for (std::thread& thread : threads)
        thread.join();
    for (auto& peer : peers)
        EXPECT_EQ(peer->Reply(), "done");

    int nCount = 0;
    EXPECT_EQ(pread(fd, &nCount, sizeof nCount, 0), static_cast<ssize_t>(sizeof nCount));
    EXPECT_EQ(nCount, 6 * kRounds);
    close(fd);
    unlink(counterPath.c_str());
}

} // namespace
