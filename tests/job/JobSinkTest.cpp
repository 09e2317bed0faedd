// The host's sink: who is accepted, when it is called and when it never is again.
#include "tests/job/JobFixture.h"

#include <atomic>
#include <future>
#include <thread>
#include <utility>

using namespace jobtest;
using testing::ElementsAre;

namespace
{

testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

using JobSinkTest = JobFixture;

TEST_F(JobSinkTest, OnlyTheExactVersionIsAccepted)
{
    for (const char* pszVersion : {"Mova Job V1.0", "mova job v1.01", "Mova Job V1.01 ", ""})
    {
        CTestSink wrong(pszVersion);
        EXPECT_EQ(-1, m_pJob->SetJobNotification(&wrong)) << pszVersion;
        EXPECT_EQ(0, wrong.m_nRefs);
    }
    CTestSink first;
    CTestSink second;
    EXPECT_EQ(0, m_pJob->SetJobNotification(nullptr)); // none registered: fine
    ASSERT_EQ(0, m_pJob->SetJobNotification(&first));
    EXPECT_EQ(1, first.m_nRefs);
    EXPECT_EQ(-1, m_pJob->SetJobNotification(&second));
    EXPECT_EQ(0, second.m_nRefs);
    EXPECT_EQ(0, m_pJob->SetJobNotification(nullptr));
    EXPECT_EQ(0, first.m_nRefs);
}

TEST_F(JobSinkTest, CloseFromInsideTheReportIsRefused)
{
    CTestSink sink;
    std::atomic<std::int32_t> lClose{1};
    sink.m_onFinished = [&](std::uint32_t) { lClose = m_pJob->CloseJob(); };
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    SQuickBatch batch;
    ASSERT_EQ(0, m_pJob->PutJob(1, &batch.record, 1));
    ASSERT_TRUE(sink.WaitFinished(1));
    ASSERT_EQ(0, m_pJob->CloseJob()); // the worker did not wait for itself
    EXPECT_EQ(MOVAJOB_CLOSE_IN_CALLBACK, lClose);
}

TEST_F(JobSinkTest, CloseFromInsideAnEnumerationIsRefused)
{
    CTestSink sink;
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    // Hold a batch in the board so that the next one waits to be offered.
    ASSERT_TRUE(korix::InjectDelay(1, korix::OpBoardReadInput, 1000, 1).bOk);
    SJobParam read = ReadRecord();
    SQuickBatch waiting;
    ASSERT_EQ(0, m_pJob->PutJob(1, &read, 1));
    ASSERT_TRUE(WaitUntilTaken(sink));
    ASSERT_EQ(0, m_pJob->PutJob(1, &waiting.record, 2));
    std::int32_t lClose = 1;
    sink.m_onEnum = [&](std::uint32_t)
    {
        lClose = m_pJob->CloseJob();
        return 0;
    };
    EXPECT_EQ(0, m_pJob->EnumJobQueue(0));
    EXPECT_EQ(MOVAJOB_CLOSE_IN_CALLBACK, lClose);
    ASSERT_TRUE(sink.WaitFinished(2));
    ASSERT_EQ(0, m_pJob->CloseJob());
}

TEST_F(JobSinkTest, HostMayLetGoOfTheJobInsideTheReport)
{
    CTestSink sink;
    std::atomic<ULONG> nLeft{99};
    IMovaJob* pJob = m_pJob;
    // The host lets go only once its own call has returned: the report may come before that.
    std::promise<void> putReturned;
    std::shared_future<void> putDone = putReturned.get_future().share();
    sink.m_onFinished = [&](std::uint32_t)
    {
        putDone.wait();
        nLeft = pJob->Release();
    };
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    m_pJob = nullptr; // the sink holds the host's last reference now
    SQuickBatch batch;
    ASSERT_EQ(0, pJob->PutJob(1, &batch.record, 1));
    putReturned.set_value();
    ASSERT_TRUE(sink.WaitFinished(1));
    // The job closes itself on its worker once the report has returned: it gives the sink back.
    EXPECT_TRUE(sink.WaitReleased());
    EXPECT_EQ(0u, nLeft.load());
    EXPECT_EQ(0, sink.m_nRefs);
    EXPECT_EQ(0, sink.m_nCallsAfterRelease);
}

TEST_F(JobSinkTest, HostMayLetGoOfTheJobInsideTheEnumeration)
{
    CTestSink sink;
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->CloseJob());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    SQuickBatch batches[2];
    ASSERT_EQ(0, m_pJob->PutJob(1, &batches[0].record, 1));
    ASSERT_EQ(0, m_pJob->PutJob(1, &batches[1].record, 2));
    IMovaJob* pJob = m_pJob;
    m_pJob = nullptr;
    ULONG nLeft = 99;
    sink.m_onEnum = [&](std::uint32_t)
    {
        nLeft = pJob->Release();
        return 0;
    };
    EXPECT_EQ(0, pJob->EnumJobQueue(0)); // the job is gone once this returns
    EXPECT_EQ(0u, nLeft);
    EXPECT_EQ(1u, sink.Offered().size()); // the walk stopped with the job
    EXPECT_EQ(0, sink.m_nRefs);
    EXPECT_EQ(77, +batches[0].record.lResult);
}

TEST_F(JobSinkTest, SinkMayDropItselfFromInsideTheReport)
{
    CTestSink sink;
    sink.m_onFinished = [&](std::uint32_t) { m_pJob->SetJobNotification(nullptr); };
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    SQuickBatch batches[2];
    ASSERT_EQ(0, m_pJob->PutJob(1, &batches[0].record, 1));
    ASSERT_TRUE(sink.WaitFinished(1));
    ASSERT_TRUE(sink.WaitReleased()); // the drop and the report's own reference
    ASSERT_EQ(0, m_pJob->PutJob(1, &batches[1].record, 2));
    // A new sink sees the next batch, which runs after the one nobody was told of.
    CTestSink next;
    ASSERT_EQ(0, m_pJob->SetJobNotification(&next));
    SQuickBatch last;
    ASSERT_EQ(0, m_pJob->PutJob(1, &last.record, 3));
    // Batch 2 may reach the new sink too, if it ran after the sink was registered.
    for (std::size_t n = 1; n <= 2 && (next.Finished().empty() || next.Finished().back() != 3); ++n)
        next.WaitFinished(n);
    EXPECT_EQ(3u, next.Finished().back());
    EXPECT_THAT(sink.Finished(), ElementsAre(1u));
    ASSERT_EQ(0, m_pJob->CloseJob());
    EXPECT_EQ(0, sink.m_nRefs);
}

TEST_F(JobSinkTest, DroppedSinkIsNeverCalledAgain)
{
    ASSERT_EQ(0, Open());
    for (int nRound = 0; nRound < 50; ++nRound)
    {
        CTestSink sink;
        SQuickBatch batch; // outlives every queued use: CloseJob ends the round
        ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
        std::atomic<bool> bStop{false};
        std::thread producer(
            [&]
            {
                while (!bStop)
                    if (m_pJob->PutJob(1, &batch.record, 1) != 0)
                        break;
            });
        sink.WaitFinished(1 + nRound % 3, 2000);
        // Dropping waits for a report in progress and gives the sink back before it
        // returns; then nothing calls the sink any more.
        ASSERT_EQ(0, m_pJob->SetJobNotification(nullptr));
        EXPECT_TRUE(sink.WaitReleased());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        bStop = true;
        producer.join();
        ASSERT_EQ(0, m_pJob->EnumJobQueue(0));
        // Whatever the worker still runs, it must not report to the dropped sink.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(0, sink.m_nCallsAfterRelease) << "round " << nRound;
        // The producer's batch may still be queued; keep it away from the next round's sink.
        ASSERT_EQ(0, m_pJob->CloseJob());
        ASSERT_EQ(0, Open());
    }
}

// Inside a report the host enumerates, and inside the enumeration lets go of the job: the
// job must outlive the report around it and die on the worker once the report has returned.
TEST_F(JobSinkTest, HostMayLetGoOfTheJobInsideAnEnumerationInsideTheReport)
{
    CTestSink sink;
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->CloseJob());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    SQuickBatch batches[2]; // the first is reported while the second still waits
    ASSERT_EQ(0, m_pJob->PutJob(1, &batches[0].record, 1));
    ASSERT_EQ(0, m_pJob->PutJob(1, &batches[1].record, 2));
    IMovaJob* pJob = m_pJob;
    m_pJob = nullptr;
    std::atomic<ULONG> nLeft{99};
    std::atomic<std::int32_t> lEnum{99};
    // The host lets go only once its own OpenJob has returned.
    std::promise<void> openReturned;
    std::shared_future<void> openDone = openReturned.get_future().share();
    sink.m_onFinished = [&](std::uint32_t)
    {
        openDone.wait();
        lEnum = pJob->EnumJobQueue(0);
    };
    sink.m_onEnum = [&](std::uint32_t)
    {
        nLeft = pJob->Release();
        return 0;
    };
    ASSERT_EQ(0, pJob->OpenJob(&m_protoParams, &m_params, 0));
    openReturned.set_value();
    ASSERT_TRUE(sink.WaitFinished(1));
    // The job, destroyed on its worker, gives the sink back; the waiting batch goes untold.
    ASSERT_TRUE(sink.WaitReleased());
    EXPECT_EQ(0, lEnum.load());
    EXPECT_EQ(0u, nLeft.load());
    EXPECT_THAT(sink.Finished(), ElementsAre(1u));
    EXPECT_THAT(sink.Offered(), ElementsAre(2u));
    EXPECT_EQ(77, +batches[1].record.lResult);
    EXPECT_EQ(0, sink.m_nCallsAfterRelease);
}

// The host lets go of the job on its own thread while a report runs: the release waits for
// the report to return and the sink is called only while the job holds a reference to it.
TEST_F(JobSinkTest, HostMayLetGoOfTheJobFromAnotherThreadWhileAReportRuns)
{
    CTestSink sink;
    std::promise<void> inReport;
    sink.m_onFinished = [&](std::uint32_t)
    {
        inReport.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    SQuickBatch batch;
    ASSERT_EQ(0, m_pJob->PutJob(1, &batch.record, 1));
    inReport.get_future().wait();
    EXPECT_EQ(0u, m_pJob->Release());
    m_pJob = nullptr;
    EXPECT_EQ(0, sink.m_nRefs); // nothing is left to give it back later
    EXPECT_EQ(0, sink.m_nCallsAfterRelease);
}

// A sink that holds the host's last reference to the job and lets go of it with its own last
// reference, as a host whose sink owns its job may.
class CJobOwningSink : public CTestSink
{
public:
    ULONG MOVA_CALL Release() override
    {
        ULONG nLeft = CTestSink::Release();
        if (nLeft == 0 && m_pOwnedJob)
        {
            std::exchange(m_pOwnedJob, nullptr)->Release();
            m_bLetGoOfJob = true;
        }
        return nLeft;
    }

    IMovaJob* m_pOwnedJob = nullptr;
    std::atomic<bool> m_bLetGoOfJob{false};
};

// Dropping the sink makes its Release, which lets go of the job: the job is destroyed, closed
// if it was open, once the drop has returned, and the drop touches nothing of it after that.
TEST_F(JobSinkTest, HostMayLetGoOfTheJobInTheSinksReleaseWhenTheSinkIsDropped)
{
    for (bool bOpen : {false, true})
    {
        IMovaJob* pJob = m_pJob ? m_pJob : NewJob();
        m_pJob = nullptr;
        ASSERT_TRUE(pJob);
        CJobOwningSink sink;
        ASSERT_EQ(0, pJob->SetJobNotification(&sink));
        if (bOpen)
        {
            ASSERT_EQ(0, pJob->OpenJob(&m_protoParams, &m_params, 0));
        }
        sink.m_pOwnedJob = pJob;
        EXPECT_EQ(0, pJob->SetJobNotification(nullptr)) << "open " << bOpen;
        EXPECT_TRUE(sink.m_bLetGoOfJob) << "open " << bOpen;
        EXPECT_EQ(0, sink.m_nRefs);
    }
    // The open job was closed with it: its board is free for another job.
    m_pJob = NewJob();
    ASSERT_TRUE(m_pJob);
    EXPECT_EQ(0, Open());
    EXPECT_EQ(0, m_pJob->CloseJob());
}

// A report handler that hands its result to another host thread and waits for it, while that
// thread calls into the job: none of these calls may wait for the report. (Dropping the sink
// from that thread does wait for the report, as CloseJob does: a handler must not wait for a
// thread that drops the sink.)
class JobReportHandOffTest : public JobFixture, public testing::WithParamInterface<std::string>
{
};

TEST_P(JobReportHandOffTest, CallFromTheThreadTheReportWaitsForDoesNotWait)
{
    const std::string& call = GetParam();
    CTestSink sink;
    SQuickBatch next;
    std::atomic<bool> bHandedOver{true};
    std::atomic<int> nReports{0};
    sink.m_onFinished = [&](std::uint32_t)
    {
        if (nReports++ != 0)
            return;
        std::packaged_task<std::int32_t()> task(
            [&]
            {
                if (call == "EnumJobQueue")
                    return m_pJob->EnumJobQueue(0);
                return m_pJob->PutJob(1, &next.record, 2);
            });
        std::future<std::int32_t> result = task.get_future();
        std::thread other(std::move(task));
        // Bounded, so that a job that does wait for us fails the test instead of hanging it.
        bHandedOver = result.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        other.join();
        EXPECT_EQ(0, result.get());
    };
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    SQuickBatch first;
    ASSERT_EQ(0, m_pJob->PutJob(1, &first.record, 1));
    ASSERT_TRUE(sink.WaitFinished(1));
    if (call == "PutJob")
    {
        ASSERT_TRUE(sink.WaitFinished(2));
    }
    ASSERT_EQ(0, m_pJob->CloseJob());
    EXPECT_TRUE(sink.WaitReleased());
    EXPECT_TRUE(bHandedOver) << call << " waited for the report in progress";
    EXPECT_EQ(0, sink.m_nCallsAfterRelease);
}

INSTANTIATE_TEST_SUITE_P(Calls, JobReportHandOffTest, testing::Values("EnumJobQueue", "PutJob"));

} // namespace
