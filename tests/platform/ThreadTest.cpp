#include "platform/Thread.h"
#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
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

// How urgently the calling thread itself is scheduled, as ReadUrgency says.
bool ReadOwnUrgency(int& nUrgency)
{
#if defined(_WIN32)
    nUrgency = GetThreadPriority(GetCurrentThread());
    return nUrgency != THREAD_PRIORITY_ERROR_RETURN;
#else
    return ReadUrgency(platform::CurrentThreadId(), nUrgency);
#endif
}

// The handles (Windows) or file descriptors (Linux) this process holds; -1 when unknown.
long CountProcessHandles()
{
#if defined(_WIN32)
    DWORD dwCount = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &dwCount))
        return -1;
    if (dwCount != 0)
        return static_cast<long>(dwCount);
    // Wine answers 0. Its handles are small multiples of 4, the lowest free one given out
    // first: the valid ones among the first thousands are all there are.
    long nCount = 0;
    for (std::uintptr_t nValue = 4; nValue < 4 * 8192; nValue += 4)
    {
        DWORD dwFlags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(nValue), &dwFlags))
            ++nCount;
    }
    return nCount;
#else
    std::error_code error;
    long nCount = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
         it.increment(error))
        ++nCount;
    return error ? -1 : nCount;
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

#if defined(_WIN32)
// Holds the thread that made it still, again and again for a moment. Windows stops a thread
// only where it may be interrupted, so a stop asked for while the thread creates another often
// takes effect just after the creation: the new thread then runs before its starter has come
// back from creating it, which is otherwise rare under Wine.
class CStarterStaller
{
public:
    CStarterStaller()
    {
        if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                             &m_hStarter, THREAD_SUSPEND_RESUME, FALSE, 0))
            return;
        m_staller = std::thread(
            [this]
            {
                while (!m_bStop)
                {
                    if (SuspendThread(m_hStarter) != static_cast<DWORD>(-1))
                    {
                        std::this_thread::sleep_for(std::chrono::microseconds(500));
                        ResumeThread(m_hStarter);
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
            });
    }
    ~CStarterStaller()
    {
        m_bStop = true;
        if (m_staller.joinable())
            m_staller.join();
        if (m_hStarter != nullptr)
            CloseHandle(m_hStarter);
    }
    CStarterStaller(const CStarterStaller&) = delete;
    CStarterStaller& operator=(const CStarterStaller&) = delete;

private:
    HANDLE m_hStarter = nullptr;
    std::atomic<bool> m_bStop{false};
    std::thread m_staller;
};
#else
// A thread on Linux is known to its starter before it runs (CThread::Start waits for that).
class CStarterStaller
{
};
#endif

// As the job's worker does: the thread asks for its raised priority as the first thing it does,
// and must get it even when it runs before Start has returned to the thread that started it.
struct SSelfRaiser
{
    platform::CThread m_thread;
    std::atomic<bool> m_bRead{false};
    std::atomic<int> m_nUrgency{0};
};

std::uint32_t RaiseOwnPriority(void* pArg)
{
    SSelfRaiser& raiser = *static_cast<SSelfRaiser*>(pArg);
    raiser.m_thread.RaisePriorityAboveNormal();
    int nUrgency = 0;
    raiser.m_bRead = ReadOwnUrgency(nUrgency);
    raiser.m_nUrgency = nUrgency;
    return 0;
}

TEST(PlatformThread, AThreadThatRaisesItsOwnPriorityAtOnceRunsAtIt)
{
    // What raising gives here: a thread that surely runs when it is raised from outside. (On
    // Linux without the right to raise, the priority stays as it was.)
    SProbe probe;
    platform::CThread reference;
    ASSERT_TRUE(reference.Start(RunProbe, &probe));
    reference.RaisePriorityAboveNormal();
    int nRaised = 0;
    ASSERT_TRUE(ReadUrgency(reference.GetId(), nRaised));
    probe.m_go.Set();
    ASSERT_TRUE(reference.Join());

    // A new thread may run before its starter has come back from creating it: many tries make
    // that likely.
    constexpr int kThreads = 300;
    int nUnraised = 0;
    [[maybe_unused]] CStarterStaller staller; // nothing to do on Linux
    for (int i = 0; i < kThreads; ++i)
    {
        SSelfRaiser raiser;
        ASSERT_TRUE(raiser.m_thread.Start(RaiseOwnPriority, &raiser));
        ASSERT_TRUE(raiser.m_thread.Join());
        ASSERT_TRUE(raiser.m_bRead);
        if (raiser.m_nUrgency != nRaised)
            ++nUnraised;
    }
    EXPECT_EQ(nUnraised, 0) << "of " << kThreads << " threads, each should run at " << nRaised;
}

TEST(PlatformThread, AJoinedThreadLeavesNoHandleBehind)
{
    SProbe probe;
    {
        // The system may set up what it keeps for any thread with the first one.
        platform::CThread first;
        ASSERT_TRUE(first.Start(RunProbe, &probe));
        probe.m_go.Set();
        ASSERT_TRUE(first.Join());
    }
    long nBefore = CountProcessHandles();
    ASSERT_GE(nBefore, 0);
    platform::CThread thread; // started and joined again and again, as a job's worker is
    for (int i = 0; i < 50; ++i)
    {
        ASSERT_TRUE(thread.Start(RunProbe, &probe));
        probe.m_go.Set();
        ASSERT_TRUE(thread.Join());
    }
    EXPECT_EQ(CountProcessHandles(), nBefore);
}

} // namespace
