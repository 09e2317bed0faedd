// Creating, opening, closing and destroying jobs through the loaded library.
#include "tests/job/JobFixture.h"

#include "tests/support/ChildProcess.h"

#include <atomic>
#include <memory>
#include <string>

#if defined(_WIN32)
#include "platform/win32/WindowsHeaders.h"
#endif

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

#if defined(_WIN32)
// Whether the thread with this id has ended but something still holds a handle to it: an ended
// thread whose handles are all closed cannot be opened any more. (A thread that runs may have
// been given the id anew.)
bool IsEndedThreadStillHeld(DWORD dwThreadId)
{
    HANDLE hThread = OpenThread(SYNCHRONIZE, FALSE, dwThreadId);
    if (hThread == nullptr)
        return false;
    bool bEnded = WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
    CloseHandle(hThread);
    return bEnded;
}
#endif

TEST_F(JobLifecycleTest, EachCloseLetsGoOfItsWorkerEntirely)
{
#if !defined(_WIN32)
    GTEST_SKIP() << "a worker's handle is a thing of Windows";
#else
    CTestSink sink;
    std::atomic<DWORD> dwWorker{0};
    sink.m_onFinished = [&](std::uint32_t) { dwWorker = GetCurrentThreadId(); };
    for (std::uint32_t nRound = 1; nRound <= 20; ++nRound)
    {
        ASSERT_EQ(0, Open());
        ASSERT_EQ(0, m_pJob->SetJobNotification(&sink));
        SQuickBatch batch;
        ASSERT_EQ(0, m_pJob->PutJob(1, &batch.record, nRound));
        ASSERT_TRUE(sink.WaitFinished(nRound));
        ASSERT_EQ(0, m_pJob->CloseJob());
        EXPECT_FALSE(IsEndedThreadStillHeld(dwWorker)) << "round " << nRound;
    }
#endif
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

namespace
{

// The slot and generation of this process's registration on board 1, or -1.
int OwnRegistration()
{
    auto pSnapshot = std::make_unique<korix::SBoardSnapshot>();
    if (!korix::ReadBoard(1, *pSnapshot).bOk)
        return -1;
    for (int nSlot = 0; nSlot < korix::kMaxRegistrations; ++nSlot)
    {
        const korix::SRegistration& registration = pSnapshot->sState.aRegistrations[nSlot];
        if (registration.byInUse != 0 && registration.nPid == testsupport::CurrentProcessId())
            return registration.byGeneration << 3 | nSlot;
    }
    return -1;
}

bool IsHeldByAnother(int nHandle)
{
    auto pSnapshot = std::make_unique<korix::SBoardSnapshot>();
    const korix::SRegistration& registration = korix::ReadBoard(1, *pSnapshot).bOk
                                                   ? pSnapshot->sState.aRegistrations[nHandle & 7]
                                                   : korix::SRegistration{};
    return registration.byInUse != 0 && (registration.byGeneration << 3 | (nHandle & 7)) == nHandle;
}

} // namespace

// A closed job kept while another host registers on the same board again and again, until it
// holds the very handle the closed job had: releasing the closed job must leave it alone.
TEST_F(JobLifecycleTest, ReleasingALongClosedJobLeavesOtherHostsRegistrationsAlone)
{
    ASSERT_EQ(0, Open());
    int nHandle = OwnRegistration();
    ASSERT_NE(-1, nHandle);
    ASSERT_EQ(0, m_pJob->CloseJob());

    testsupport::CChildProcess other({SIM_PEER, "1"});
    auto ask = [&](const std::string& order)
    {
        std::string answer;
        return other.WriteLine(order) && other.ReadLine(answer, 20000) ? answer : "<silent>";
    };
    bool bSameHandle = false;
    for (int nRound = 0; nRound < 40 && !bSameHandle; ++nRound)
    {
        ASSERT_EQ("ok", ask("register 3"));
        bSameHandle = IsHeldByAnother(nHandle);
        if (!bSameHandle)
        {
            ASSERT_EQ("ok", ask("close"));
        }
    }
    ASSERT_TRUE(bSameHandle) << "the other host never got the closed job's handle";
    EXPECT_EQ(0u, m_pJob->Release());
    m_pJob = nullptr;
    EXPECT_EQ(0, ask("read 3").rfind("error", 0) == 0) << "the other host's registration ended";
    EXPECT_EQ("ok", ask("close"));
}

} // namespace
