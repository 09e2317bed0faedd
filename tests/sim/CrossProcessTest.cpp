// Processes that load the simulator see one board: what one writes the other reads; a process
// killed while it holds the board's lock does not wedge it; registrations of ended processes
// are reclaimed.
#include "tests/sim/SimTestSupport.h"

#include "tests/support/ChildProcess.h"

#include <gmock/gmock.h>

#include <csignal>

namespace simtest
{
namespace
{

using ::testing::Each;
using ::testing::ElementsAre;

class CPeer : public testsupport::CChildProcess
{
public:
    explicit CPeer(std::uint8_t byBoard)
        : testsupport::CChildProcess({SIM_PEER, std::to_string(byBoard)})
    {
    }

    std::string Ask(const std::string& strOrder)
    {
        std::string strLine;
        if (!WriteLine(strOrder) || !ReadLine(strLine, kReplyTimeoutMs))
            return "<silent>";
        return strLine;
    }

    int Finish()
    {
        WriteLine("quit");
        return Wait(kReplyTimeoutMs);
    }

    // Kills the peer and waits until it is gone for good.
    void KillHard()
    {
        Kill(SIGKILL);
        EXPECT_EQ(128 + SIGKILL, Wait(kReplyTimeoutMs));
    }
};

// korixsim as a third process, for a board call that must not hang.
std::unique_ptr<testsupport::CChildProcess> StartKorixsim(std::uint8_t byBoard,
                                                          const std::string& strVerb)
{
    return std::make_unique<testsupport::CChildProcess>(
        std::vector<std::string>{KORIXSIM, strVerb, "--board", std::to_string(byBoard)});
}

class SimCrossProcessTest : public CBoardTest
{
protected:
    // This process has the board open from the start: on Windows a board lives only while some
    // process has it open, and the tests look at what ended processes left on it.
    void SetUp() override { Snapshot(); }
};

TEST_F(SimCrossProcessTest, OutputsWrittenByOneProcessAreTheOthersInputs)
{
    CPeer peer(m_byBoard);
    ASSERT_EQ("ok", peer.Ask("register 3"));
    ASSERT_EQ("ok", peer.Ask("write 3 0102030405060708"));
    SHandle handle = Register({3});
    EXPECT_THAT(DataOf(Call(BoardReadInput, MakeRequest(handle, 3))),
                ElementsAre(1, 2, 3, 4, 5, 6, 7, 8));

    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(handle, 3, {0xA1, 0xB2, 0xC3})).wError);
    EXPECT_EQ("A1B2C30405060708", peer.Ask("read 3"));
    EXPECT_EQ(0, peer.Finish());
}

TEST_F(SimCrossProcessTest, ProcessKilledWhileHoldingTheLockDoesNotWedgeTheBoard)
{
    ASSERT_TRUE(korix::SetMasterMode(m_byBoard, 0x80).bOk);
    CPeer holder(m_byBoard);
    ASSERT_EQ("held", holder.Ask("hold"));

    auto pWaiting = StartKorixsim(m_byBoard, "show");
    ASSERT_TRUE(pWaiting->IsRunning());
    EXPECT_EQ(-1, pWaiting->Wait(kQuietMs)) << "show ran while another process held the lock";

    holder.KillHard();
    EXPECT_EQ(0, pWaiting->Wait(kReplyTimeoutMs)) << "the board stayed locked";
    std::string strShown = pWaiting->ReadAll(kReplyTimeoutMs);
    EXPECT_THAT(strShown, ::testing::HasSubstr("Master mode: 0x80"))
        << "a state that still adds up is kept";
}

TEST_F(SimCrossProcessTest, AHolderThatNeverLetsGoMakesCallsFailInsteadOfHanging)
{
    SHandle handle = Register({3});
    CPeer holder(m_byBoard); // alive and holding, as a stopped or stuck process would
    ASSERT_EQ("held", holder.Ask("hold"));

    // The calls give up once the lock's wait has run out; a hang here ends the test by its
    // time limit.
    EXPECT_EQ(korix::BoardErrUnavailable, Call(BoardReadInput, MakeRequest(handle, 3)).wError);

    holder.KillHard();
    EXPECT_EQ(0, Call(BoardReadInput, MakeRequest(handle, 3)).wError)
        << "the board serves again once the holder is gone";
}

TEST_F(SimCrossProcessTest, StateBrokenByAKilledHolderStartsAfresh)
{
    ASSERT_TRUE(korix::SetMasterMode(m_byBoard, 0x40).bOk);
    CPeer holder(m_byBoard);
    ASSERT_EQ("held", holder.Ask("hold-broken"));
    holder.KillHard();

    auto pSnapshot = Snapshot();
    EXPECT_EQ(0xC0, pSnapshot->sState.sPlant.byMasterMode);
    EXPECT_EQ(8, pSnapshot->sState.sPlant.aSlaves[3].byInputLength);
}

TEST_F(SimCrossProcessTest, RegistrationsOfEndedProcessesAreReclaimed)
{
    CPeer watched(m_byBoard);
    CPeer unwatched(m_byBoard);
    ASSERT_EQ("ok", watched.Ask("register 3"));
    ASSERT_EQ("ok", watched.Ask("write 3 1111111111111111"));
    ASSERT_EQ("ok", watched.Ask("watchdog 255"));
    ASSERT_EQ("ok", unwatched.Ask("register 5"));
    ASSERT_EQ("ok", unwatched.Ask("write 5 2222"));
    watched.KillHard();
    unwatched.KillHard();

    auto pBefore = Snapshot();
    int nLive = 0;
    for (int i = 0; i < korix::kMaxRegistrations; ++i)
        nLive += pBefore->abOwnerAlive[i];
    EXPECT_EQ(0, nLive) << "show tells ended owners apart";

    Register({}); // registering reclaims
    auto pAfter = Snapshot();
    int nInUse = 0;
    for (const korix::SRegistration& registration : pAfter->sState.aRegistrations)
        nInUse += registration.byInUse;
    EXPECT_EQ(1, nInUse);
    EXPECT_THAT(Outputs(3), Each(0)) << "an armed watchdog of an ended owner fails safe";
    std::vector<std::uint8_t> abyKept = Outputs(5);
    EXPECT_THAT(std::vector<std::uint8_t>(abyKept.begin(), abyKept.begin() + 2),
                ElementsAre(0x22, 0x22))
        << "without a watchdog the outputs stay";
}

TEST_F(SimCrossProcessTest, LiveRegistrationsOfOtherProcessesStay)
{
    CPeer peer(m_byBoard);
    ASSERT_EQ("ok", peer.Ask("register 3"));
    Register({});
    EXPECT_EQ("ok", peer.Ask("write 3 01"));
    EXPECT_EQ(0, peer.Finish());
}

// A handle kept after its close names at most its own process's registrations: once another
// process has registered in the same slot until the generation came round to it again, a
// close with the stale handle must still leave that registration alone.
TEST_F(SimCrossProcessTest, StaleHandleNeverEndsAnotherProcesssRegistration)
{
    SHandle stale = Register({});
    ASSERT_EQ(korix::BoardOk, Call(BoardClose, MakeRequest(stale)).wError);
    int nSlot = stale.byHandleExt & 7;
    CPeer peer(m_byBoard);
    bool bSameHandle = false;
    for (int nRound = 0; nRound < 40 && !bSameHandle; ++nRound)
    {
        ASSERT_EQ("ok", peer.Ask("register 3"));
        korix::SRegistration taken = Snapshot()->sState.aRegistrations[nSlot];
        bSameHandle = taken.byInUse != 0 && (taken.byGeneration << 3 | nSlot) == stale.byHandleExt;
        if (!bSameHandle)
        {
            ASSERT_EQ("ok", peer.Ask("close"));
        }
    }
    ASSERT_TRUE(bSameHandle) << "the peer never got the stale handle's slot and generation";
    EXPECT_EQ(korix::BoardOk,
              Call(BoardClose, MakeRequest(stale)).wError); // ours is closed: no error
    EXPECT_EQ(korix::BoardErrUnknownHandle, Call(BoardReadInput, MakeRequest(stale, 3)).wError);
    EXPECT_EQ("ok", peer.Ask("write 3 01")); // the peer's registration lives on
    EXPECT_EQ(0, peer.Finish());
}

} // namespace
} // namespace simtest
