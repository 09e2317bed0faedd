// Host threads putting batches while another enumerates and withdraws and the job is closed and
// reopened: every batch ends exactly once, as reported, withdrawn or dropped by a close.
#include "tests/job/JobFixture.h"

#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <thread>

using namespace jobtest;

namespace
{

testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

constexpr int kProducers = 3;
constexpr int kBatchesPerProducer = 300;
constexpr int kBatches = kProducers * kBatchesPerProducer;
constexpr int kCloseRounds = 15;

using JobStressTest = JobFixture;

TEST_F(JobStressTest, EveryBatchEndsExactlyOnce)
{
    // One more batch than the producers put: the last, put after every round, must be reported.
    std::vector<SQuickBatch> batches(kBatches + 1);
    std::vector<std::atomic<int>> reported(kBatches + 1);
    std::vector<std::atomic<int>> withdrawn(kBatches + 1);
    std::vector<std::atomic<int>> putEpoch(kBatches + 1);
    std::atomic<int> nEpoch{0};
    std::atomic<int> nLateReports{0};
    // Held by each put and by a close with the change of epoch, so that every batch is known to
    // belong to the epoch it was put in. A plain mutex: with std::shared_mutex (winpthreads'
    // rwlock in the MinGW build) this test counted late reports under Wine that no path of the
    // job explains. Puts take turns among themselves, but still race the worker, the
    // enumeration and the closes.
    std::mutex epochLock;

    CTestSink sink;
    sink.m_onFinished = [&](std::uint32_t dwContext)
    {
        ++reported[dwContext];
        if (putEpoch[dwContext] != nEpoch)
            ++nLateReports; // it outlived the close of its epoch
    };
    sink.m_onEnum = [&](std::uint32_t dwContext)
    {
        if (dwContext % 5 != 0)
            return 0;
        ++withdrawn[dwContext];
        return 1;
    };
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));

    std::atomic<int> nProducersDone{0};
    std::vector<std::thread> threads;
    for (int nProducer = 0; nProducer < kProducers; ++nProducer)
        threads.emplace_back(
            [&, nProducer]
            {
                for (int i = 0; i < kBatchesPerProducer; ++i)
                {
                    int nContext = nProducer * kBatchesPerProducer + i;
                    std::lock_guard<std::mutex> lock(epochLock);
                    putEpoch[nContext] = nEpoch.load();
                    EXPECT_EQ(0, m_pJob->PutJob(1, &batches[nContext].record,
                                                static_cast<std::uint32_t>(nContext)));
                }
                ++nProducersDone;
            });
    threads.emplace_back(
        [&]
        {
            while (nProducersDone < kProducers)
                m_pJob->EnumJobQueue(0);
        });

    for (int nRound = 0; nRound < kCloseRounds; ++nRound)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        std::lock_guard<std::mutex> lock(epochLock);
        ASSERT_EQ(0, m_pJob->CloseJob());
        ++nEpoch;
        ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
        ASSERT_EQ(0, Open());
    }
    for (std::thread& thread : threads)
        thread.join();
    // On a starved machine the closes and withdrawals may have taken every batch the producers
    // put; whatever the rounds did, the job still executes and reports after them.
    putEpoch[kBatches] = nEpoch.load();
    ASSERT_EQ(0, m_pJob->PutJob(1, &batches[kBatches].record, kBatches));

    // Everything put in the last epoch must come out, one way or the other.
    auto isSettled = [&](int nContext)
    { return putEpoch[nContext] != nEpoch || reported[nContext] + withdrawn[nContext] > 0; };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int nContext = 0; nContext <= kBatches; ++nContext)
        while (!isSettled(nContext) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));

    int nReported = 0;
    int nWithdrawn = 0;
    for (int nContext = 0; nContext <= kBatches; ++nContext)
    {
        ASSERT_LE(reported[nContext] + withdrawn[nContext], 1) << "batch " << nContext;
        ASSERT_TRUE(isSettled(nContext)) << "batch " << nContext << " was lost";
        nReported += reported[nContext];
        nWithdrawn += withdrawn[nContext];
    }
    EXPECT_EQ(0, nLateReports);
    EXPECT_EQ(1, reported[kBatches]) << "the batch put after the rounds was not reported";
    RecordProperty("reported", nReported);
    RecordProperty("withdrawn", nWithdrawn);
    ASSERT_EQ(0, m_pJob->CloseJob());
}

// Host threads closing, re-registering the sink and reopening one job at once, while others put
// batches: no crash, no batch reported twice, and none reported after a close that began after
// it was put has returned (that close dropped it, or finished it before returning).
TEST_F(JobStressTest, ConcurrentClosersAndOpeners)
{
    constexpr int kRecords = 20000;
    constexpr auto kRunTime = std::chrono::milliseconds(1500);
    // One record more than the putters use: the last is put after the rounds, and reported.
    std::vector<SQuickBatch> batches(kRecords + 1);
    std::vector<std::atomic<int>> reported(kRecords + 1);
    // Read after PutJob returned: a close counted beyond it began after the batch was queued.
    // Until then the batch is not judged (its report may come first).
    std::vector<std::atomic<int>> closesStartedAtPut(kRecords + 1);
    for (std::atomic<int>& nStarted : closesStartedAtPut)
        nStarted = std::numeric_limits<int>::max();
    std::atomic<int> nClosesStarted{0};
    std::atomic<int> nClosesDone{0};
    std::atomic<int> nLateReports{0};
    CTestSink sink;
    sink.m_onFinished = [&](std::uint32_t dwContext)
    {
        ++reported[dwContext];
        if (nClosesDone > closesStartedAtPut[dwContext])
            ++nLateReports;
    };
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));

    std::atomic<int> nNext{0};
    int nPut = 0;
    for (int nClosers : {2, 4})
    {
        auto stopAt = std::chrono::steady_clock::now() + kRunTime;
        std::vector<std::thread> threads;
        for (int nProducer = 0; nProducer < 2; ++nProducer)
            threads.emplace_back(
                [&]
                {
                    while (std::chrono::steady_clock::now() < stopAt)
                    {
                        int nContext = nNext++;
                        if (nContext >= kRecords)
                            return;
                        EXPECT_EQ(0, m_pJob->PutJob(1, &batches[nContext].record,
                                                    static_cast<std::uint32_t>(nContext)));
                        closesStartedAtPut[nContext] = nClosesStarted.load();
                    }
                });
        for (int nCloser = 0; nCloser < nClosers; ++nCloser)
            threads.emplace_back(
                [&]
                {
                    while (std::chrono::steady_clock::now() < stopAt)
                    {
                        ++nClosesStarted;
                        std::int32_t lClose = m_pJob->CloseJob();
                        EXPECT_TRUE(lClose == 0 || lClose == -1) << lClose;
                        if (lClose == 0)
                            ++nClosesDone;
                        std::int32_t lSink = m_pJob->SetJobNotification(&sink);
                        EXPECT_TRUE(lSink == 0 || lSink == -1) << lSink;
                        std::int32_t lOpen = Open();
                        EXPECT_TRUE(lOpen == 0 || lOpen == -1) << lOpen;
                    }
                });
        for (std::thread& thread : threads)
            thread.join();
        nPut = std::min(nNext.load(), kRecords);
    }
    // Every close was followed by its thread's SetJobNotification and OpenJob: the job is open,
    // with the sink, and still executes and reports, however the rounds fell.
    ASSERT_EQ(0, m_pJob->PutJob(1, &batches[kRecords].record, kRecords));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (reported[kRecords] == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(1, reported[kRecords]) << "the batch put after the rounds was not reported";
    ++nClosesStarted;
    m_pJob->CloseJob();
    EXPECT_TRUE(sink.WaitReleased());

    int nReported = 0;
    for (int nContext = 0; nContext < nPut; ++nContext)
    {
        ASSERT_LE(reported[nContext], 1) << "batch " << nContext;
        nReported += reported[nContext];
    }
    EXPECT_EQ(0, nLateReports);
    EXPECT_EQ(0, sink.m_nCallsAfterRelease);
    RecordProperty("put", nPut);
    RecordProperty("reported", nReported);
}

} // namespace
