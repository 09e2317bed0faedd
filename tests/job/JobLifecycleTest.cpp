// Creating, opening, closing and destroying jobs through the loaded library.
#include "tests/job/JobFixture.h"

using namespace jobtest;
using testing::ElementsAre;

namespace
{

testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

using JobLifecycleTest = JobFixture;

TEST(JobFactoryTest, FactoriesHandOutObjectsWithOneReference)
{
    PFN_CREATE_IMOVAJOB pfnCreateJob = LoadCreateJob();
    PFN_CREATE_IMOVAPROTO pfnCreateProto = LoadCreateProto();
    ASSERT_TRUE(pfnCreateJob && pfnCreateProto);
    EXPECT_EQ(0, pfnCreateJob(nullptr));
    EXPECT_EQ(0, pfnCreateProto(nullptr));

    IMovaJob* pFirst = nullptr;
    IMovaJob* pSecond = nullptr;
    IMovaProto* pProto = nullptr;
    ASSERT_EQ(1, pfnCreateJob(&pFirst));
    ASSERT_EQ(1, pfnCreateJob(&pSecond));
    ASSERT_EQ(1, pfnCreateProto(&pProto));
    EXPECT_NE(pFirst, pSecond);
    EXPECT_STREQ("Mova Job V1.01", pFirst->GetVersion());
    EXPECT_STREQ("Mova Protocol V1.00", pProto->GetVersion());
    EXPECT_EQ(E_NOTIMPL, pFirst->Reserved(nullptr));

    void* pUnknown = nullptr;
    ASSERT_EQ(S_OK, pFirst->QueryInterface(IID_IUnknown, &pUnknown));
    EXPECT_NE(static_cast<void*>(pFirst), pUnknown);
    EXPECT_EQ(1u, static_cast<IUnknown*>(pUnknown)->Release());
    EXPECT_EQ(0u, pFirst->Release());
    EXPECT_EQ(0u, pSecond->Release());
    EXPECT_EQ(0u, pProto->Release());
}

TEST_F(JobLifecycleTest, ProtocolObjectComesWithTheFirstOpenAndOutlivesTheJob)
{
    IMovaProto* pProto = reinterpret_cast<IMovaProto*>(this);
    EXPECT_EQ(E_NOINTERFACE, m_pJob->GetProto(&pProto));
    EXPECT_EQ(reinterpret_cast<IMovaProto*>(this), pProto);
    EXPECT_EQ(-1, m_pJob->CloseJob()); // never opened

    ASSERT_EQ(0, Open());
    EXPECT_EQ(8, +m_params.aSlaves[0].wLenIn);
    ASSERT_EQ(S_OK, m_pJob->GetProto(&pProto));
    EXPECT_EQ(-1, Open()); // already open
    EXPECT_EQ(0, m_pJob->CloseJob());
    EXPECT_EQ(-1, m_pJob->CloseJob());

    EXPECT_EQ(0u, m_pJob->Release());
    m_pJob = nullptr;
    EXPECT_STREQ("Mova Protocol V1.00", pProto->GetVersion()); // still ours
    EXPECT_EQ(0u, pProto->Release());
}

TEST_F(JobLifecycleTest, OpenRefusals)
{
    EXPECT_EQ(-900, m_pJob->OpenJob(&m_protoParams, nullptr, 0));
    EXPECT_EQ(-900, m_pJob->OpenJob(nullptr, &m_params, 0)); // the protocol object's answer
    ASSERT_TRUE(korix::InjectError(1, korix::OpBoardRegister, 0x85, 2).bOk);
    EXPECT_EQ(-6, Open());
    EXPECT_EQ(-1, m_pJob->CloseJob()); // it stayed closed
    EXPECT_EQ(0, Open());
}

TEST_F(JobLifecycleTest, BatchesRunAfterAReopenAndAnOpenJobIsDestroyedClosed)
{
    CTestSink sink;
    SQuickBatch batch;
    EXPECT_EQ(-1, m_pJob->PutJob(1, &batch.record, 1)); // no protocol object yet
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    ASSERT_EQ(0, m_pJob->PutJob(1, &batch.record, 2));
    ASSERT_TRUE(sink.WaitFinished(1));
    EXPECT_EQ(0, +batch.record.lResult);
    EXPECT_EQ(-2, m_pJob->PutJob(1, nullptr, 3));

    ASSERT_EQ(0, m_pJob->CloseJob());
    EXPECT_EQ(0, sink.m_nRefs); // closing gave the sink back
    SQuickBatch waiting;
    ASSERT_EQ(0, m_pJob->PutJob(1, &waiting.record, 4)); // waits while closed
    ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
    ASSERT_EQ(0, Open());
    ASSERT_TRUE(sink.WaitFinished(2));
    EXPECT_THAT(sink.Finished(), ElementsAre(2u, 4u));

    // The last Release closes the open job: the worker ends, the sink comes back.
    EXPECT_EQ(0u, m_pJob->Release());
    m_pJob = nullptr;
    EXPECT_EQ(0, sink.m_nRefs);
}

TEST_F(JobLifecycleTest, BatchesPutWhileClosedAreDiscardedWithTheJob)
{
    ASSERT_EQ(0, Open());
    ASSERT_EQ(0, m_pJob->CloseJob());
    SQuickBatch waiting;
    ASSERT_EQ(0, m_pJob->PutJob(1, &waiting.record, 1));
    EXPECT_EQ(0u, m_pJob->Release());
    m_pJob = nullptr;
    EXPECT_EQ(77, +waiting.record.lResult); // never executed
}

} // namespace
