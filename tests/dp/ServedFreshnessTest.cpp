// A board served by a master that stalls: the master and its link to the board in this
// process, on a scripted line in virtual time whose clock is also the board's tick count (it
// starts just before the tick count wraps, so every test crosses the wrap), and the test as
// host through the eight board operations. What a host is shown of a served board must be no
// older than the bound its master promised: past it, a slave reads as not exchanging and a
// master whose heartbeat is overdue as offline, until the master runs again.
#include "tests/dp/ScriptedSlave.h"
#include "tests/support/PrivateBoard.h"

#include "board/BoardOperations.h"
#include "dp/master/BoardLink.h"
#include "dp/master/DpMaster.h"
#include "sim/BoardLock.h"
#include "sim/ServedBoard.h"
#include "sim/SimControl.h"

#include "platform/Clock.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace dptest
{
namespace
{

using testing::Each;

const testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

constexpr std::uint32_t kBaudRate = 500000;
constexpr std::uint8_t kMasterAddress = 2;
constexpr std::uint64_t kMs = 1000000;
constexpr std::uint16_t kIdent = 0x0A35;
constexpr std::uint8_t kFirst = 3;   // 4 inputs, 2 outputs
constexpr std::uint8_t kSecond = 4;  // 2 inputs, 2 outputs
constexpr std::uint8_t kRefused = 6; // says another ident: configuration fault

// The line's virtual time as the tick count too, 300 ms before the wrap at its start.
const platform::SClockSource* g_pLineClock = nullptr;
constexpr std::uint32_t kTickBase = 0u - 1300u; // the line starts at 1000 ms

std::uint64_t ReadVirtualNs()
{
    return g_pLineClock->pfnMonotonicNs();
}

std::uint32_t ReadVirtualTicks()
{
    return kTickBase + static_cast<std::uint32_t>(ReadVirtualNs() / kMs);
}

const platform::SClockSource kVirtualClock{ReadVirtualTicks, nullptr, ReadVirtualNs};

int g_nNextBoard = 1;

class ServedFreshnessTest : public testing::Test
{
protected:
    ServedFreshnessTest() : m_line(kBaudRate), m_byBoard(static_cast<std::uint8_t>(g_nNextBoard++))
    {
        dp::DefaultBusParameters(kBaudRate, m_config.bus);
        m_config.byMasterAddress = kMasterAddress;
        m_config.dwResponseAllowanceUs = 100;
        m_config.dwRestartIntervalMs = 20;
        m_config.dwGlobalControlIntervalMs = 0;
        m_line.SetResponder(
            [this](const dp::STelegram& request, std::uint64_t qwEndNs)
            {
                for (auto& pSlave : m_slaves)
                    pSlave->Respond(request, qwEndNs);
            });
        g_pLineClock = platform::SetClockSource(&kVirtualClock);
    }

    ~ServedFreshnessTest() override
    {
        m_pLink.reset(); // while the virtual clock still runs
        platform::SetClockSource(g_pLineClock);
    }

    CScriptedSlave& AddSlave(std::uint8_t byAddress, std::uint8_t byInputs,
                             std::uint16_t wSaysIdent = kIdent, bool bOnLine = true)
    {
        dp::SSlaveConfig slave;
        slave.byAddress = byAddress;
        slave.wIdent = kIdent;
        slave.byInputLength = byInputs;
        slave.byOutputLength = 2;
        slave.abyConfig = {static_cast<std::uint8_t>(0x10 | (byInputs - 1)), 0x21};
        m_config.slaves.push_back(slave);
        m_slaves.push_back(
            std::make_unique<CScriptedSlave>(m_line, byAddress, wSaysIdent, byInputs, 2));
        if (!bOnLine)
        {
            m_absent.push_back(std::move(m_slaves.back()));
            m_slaves.pop_back();
            return *m_absent.back();
        }
        return *m_slaves.back();
    }

    void StartServing(std::uint32_t dwPauseUs = 1000)
    {
        m_dwPauseUs = dwPauseUs;
        m_pMaster = std::make_unique<dp::CDpMaster>(m_line, m_config);
        m_pLink = std::make_unique<dp::CBoardLink>(m_byBoard, *m_pMaster, "freshness test");
        m_pLink->SetCyclePauseUs(dwPauseUs);
        std::string strError;
        ASSERT_TRUE(m_pLink->Attach(strError)) << strError;
        SBoardRequest registration{};
        registration.byHandle = m_byBoard;
        registration.byHandleExt = kBoardRegistrationTag;
        registration.byLength = kBoardSlaveCount;
        registration.abyData[kFirst] = kBoardModeUsed;
        ASSERT_EQ(BoardRegister(&registration), 0);
        m_host = registration;
    }

    // One turn of korix-dpmaster's loop: the exchange with the board, a cycle, the pause.
    void Turn()
    {
        const std::uint64_t qwStart = m_line.Now();
        std::string strError;
        ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
        ASSERT_TRUE(m_pMaster->RunCycle());
        m_line.SkipTo(std::max<std::uint64_t>(m_line.Now(), qwStart + m_dwPauseUs * 1000ull));
    }

    // Turns until the board shows both slaves exchanging; then the board holds fresh posts.
    void ServeUntilExchanging()
    {
        for (int i = 0; i < 200 && !(Exchanging(kFirst) && Exchanging(kSecond)); ++i)
            Turn();
        ASSERT_TRUE(Exchanging(kFirst) && Exchanging(kSecond));
    }

    SBoardRequest Call(PFN_BOARD_OPERATION pfnOperation, std::uint8_t byAddress = 0)
    {
        SBoardRequest request{};
        request.byHandle = m_host.byHandle;
        request.byHandleExt = m_host.byHandleExt;
        request.byL2Addr = byAddress;
        request.byLength = 255;
        EXPECT_EQ(pfnOperation(&request), request.wError);
        return request;
    }

    bool Exchanging(std::uint8_t byAddress)
    {
        return IsSlaveExchanging(Call(BoardReadSlaveStates).abyData[byAddress]);
    }

    Bytes Data(const SBoardRequest& request)
    {
        return Bytes(request.abyData, request.abyData + request.byLength);
    }

    // The board's freshness record as the master posted it.
    korix::SFreshness Freshness()
    {
        korix::CBoardLock lock(m_byBoard);
        EXPECT_NE(lock.State(), nullptr);
        return lock.State() != nullptr ? lock.State()->sFreshness : korix::SFreshness{};
    }

    void SetInputsTick(std::uint8_t byAddress, std::uint32_t dwTick)
    {
        korix::CBoardLock lock(m_byBoard);
        ASSERT_NE(lock.State(), nullptr);
        lock.State()->sFreshness.adwInputsTick[byAddress] = dwTick;
    }

    // Moves the virtual clock on to the tick count given (modulo 2^32).
    void AdvanceToTick(std::uint32_t dwTick)
    {
        const std::uint32_t dwAhead = dwTick - ReadVirtualTicks();
        ASSERT_LT(dwAhead, 0x80000000u) << "the tick count given lies behind";
        m_line.SkipTo(m_line.Now() + dwAhead * kMs);
        ASSERT_EQ(ReadVirtualTicks(), dwTick);
    }

    CScriptedLine m_line;
    std::uint8_t m_byBoard;
    dp::SMasterConfig m_config;
    std::vector<std::unique_ptr<CScriptedSlave>> m_slaves;
    std::vector<std::unique_ptr<CScriptedSlave>> m_absent;
    std::unique_ptr<dp::CDpMaster> m_pMaster;
    std::unique_ptr<dp::CBoardLink> m_pLink;
    std::uint32_t m_dwPauseUs = 0;
    SBoardRequest m_host{};
};

TEST_F(ServedFreshnessTest, InputsAreServedWithinTheBoundAndWithheldPastIt)
{
    AddSlave(kFirst, 4).SetInputs({0x11, 0x22, 0x33, 0x44});
    AddSlave(kSecond, 2).SetInputs({0x55, 0x66});
    StartServing();
    ServeUntilExchanging();
    Turn();
    std::string strError;
    ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
    const korix::SFreshness posted = Freshness();
    ASSERT_EQ(posted.dwBoundMs, m_pLink->PromisedBoundMs());
    ASSERT_GT(posted.dwBoundMs, 20u);
    // The master posts when it brought them; the first slave's inputs are made older by hand,
    // as if its Data_Exchanges had stopped while the master goes on posting it as exchanging.
    const std::uint32_t dwBound = posted.dwBoundMs;
    SetInputsTick(kFirst, posted.dwMasterTick - 10);
    SetInputsTick(kSecond, posted.dwMasterTick);

    AdvanceToTick(posted.dwMasterTick - 10 + dwBound);
    SBoardRequest first = Call(BoardReadInput, kFirst);
    EXPECT_EQ(first.wError, 0);
    EXPECT_EQ(first.bySlaveState, SlaveDataExchange) << "exactly the bound is within it";
    EXPECT_EQ(first.byMasterState, MasterOperate);
    EXPECT_EQ(Data(first), (Bytes{0x11, 0x22, 0x33, 0x44}));

    AdvanceToTick(posted.dwMasterTick - 10 + dwBound + 1);
    first = Call(BoardReadInput, kFirst);
    EXPECT_EQ(first.wError, 0);
    EXPECT_EQ(first.bySlaveState, SlaveNotReachable);
    EXPECT_EQ(first.byMasterState, MasterOperate) << "the master itself is still within its bound";
    EXPECT_EQ(first.byLength, 4);
    EXPECT_THAT(Data(first), Each(0));
    SBoardRequest second = Call(BoardReadInput, kSecond);
    EXPECT_EQ(second.bySlaveState, SlaveDataExchange);
    EXPECT_EQ(Data(second), (Bytes{0x55, 0x66}));
    SBoardRequest states = Call(BoardReadSlaveStates);
    EXPECT_EQ(states.abyData[kFirst], SlaveNotReachable);
    EXPECT_EQ(states.abyData[kSecond], SlaveDataExchange);
    // Outputs are the hosts' own and stay; only the slave's state is withheld.
    SBoardRequest outputs = Call(BoardReadOutput, kFirst);
    EXPECT_EQ(outputs.wError, 0);
    EXPECT_EQ(outputs.bySlaveState, SlaveNotReachable);
    EXPECT_EQ(outputs.byLength, 2);

    // Withheld is only what the host is shown: the board keeps what the master posted.
    korix::CBoardLock lock(m_byBoard);
    ASSERT_NE(lock.State(), nullptr);
    EXPECT_EQ(lock.State()->sPlant.aSlaves[kFirst].byState, SlaveDataExchange);
    EXPECT_EQ(lock.State()->sPlant.aSlaves[kFirst].abyInput[0], 0x11);
}

TEST_F(ServedFreshnessTest, AReadOnlySlaveIsServedButHostsCannotWriteIt)
{
    AddSlave(kFirst, 4).SetInputs({0x11, 0x22, 0x33, 0x44});
    AddSlave(kSecond, 2).SetInputs({0x55, 0x66});
    m_config.slaves.front().bReadOnly = true;
    StartServing();
    ServeUntilExchanging();

    SBoardRequest write{};
    write.byHandle = m_host.byHandle;
    write.byHandleExt = m_host.byHandleExt;
    write.byL2Addr = kFirst;
    write.byLength = 2;
    write.abyData[0] = 0xAB;
    write.abyData[1] = 0xCD;
    EXPECT_EQ(BoardWriteOutput(&write), 0x86);
    EXPECT_EQ(Data(Call(BoardReadOutput, kFirst)), (Bytes{0, 0}));
    EXPECT_EQ(Data(Call(BoardReadInput, kFirst)), (Bytes{0x11, 0x22, 0x33, 0x44}));
}

// An observed slave's outputs are its owner's, read off the bus with its inputs: past the bound
// they are withheld with them, where the hosts' own outputs of a slave stay shown.
TEST_F(ServedFreshnessTest, AnObservedSlavesOutputsAreWithheldWithItsInputs)
{
    CScriptedSlave& observed = AddSlave(kFirst, 4);
    observed.SetState(CScriptedSlave::teState::DataExchange);
    observed.SetMasterInDiagnosis(1);
    observed.SetInputs({0x11, 0x22, 0x33, 0x44});
    observed.SetOwnerOutputs({0xAB, 0xCD});
    m_config.slaves.front().bObserve = true;
    AddSlave(kSecond, 2).SetInputs({0x55, 0x66});
    StartServing();
    ServeUntilExchanging();
    Turn();
    std::string strError;
    ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
    EXPECT_EQ(Data(Call(BoardReadOutput, kFirst)), (Bytes{0xAB, 0xCD}));

    const korix::SFreshness posted = Freshness();
    SetInputsTick(kFirst, posted.dwMasterTick - 10);
    AdvanceToTick(posted.dwMasterTick - 10 + posted.dwBoundMs + 1);
    const SBoardRequest outputs = Call(BoardReadOutput, kFirst);
    EXPECT_EQ(outputs.wError, 0);
    EXPECT_EQ(outputs.bySlaveState, SlaveNotReachable);
    EXPECT_EQ(Data(outputs), (Bytes{0, 0}));
    EXPECT_THAT(Data(Call(BoardReadInput, kFirst)), Each(0));
}

TEST_F(ServedFreshnessTest, AStalledMasterReadsOfflineWithEverySlave)
{
    AddSlave(kFirst, 4).SetInputs({0x11, 0x22, 0x33, 0x44});
    AddSlave(kSecond, 2).SetInputs({0x55, 0x66});
    AddSlave(kRefused, 2, kIdent + 1);
    StartServing();
    ServeUntilExchanging();
    ASSERT_EQ(Call(BoardReadSlaveStates).abyData[kRefused], SlaveConfigFault);
    std::string strError;
    ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
    const korix::SFreshness posted = Freshness();
    EXPECT_NE(posted.dwMasterCycle, 0u);
    EXPECT_EQ(posted.adwInputsCycle[kFirst], posted.dwMasterCycle)
        << "the last cycle brought the inputs";

    // The master stops: nothing of it runs while the clock goes on.
    AdvanceToTick(posted.dwMasterTick + posted.dwBoundMs);
    EXPECT_EQ(Call(BoardReadSlaveStates).byMasterState, MasterOperate);
    EXPECT_EQ(Call(BoardReadSlaveStates).abyData[kRefused], SlaveConfigFault)
        << "a slave not exchanging is as fresh as the heartbeat";
    AdvanceToTick(posted.dwMasterTick + posted.dwBoundMs + 1);
    for (PFN_BOARD_OPERATION pfn : {BoardReadSlaveList, BoardReadInput, BoardReadOutput,
                                    BoardWriteOutput, BoardReadSlaveStates, BoardSetWatchdog})
    {
        SBoardRequest answer = Call(pfn, kFirst);
        EXPECT_EQ(answer.byMasterState, MasterOffline);
        EXPECT_EQ(answer.bySlaveState, SlaveNotReachable);
    }
    SBoardRequest registration{};
    registration.byHandle = m_byBoard;
    registration.byHandleExt = kBoardRegistrationTag;
    registration.byLength = kBoardSlaveCount;
    ASSERT_EQ(BoardRegister(&registration), 0);
    EXPECT_EQ(registration.byMasterState, MasterOffline);
    SBoardRequest states = Call(BoardReadSlaveStates);
    EXPECT_EQ(states.wError, 0);
    for (std::uint8_t byAddress : {kFirst, kSecond, kRefused})
        EXPECT_EQ(states.abyData[byAddress], SlaveNotReachable) << int(byAddress);
    SBoardRequest input = Call(BoardReadInput, kSecond);
    EXPECT_EQ(input.wError, 0);
    EXPECT_THAT(Data(input), Each(0));
}

TEST_F(ServedFreshnessTest, AResumedMasterServesEachSlaveOnceItsInputsAreFreshAgain)
{
    AddSlave(kFirst, 4).SetInputs({0x11, 0x22, 0x33, 0x44});
    AddSlave(kSecond, 2).SetInputs({0x55, 0x66});
    StartServing();
    ServeUntilExchanging();
    std::string strError;
    ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
    const korix::SFreshness posted = Freshness();
    AdvanceToTick(posted.dwMasterTick + posted.dwBoundMs + 1);
    ASSERT_EQ(Call(BoardReadInput, kFirst).byMasterState, MasterOffline);

    // Its first exchange after the stall posts inputs brought before it: the master is back,
    // its slaves not yet.
    m_slaves[0]->SetInputs({0x99, 0x88, 0x77, 0x66});
    ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
    SBoardRequest first = Call(BoardReadInput, kFirst);
    EXPECT_EQ(first.byMasterState, MasterOperate);
    EXPECT_EQ(first.bySlaveState, SlaveNotReachable);
    EXPECT_THAT(Data(first), Each(0));
    ASSERT_TRUE(m_pMaster->RunCycle());
    ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
    first = Call(BoardReadInput, kFirst);
    EXPECT_EQ(first.bySlaveState, SlaveDataExchange);
    EXPECT_EQ(Data(first), (Bytes{0x99, 0x88, 0x77, 0x66}));
}

// A healthy master is never shown stale, whatever its pause: here a long one, a slave whose
// every answer says new diagnosis waits (so every other cycle reads its diagnosis and brings
// no inputs), and an absent slave that is tried again and again. The host looks just before
// each exchange, when what the board holds is oldest.
TEST_F(ServedFreshnessTest, AHealthyMasterIsNeverShownStale)
{
    AddSlave(kFirst, 4).SetInputs({0x11, 0x22, 0x33, 0x44});
    AddSlave(kSecond, 2).SetDiagnosisWaits(true);
    AddSlave(7, 2, kIdent, false);
    StartServing(1000000);
    ServeUntilExchanging();
    for (int i = 0; i < 100; ++i)
    {
        Turn();
        korix::SPlant posted{};
        {
            korix::CBoardLock lock(m_byBoard);
            ASSERT_NE(lock.State(), nullptr);
            posted = lock.State()->sPlant;
        }
        SBoardRequest states = Call(BoardReadSlaveStates);
        ASSERT_EQ(states.byMasterState, MasterOperate) << "turn " << i;
        for (std::uint8_t byAddress : {kFirst, kSecond})
            ASSERT_EQ(states.abyData[byAddress], posted.aSlaves[byAddress].byState)
                << "slave " << int(byAddress) << ", turn " << i;
    }
    EXPECT_TRUE(Exchanging(kFirst));
}

TEST_F(ServedFreshnessTest, AnEndedMasterLeavesNoPromiseBehind)
{
    AddSlave(kFirst, 4);
    AddSlave(kSecond, 2);
    StartServing();
    ServeUntilExchanging();
    m_pLink->Detach();
    EXPECT_EQ(Freshness().dwBoundMs, 0u);
    EXPECT_EQ(Call(BoardReadInput, kFirst).byMasterState, MasterOffline);

    // The board becomes a simulated one again: its plant is served however long it runs.
    ASSERT_TRUE(korix::ResetBoard(m_byBoard).bOk);
    AdvanceToTick(ReadVirtualTicks() + 100000);
    SBoardRequest read = Call(BoardReadInput, kFirst);
    EXPECT_EQ(read.wError, 0);
    EXPECT_EQ(read.byMasterState, MasterOperate);
    EXPECT_EQ(read.bySlaveState, SlaveDataExchange);
}

TEST_F(ServedFreshnessTest, ASimulatedBoardIsNeverWithheld)
{
    SBoardRequest registration{};
    registration.byHandle = m_byBoard;
    registration.byHandleExt = kBoardRegistrationTag;
    registration.byLength = kBoardSlaveCount;
    ASSERT_EQ(BoardRegister(&registration), 0);
    m_host = registration;
    EXPECT_EQ(Freshness().dwBoundMs, 0u);
    for (std::uint32_t dwStep : {1000u, 1000000u, 0x7FFFFFFFu, 0x7FFFFFFFu})
    {
        AdvanceToTick(ReadVirtualTicks() + dwStep);
        SBoardRequest read = Call(BoardReadInput, 4);
        EXPECT_EQ(read.wError, 0);
        EXPECT_EQ(read.byMasterState, MasterOperate);
        EXPECT_EQ(read.bySlaveState, SlaveDiagnosisPending) << "the default plant's slave 4";
        EXPECT_EQ(read.abyData[7], 0x5A);
    }
}

// A board of the layout before this one is started afresh; one declared for a DP master
// stays declared, so it never shows the simulated plant to hosts that wait for their master.
TEST(ServedBoardLayout, ADeclaredBoardOfAnEarlierLayoutStaysDeclared)
{
    constexpr std::uint8_t kBoard = 200;
    {
        korix::CBoardLock lock(kBoard);
        ASSERT_NE(lock.State(), nullptr);
        lock.State()->dwVersion = korix::kBoardVersion - 1;
        lock.State()->byDeclaredServed = korix::kBoardDeclaredServed;
    }
    korix::CBoardLock lock(kBoard);
    ASSERT_NE(lock.State(), nullptr);
    EXPECT_EQ(lock.State()->dwVersion, korix::kBoardVersion);
    EXPECT_TRUE(korix::IsDeclaredServed(*lock.State()));
    EXPECT_EQ(lock.State()->sPlant.byMasterMode, MasterOffline);
    EXPECT_EQ(lock.State()->sPlant.aSlaves[3].byPresent, 0);
}

} // namespace
} // namespace dptest
