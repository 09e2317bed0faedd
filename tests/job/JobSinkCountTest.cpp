// The sink's calls as a host written from the call table counts them: GetVersion and AddRef
// when it is accepted, reports and walks, and one Release; never a call once the host has
// freed it. And a host lock that the sink's AddRef takes, held while the sink is dropped.
#include "tests/contract/CountingHost.h"
#include "tests/job/JobFixture.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace jobtest;

namespace
{

testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

using JobSinkCountTest = JobFixture;

// The records the busy host puts, reused: a cancelled record is only ever set to 0. They
// outlive the host's threads: batches still queued run until the job is closed.
using QuickBatches = SQuickBatch[4];

// Host threads that keep the job busy: one puts bursts of batches, one walks the queue.
class CBusyHost
{
public:
    CBusyHost(IMovaJob* pJob, QuickBatches& batches)
        : m_producer(
              [this, pJob, &batches]
              {
                  while (!m_bStop)
                  {
                      for (SQuickBatch& batch : batches)
                          pJob->PutJob(1, &batch.record, 1);
                      std::this_thread::yield();
                  }
              }),
          m_walker(
              [this, pJob]
              {
                  while (!m_bStop)
                  {
                      pJob->EnumJobQueue(0);
                      std::this_thread::yield();
                  }
              })
    {
    }
    ~CBusyHost()
    {
        m_bStop = true;
        m_producer.join();
        m_walker.join();
    }

private:
    std::atomic<bool> m_bStop{false};
    std::thread m_producer;
    std::thread m_walker;
};

// Waits until pfnDone answers true; false after ten seconds.
template <typename TDone> bool WaitUntil(TDone fnDone)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fnDone())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

TEST_F(JobSinkCountTest, SinkSeesExactlyTheCallTableWhereverItIsDropped)
{
    constexpr int kRounds = 60;
    std::vector<SSinkCounts> aCounts(kRounds);
    std::vector<SCountingSink*> apSinks;
    QuickBatches batches;
    ASSERT_EQ(0, Open());
    {
        CBusyHost host(m_pJob, batches);
        for (int nRound = 0; nRound < kRounds; ++nRound)
        {
            SSinkCounts& counts = aCounts[nRound];
            auto eDrop = static_cast<teDropInside>(nRound % 3);
            std::int32_t lRegistered = -99;
            SCountingSink* pSink = RegisterCountingSink(m_pJob, &counts, eDrop, &lRegistered);
            ASSERT_TRUE(pSink);
            apSinks.push_back(pSink);
            ASSERT_EQ(MOVAJOB_OK, lRegistered);
            if (eDrop == DropNever)
            {
                // Dropped from a host thread, often while a report or a walk runs; the host
                // frees the sink the moment the drop has returned.
                ASSERT_TRUE(WaitUntil([&] { return ReadCount(&counts.nOnPutJobFinished) > 0; }));
                ASSERT_EQ(MOVAJOB_OK, DropAndFreeCountingSink(pSink));
                EXPECT_EQ(1, ReadCount(&counts.nRelease)) << "round " << nRound;
            }
            else
            {
                // Dropped from inside a report or a walk: freed once the Release has come.
                ASSERT_TRUE(WaitUntil([&] { return IsCountingSinkReleased(pSink) != 0; }))
                    << "round " << nRound;
                FreeCountingSink(pSink);
                EXPECT_EQ(1, ReadCount(&counts.nDropsInside));
            }
        }
    }
    ASSERT_EQ(0, m_pJob->CloseJob());
    for (int nRound = 0; nRound < kRounds; ++nRound)
    {
        const SSinkCounts& counts = aCounts[nRound];
        EXPECT_EQ(1, ReadCount(&counts.nGetVersion)) << "round " << nRound;
        EXPECT_EQ(1, ReadCount(&counts.nAddRef)) << "round " << nRound;
        EXPECT_EQ(1, ReadCount(&counts.nRelease)) << "round " << nRound;
        EXPECT_EQ(0, ReadCount(&counts.nQueryInterface)) << "round " << nRound;
        EXPECT_EQ(0, ReadCount(&counts.nCallsAfterFree)) << "round " << nRound;
    }
    for (SCountingSink* pSink : apSinks)
        DisposeCountingSink(pSink);
}

// A sink whose AddRef takes a lock of the host's own.
class CLockingSink : public CTestSink
{
public:
    explicit CLockingSink(std::mutex& hostLock) : m_hostLock(hostLock) {}
    ULONG MOVA_CALL AddRef() override
    {
        std::lock_guard<std::mutex> lock(m_hostLock);
        return CTestSink::AddRef();
    }

private:
    std::mutex& m_hostLock;
};

// The host drops the sink while it holds the lock that the sink's AddRef takes. A job that
// took a reference around each report, under a lock that the drop needs, would wait forever
// here; the test ends the process then rather than hang.
TEST_F(JobSinkCountTest, DroppingTheSinkUnderTheLockOfItsAddRefDoesNotDeadlock)
{
    std::mutex hostLock;
    CLockingSink sink(hostLock);
    QuickBatches batches;
    ASSERT_EQ(0, Open());
    std::future<void> done =
        std::async(std::launch::async,
                   [&]
                   {
                       CBusyHost host(m_pJob, batches);
                       for (int nRound = 0; nRound < 50; ++nRound)
                       {
                           ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
                           sink.WaitFinished(static_cast<std::size_t>(nRound) + 1, 2000);
                           std::lock_guard<std::mutex> lock(hostLock);
                           // Reports go on meanwhile: one of them meets the lock held.
                           std::this_thread::sleep_for(std::chrono::milliseconds(2));
                           ASSERT_EQ(0, m_pJob->SetJobNotification(nullptr));
                       }
                   });
    if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready)
    {
        std::fprintf(stderr, "deadlock: the job waits for the host's lock and the host for the "
                             "job's\n");
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }
    done.get();
    ASSERT_EQ(0, m_pJob->CloseJob());
    EXPECT_EQ(0, sink.m_nRefs);
    EXPECT_EQ(0, sink.m_nCallsAfterRelease);
}

} // namespace
