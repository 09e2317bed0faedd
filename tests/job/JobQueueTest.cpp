// Order of execution, enumeration and withdrawal, and what CloseJob does to waiting batches.
#include "tests/job/JobFixture.h"

#include <chrono>
#include <thread>

using namespace jobtest;
using testing::ElementsAre;
using testing::IsEmpty;

namespace
{

testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

class JobQueueTest : public JobFixture
{
protected:
    // Opened once so that the protocol object exists, then closed: batches put now wait.
    void OpenAndClose()
    {
        ASSERT_EQ(0, Open());
        ASSERT_EQ(0, m_pJob->CloseJob());
        ASSERT_EQ(0, m_pJob->SetJobNotification(&m_sink));
    }

    CTestSink m_sink;
    SQuickBatch m_batches[3];
};

TEST_F(JobQueueTest, EnumerationOffersNewestFirstAndWithdrawnBatchesNeverRun)
{
    OpenAndClose();
    for (std::uint32_t i = 0; i < 3; ++i)
        ASSERT_EQ(0, m_pJob->PutJob(1, &m_batches[i].record, i + 1));
    m_sink.m_onEnum = [](std::uint32_t dwContext) { return dwContext == 2 ? 1 : 0; };
    EXPECT_EQ(0, m_pJob->EnumJobQueue(42));
    EXPECT_THAT(m_sink.Offered(), ElementsAre(3u, 2u, 1u));

    m_sink.m_onEnum = nullptr;
    EXPECT_EQ(0, m_pJob->EnumJobQueue(0));
    EXPECT_THAT(m_sink.Offered(), ElementsAre(3u, 2u, 1u, 3u, 1u));

    ASSERT_EQ(0, Open());
    ASSERT_TRUE(m_sink.WaitFinished(2));
    EXPECT_THAT(m_sink.Finished(), ElementsAre(1u, 3u));
    EXPECT_EQ(77, +m_batches[1].record.lResult); // withdrawn: untouched
}

TEST_F(JobQueueTest, OnlyExactlyOneWithdraws)
{
    OpenAndClose();
    for (std::uint32_t i = 0; i < 3; ++i)
        ASSERT_EQ(0, m_pJob->PutJob(1, &m_batches[i].record, i + 1));
    m_sink.m_onEnum = [](std::uint32_t dwContext) -> std::int32_t {
        return dwContext == 1 ? 2 : dwContext == 2 ? -1 : 0;
    };
    EXPECT_EQ(0, m_pJob->EnumJobQueue(0));
    m_sink.m_onEnum = [](std::uint32_t) { return 1; };
    EXPECT_EQ(0, m_pJob->EnumJobQueue(0));
    EXPECT_THAT(m_sink.Offered(), ElementsAre(3u, 2u, 1u, 3u, 2u, 1u));
    EXPECT_EQ(0, m_pJob->EnumJobQueue(0)); // empty now
    EXPECT_EQ(6u, m_sink.Offered().size());

    // The emptied queue works as before.
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->PutJob(1, &m_batches[0].record, 9));
    ASSERT_TRUE(m_sink.WaitFinished(1));
    EXPECT_THAT(m_sink.Finished(), ElementsAre(9u));
}

TEST_F(JobQueueTest, WithoutASinkEnumerationKeepsEveryBatch)
{
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->CloseJob());
    for (std::uint32_t i = 0; i < 3; ++i)
        ASSERT_EQ(0, m_pJob->PutJob(1, &m_batches[i].record, i + 1));
    EXPECT_EQ(0, m_pJob->EnumJobQueue(0));
    ASSERT_EQ(0, m_pJob->SetJobNotification(&m_sink));
    ASSERT_EQ(0, Open());
    ASSERT_TRUE(m_sink.WaitFinished(3));
    EXPECT_THAT(m_sink.Finished(), ElementsAre(1u, 2u, 3u));
}

TEST_F(JobQueueTest, CloseDropsWaitingBatchesAndFinishesTheOneInHand)
{
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&m_sink));
    // The read stays inside the board long enough for the other batches to queue behind it.
    ASSERT_TRUE(korix::InjectDelay(1, korix::OpBoardReadInput, 1500, 1).bOk);
    SJobParam read = ReadRecord();
    ASSERT_EQ(0, m_pJob->PutJob(1, &read, 100));
    ASSERT_TRUE(WaitUntilTaken(m_sink));
    ASSERT_EQ(0, m_pJob->PutJob(1, &m_batches[0].record, 1));
    ASSERT_EQ(0, m_pJob->PutJob(1, &m_batches[1].record, 2));
    ASSERT_EQ(0, m_pJob->CloseJob());
    EXPECT_THAT(m_sink.Finished(), ElementsAre(100u));
    EXPECT_EQ(0, +read.lResult);
    EXPECT_EQ(77, +m_batches[0].record.lResult);
    EXPECT_EQ(77, +m_batches[1].record.lResult);
}

TEST_F(JobQueueTest, FirstRecordDecidesHowABatchRuns)
{
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&m_sink));
    SJobParam mixed[4] = {};
    mixed[0].dwCommand = JobTestConn;
    mixed[0].tsConSpec.byL2Addr = 4;
    mixed[1].dwCommand = JobRead; // unknown in a per-record batch
    mixed[2].dwCommand = JobCanceled;
    mixed[3].dwCommand = 4;
    for (SJobParam& record : mixed)
        record.lResult = 55;
    // Built before anything runs: the connection test writes the slave table they copy from.
    SJobParam readThenWrite[2] = {ReadRecord(), ReadRecord()};
    readThenWrite[1].dwCommand = JobWrite;
    ASSERT_EQ(0, m_pJob->PutJob(4, mixed, 1));
    ASSERT_EQ(0, m_pJob->PutJob(2, readThenWrite, 2));
    ASSERT_TRUE(m_sink.WaitFinished(2));
    EXPECT_EQ(0, +mixed[0].lResult);
    EXPECT_EQ(55, +mixed[1].lResult);
    EXPECT_EQ(0, +mixed[2].lResult);
    EXPECT_EQ(55, +mixed[3].lResult);
    EXPECT_EQ(0, +readThenWrite[1].lResult); // read, like the first
}

} // namespace
