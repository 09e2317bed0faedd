#include "platform/BoardSemaphore.h"
#include "tests/platform/CountUnderSemaphore.h"
#include "tests/platform/CounterFile.h"
#include "tests/platform/PeerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

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

// The test names the semaphore uniquely; on POSIX remove its file afterwards so runs leave
// nothing (a Win32 semaphore goes with its last handle).
struct SSemaphoreName
{
    std::string m_name = testsupport::UniqueName("sem");
#if !defined(_WIN32)
    ~SSemaphoreName()
    {
        unlink(("/dev/shm/movajob." + std::to_string(geteuid()) + "." + m_name).c_str());
    }
#endif
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
#if defined(_WIN32)
    GTEST_SKIP() << "a Win32 semaphore has no owner: Windows does not give back the count of a "
                    "process killed while it holds it (docs/board-semaphore.md)";
#endif
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

TEST(PlatformBoardSemaphore, WaiterKilledWhileItWaitsLeavesNothingBehind)
{
    SSemaphoreName name;
    CPeer holder({"semhold", name.m_name});
    ASSERT_EQ(holder.Reply(), "waiting");
    ASSERT_EQ(holder.Reply(), "held");
    {
        CPeer waiter({"semhold", name.m_name});
        ASSERT_EQ(waiter.Reply(), "waiting");
        EXPECT_EQ(waiter.Reply(kQuietMs), "<silent>"); // asleep in its wait by now
        waiter.Kill(SIGKILL);
        EXPECT_EQ(waiter.Wait(), 128 + SIGKILL);
    }
    EXPECT_EQ(holder.Ask("release"), "released");
    CPeer next({"semhold", name.m_name});
    ASSERT_EQ(next.Reply(), "waiting");
    EXPECT_EQ(next.Reply(), "held");
    EXPECT_EQ(next.Ask("release"), "released");
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
    // The path separator of the system's names: on Windows a backslash names a namespace.
#if defined(_WIN32)
    EXPECT_EQ(platform::CreateBoardSemaphore("a\\b"), nullptr);
#else
    EXPECT_EQ(platform::CreateBoardSemaphore("a/b"), nullptr);
#endif
    EXPECT_EQ(platform::CreateBoardSemaphore(std::string(300, 'x').c_str()), nullptr);
}

// Read-modify-write rounds on one counter from two processes, two threads with handles of
// their own and two threads sharing a handle: any gap in the exclusion loses counts.
TEST(PlatformBoardSemaphore, KeepsEveryRoundApart)
{
    SSemaphoreName name;
    constexpr int kRounds = 300;
    std::string counterPath = platformtest::CCounterFile::Create("semcount");
    ASSERT_NE(counterPath, "");
    platformtest::CCounterFile counter(counterPath);
    ASSERT_TRUE(counter.IsOpen());

    auto countRounds = [&](platform::HBoardSemaphore hSemaphore)
    { EXPECT_TRUE(platformtest::CountUnderSemaphore(hSemaphore, counter, kRounds)); };
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
    EXPECT_TRUE(counter.Read(nCount));
    EXPECT_EQ(nCount, 6 * kRounds);
    platformtest::CCounterFile::Remove(counterPath);
}

#if !defined(_WIN32)
// The login manager's RemoveIPC=yes removes a user's files in /dev/shm when the user's last
// session ends, while the user's services go on: unlinked, as here. A host started after that
// must take part in the same semaphore as those that hold the removed file.
std::string SemaphorePath(const std::string& name)
{
    return "/dev/shm/movajob." + std::to_string(geteuid()) + "." + name;
}

TEST(PlatformBoardSemaphore, HostsStartedAfterTheFileWasRemovedExcludeTheEarlierOnes)
{
    SSemaphoreName name;
    CPeer earlier({"semhold", name.m_name});
    ASSERT_EQ(earlier.Reply(), "waiting");
    ASSERT_EQ(earlier.Reply(), "held");
    ASSERT_EQ(0, unlink(SemaphorePath(name.m_name).c_str()));

    CPeer later({"semhold", name.m_name});
    ASSERT_EQ(later.Reply(), "waiting");
    EXPECT_EQ(later.Reply(kQuietMs), "<silent>") << "a host started after the removal did not "
                                                    "wait for the one that holds the semaphore";
    EXPECT_EQ(earlier.Ask("release"), "released");
    EXPECT_EQ(later.Reply(), "held");

    // The earliest host has gone; the file lives on in the later one, still without a name.
    CPeer latest({"semhold", name.m_name});
    ASSERT_EQ(latest.Reply(), "waiting");
    EXPECT_EQ(latest.Reply(kQuietMs), "<silent>");
    EXPECT_EQ(later.Ask("release"), "released");
    EXPECT_EQ(latest.Reply(), "held");
    EXPECT_EQ(latest.Ask("release"), "released");
    EXPECT_NE(0, access(SemaphorePath(name.m_name).c_str(), F_OK)) << "a second file was made";
}

TEST(PlatformBoardSemaphore, RoundsBeforeAndAfterTheRemovalNeverOverlap)
{
    SSemaphoreName name;
    constexpr int kRounds = 3000;
    std::string counterPath = platformtest::CCounterFile::Create("semcount");
    ASSERT_NE(counterPath, "");
    platformtest::CCounterFile counter(counterPath);
    ASSERT_TRUE(counter.IsOpen());
    UniqueSemaphore earlier = MakeSemaphore(name.m_name);
    ASSERT_TRUE(earlier);
    ASSERT_EQ(0, unlink(SemaphorePath(name.m_name).c_str()));

    // The later hosts open after the removal and count while the earlier one does.
    std::vector<std::unique_ptr<CPeer>> later;
    for (int n = 0; n < 2; ++n)
        later.push_back(std::make_unique<CPeer>(std::initializer_list<std::string>{
            "semcount", name.m_name, counterPath, std::to_string(kRounds)}));
    EXPECT_TRUE(platformtest::CountUnderSemaphore(earlier.get(), counter, kRounds));
    for (auto& peer : later)
        EXPECT_EQ(peer->Reply(), "done");

    int nCount = 0;
    EXPECT_TRUE(counter.Read(nCount));
    EXPECT_EQ(nCount, 3 * kRounds);
    platformtest::CCounterFile::Remove(counterPath);
}
#endif

#if defined(OTHER_WIDTH_PEER)
// 32-bit and 64-bit processes share one semaphore: rounds of both kinds at once never overlap.
TEST(PlatformBoardSemaphore, KeepsRoundsOfBothWordSizesApart)
{
    if (access(OTHER_WIDTH_PEER, X_OK) != 0)
        GTEST_SKIP() << OTHER_WIDTH_PEER << " is not built: build both the dev and x86 presets";
    SSemaphoreName name;
    constexpr int kRounds = 300;
    std::string counterPath = platformtest::CCounterFile::Create("semwidth");
    ASSERT_NE(counterPath, "");
    platformtest::CCounterFile counter(counterPath);
    ASSERT_TRUE(counter.IsOpen());
    std::vector<std::string> order{"semcount", name.m_name, counterPath, std::to_string(kRounds)};
    std::vector<std::string> otherCommand{OTHER_WIDTH_PEER};
    otherCommand.insert(otherCommand.end(), order.begin(), order.end());
    testsupport::CChildProcess other(otherCommand);
    CPeer same({"semcount", name.m_name, counterPath, std::to_string(kRounds)});
    UniqueSemaphore own = MakeSemaphore(name.m_name);
    ASSERT_TRUE(own);
    EXPECT_TRUE(platformtest::CountUnderSemaphore(own.get(), counter, kRounds));
    std::string otherReply;
    EXPECT_TRUE(other.ReadLine(otherReply, kReplyTimeoutMs));
    EXPECT_EQ(otherReply, "done");
    EXPECT_EQ(same.Reply(), "done");

    int nCount = 0;
    EXPECT_TRUE(counter.Read(nCount));
    EXPECT_EQ(nCount, 3 * kRounds);
    platformtest::CCounterFile::Remove(counterPath);
}
#endif

} // namespace
