#include "platform/Thread.h"
#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#if defined(_WIN32)
#include "platform/win32/WindowsHeaders.h"
#else
#include <sys/resource.h>
#endif

namespace
{

// How urgently the system schedules a thread of this process, larger for more urgent; false
// when it cannot be read. Linux: the thread's nice value, negated. Windows: its priority.
bool ReadUrgency(std::uint32_t dwThreadId, int& nUrgency)
{
#if defined(_WIN32)
    HANDLE hThread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, dwThreadId);
    if (hThread == nullptr)
        return false;
    int nPriority = GetThreadPriority(hThread);
    CloseHandle(hThread);
    nUrgency = nPriority;
    return nPriority != THREAD_PRIORITY_ERROR_RETURN;
#else
    errno = 0;
    int nNice = getpriority(PRIO_PROCESS, dwThreadId);
    nUrgency = -nNice;
    return errno == 0;
#endif
}

struct SProbe
{
    platform::CAutoResetEvent m_go;
    std::atomic<std::uint32_t> m_dwSeenId{0};
    std::atomic<int> m_nRuns{0};
};

std::uint32_t RunProbe(void* pArg)
{
    SProbe& probe = *static_cast<SProbe*>(pArg);
    probe.m_dwSeenId = platform::CurrentThreadId();
    probe.m_go.Wait(platform::kWaitInfinite);
    ++probe.m_nRuns;
    return 0;
}

TEST(PlatformThread, RunsWithItsArgumentAndIsKnownByIdAtOnce)
{
    SProbe probe;
    platform::CThread thread;
    EXPECT_FALSE(thread.Join());
    EXPECT_EQ(thread.GetId(), 0u);

    ASSERT_TRUE(thread.Start(RunProbe, &probe));
    std::uint32_t dwId = thread.GetId();
    EXPECT_NE(dwId, 0u);
    EXPECT_NE(dwId, platform::CurrentThreadId());
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_FALSE(thread.Start(RunProbe, &probe)) << "a second thread while one runs";

    probe.m_go.Set();
    EXPECT_TRUE(thread.Join());
    EXPECT_EQ(probe.m_dwSeenId.load(), dwId);
    EXPECT_EQ(probe.m_nRuns.load(), 1);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.GetId(), 0u);

    // The object serves again for a new thread.
    ASSERT_TRUE(thread.Start(RunProbe, &probe));
    probe.m_go.Set();
    EXPECT_TRUE(thread.Join());
    EXPECT_EQ(probe.m_nRuns.load(), 2);
}

TEST(PlatformThread, DestructionWaitsForTheThread)
{
    SProbe probe;
    {
        platform::CThread thread;
        ASSERT_TRUE(thread.Start(RunProbe, &probe));
        probe.m_go.Set();
    }
    EXPECT_EQ(probe.m_nRuns.load(), 1);
}

TEST(PlatformThread, RaisingThePriorityNeverLowersIt)
{
    SProbe probe;
    platform::CThread thread;
    ASSERT_TRUE(thread.Start(RunProbe, &probe));
    int nBefore = 0;
    ASSERT_TRUE(ReadUrgency(thread.GetId(), nBefore));
    thread.RaisePriorityAboveNormal();
    int nAfter = 0;
    ASSERT_TRUE(ReadUrgency(thread.GetId(), nAfter));
    // Without the right to raise it, the thread keeps its priority.
    EXPECT_GE(nAfter, nBefore);
    // The other threads of the process keep theirs.
    int nOurs = 0;
    ASSERT_TRUE(ReadUrgency(platform::CurrentThreadId(), nOurs));
    EXPECT_EQ(nOurs, nBefore);
    probe.m_go.Set();
    EXPECT_TRUE(thread.Join());
}

} // namespace
