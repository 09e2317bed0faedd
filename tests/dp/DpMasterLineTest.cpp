// The master on a scripted line in virtual time: its start-up state by state, what it takes as
// an answer on a bad line (noise, other stations, late and repeated answers, stray E5), that a
// cycle stays within its bound whatever the line carries, that hosts never get inputs a slave
// did not send in answer, and every recovery branch.
#include "tests/dp/ScriptedSlave.h"

#include "dp/master/DpMaster.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace dptest
{
namespace
{

using testing::Contains;
using testing::HasSubstr;

constexpr std::uint32_t kBaudRate = 500000;
constexpr std::uint8_t kMaster = 2;
constexpr std::uint64_t kMs = 1000000;

// SD1 with the FDL status request's function code: 10 DA SA 49 FCS 16.
bool IsFdlStatusRequest(const Bytes& abySent)
{
    return abySent.size() == 6 && abySent[0] == 0x10 && abySent[3] == 0x49;
}

class DpMasterLineTest : public testing::Test
{
protected:
    DpMasterLineTest()
    {
        dp::DefaultBusParameters(kBaudRate, m_config.bus);
        m_config.byMasterAddress = kMaster;
        m_config.dwResponseAllowanceUs = 100;
        m_config.dwRestartIntervalMs = 20;
        m_config.dwGlobalControlIntervalMs = 0;
        m_line.SetResponder(
            [this](const dp::STelegram& request, std::uint64_t qwEndNs)
            {
                for (auto& pSlave : m_slaves)
                    pSlave->Respond(request, qwEndNs);
            });
    }

    // A slave of the bus file and a scripted slave behind it; lengths up to 16 bytes.
    CScriptedSlave& AddSlave(std::uint8_t byAddress, std::uint8_t byInputs, std::uint8_t byOutputs,
                             bool bOnLine = true)
    {
        dp::SSlaveConfig slave;
        slave.byAddress = byAddress;
        slave.wIdent = 0x0A35;
        slave.byInputLength = byInputs;
        slave.byOutputLength = byOutputs;
        if (byInputs != 0)
            slave.abyConfig.push_back(static_cast<std::uint8_t>(0x10 | (byInputs - 1)));
        if (byOutputs != 0)
            slave.abyConfig.push_back(static_cast<std::uint8_t>(0x20 | (byOutputs - 1)));
        m_config.slaves.push_back(slave);
        auto pSlave =
            std::make_unique<CScriptedSlave>(m_line, byAddress, 0x0A35, byInputs, byOutputs);
        CScriptedSlave& scripted = *pSlave;
        if (bOnLine)
            m_slaves.push_back(std::move(pSlave));
        else
            m_offLine.push_back(std::move(pSlave));
        return scripted;
    }

    void Start()
    {
        m_pMaster = std::make_unique<dp::CDpMaster>(m_line, m_config);
        m_pMaster->SetEventHandler([this](const std::string& strLine)
                                   { m_events.push_back(strLine); });
        m_pMaster->SetMode(MasterOperate);
    }

    bool Cycle() { return m_pMaster->RunCycle(); }

    // Runs cycles until the condition holds; false after nMax.
    template <typename PRED> bool CyclesUntil(PRED condition, int nMax = 200)
    {
        for (int i = 0; i < nMax; ++i)
        {
            if (condition())
                return true;
            if (!Cycle())
                return false;
        }
        return condition();
    }

    const dp::SMasterSlaveState& Status(std::uint8_t byAddress)
    {
        return m_pMaster->Slave(static_cast<std::size_t>(m_pMaster->FindSlave(byAddress)));
    }
    bool Exchanging(std::uint8_t byAddress)
    {
        const teBoardSlaveState eState = Status(byAddress).eState;
        return eState == SlaveDataExchange || eState == SlaveDiagnosisPending;
    }
    Bytes Inputs(std::uint8_t byAddress, std::size_t nCount)
    {
        return Bytes(Status(byAddress).abyInputs, Status(byAddress).abyInputs + nCount);
    }
    bool InputsZero(std::uint8_t byAddress)
    {
        for (std::uint8_t by : Status(byAddress).abyInputs)
        {
            if (by != 0)
                return false;
        }
        return true;
    }
    // What a host may be shown: inputs only while the slave exchanges, and then only inputs the
    // slave sent; nothing at all otherwise.
    void ExpectTruthful(std::uint8_t byAddress, const std::vector<Bytes>& aSent)
    {
        if (!Exchanging(byAddress))
        {
            EXPECT_TRUE(InputsZero(byAddress)) << "slave " << int(byAddress);
            return;
        }
        EXPECT_THAT(aSent, Contains(Inputs(byAddress, aSent.front().size())));
    }

    CScriptedLine m_line{kBaudRate};
    dp::SMasterConfig m_config;
    std::vector<std::unique_ptr<CScriptedSlave>> m_slaves;
    std::vector<std::unique_ptr<CScriptedSlave>> m_offLine;
    std::unique_ptr<dp::CDpMaster> m_pMaster;
    std::vector<std::string> m_events;
};

TEST_F(DpMasterLineTest, StartUpGoesStateByStateAndPostsExchangeOnlyWithInputs)
{
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    m_config.slaves[0].abyUserPrm = {0x01, 0x02};
    slave.SetInputs({0x12, 0x34});
    Start();

    ASSERT_TRUE(Cycle());
    // Global_Control to everyone (SDN high, SAP 58 from 62): operate, every group. Then the
    // FDL status request to slave 3, without frame count.
    ASSERT_GE(m_line.Sent().size(), 2u);
    EXPECT_EQ(m_line.Sent()[0], Sd2(127, kMaster, 0x46, 58, 62, {0x00, 0x00}));
    EXPECT_EQ(m_line.Sent()[1], Sd1(3, kMaster, 0x49));
    EXPECT_EQ(Status(3).eState, SlaveParameterising);

    ASSERT_TRUE(Cycle()); // Slave_Diag: SRD high with FCB set, FCV not yet
    EXPECT_EQ(m_line.Sent().back(), Sd2(3, kMaster, 0x6D, 60, 62, {}));
    ASSERT_TRUE(Cycle()); // Set_Prm: lock, no watchdog, factors 1 1, min TSDR 11, ident, group 0
    EXPECT_EQ(slave.LastSetPrm(), (Bytes{0x80, 0x01, 0x01, 11, 0x0A, 0x35, 0x00, 0x01, 0x02}));
    EXPECT_EQ(m_line.Sent().back()[6], 0x5D) << "FCB toggled off, FCV on";
    ASSERT_TRUE(Cycle()); // Chk_Cfg with the configuration bytes
    EXPECT_EQ(m_line.Sent().back(), Sd2(3, kMaster, 0x7D, 62, 62, {0x11, 0x21}));
    ASSERT_TRUE(Cycle()); // Slave_Diag: ready
    EXPECT_EQ(slave.State(), CScriptedSlave::teState::DataExchange);
    EXPECT_EQ(Status(3).eState, SlaveParameterising) << "no inputs have come yet";
    EXPECT_TRUE(InputsZero(3));

    ASSERT_TRUE(Cycle()); // the first Data_Exchange brings the inputs
    EXPECT_EQ(Status(3).eState, SlaveParameterising) << "held until the next window has closed";
    EXPECT_TRUE(InputsZero(3));
    ASSERT_TRUE(Cycle()); // nothing more of the slave's in the next window: posted
    EXPECT_EQ(Status(3).eState, SlaveDataExchange);
    EXPECT_EQ(Inputs(3, 2), (Bytes{0x12, 0x34}));
    EXPECT_THAT(m_events, Contains("slave 3: data exchange"));
}

TEST_F(DpMasterLineTest, EveryCycleEndsWithinItsBoundWhateverTheLineCarries)
{
    AddSlave(3, 2, 2);
    AddSlave(4, 0, 2);
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3) && Exchanging(4); }));
    const std::uint64_t qwBound = m_pMaster->CycleBoundNs();

    struct SLine
    {
        const char* pszName;
        std::function<void(std::uint64_t qwFrom)> put;
    };
    const std::uint64_t qwSpan = 10000 * kMs;
    const SLine aLines[] = {
        {"random noise",
         [&](std::uint64_t qwFrom) { m_line.PutNoise(qwFrom, qwFrom + qwSpan, 7); }},
        {"start delimiters",
         [&](std::uint64_t qwFrom) { m_line.PutNoise(qwFrom, qwFrom + qwSpan, 1, 0x68); }},
        {"short acknowledgements",
         [&](std::uint64_t qwFrom) { m_line.PutNoise(qwFrom, qwFrom + qwSpan, 1, 0xE5); }},
        {"a station every 10 ms",
         [&](std::uint64_t qwFrom)
         {
             for (std::uint64_t qwAt = qwFrom; qwAt < qwFrom + qwSpan; qwAt += 10 * kMs)
                 m_line.Put(qwAt, Sd1(21, 20, 0x49));
         }},
    };
    for (const SLine& line : aLines)
    {
        SCOPED_TRACE(line.pszName);
        // The slaves fall silent; the line carries the rest.
        for (auto& pSlave : m_slaves)
            pSlave->SetFault([](const dp::STelegram&, CScriptedSlave::SReply& reply)
                             { reply.abyBytes.clear(); });
        line.put(m_line.Now());
        for (int i = 0; i < 5; ++i)
        {
            const std::uint64_t qwStart = m_line.Now();
            ASSERT_TRUE(Cycle());
            EXPECT_LE(m_line.Now() - qwStart, qwBound);
        }
        EXPECT_FALSE(Exchanging(3));
        EXPECT_FALSE(Exchanging(4));
        EXPECT_TRUE(InputsZero(3));
        // Past the disturbance, the slaves come back.
        m_line.SkipTo(m_line.Now() + qwSpan);
        for (auto& pSlave : m_slaves)
            pSlave->SetFault(nullptr);
        EXPECT_TRUE(CyclesUntil([this] { return Exchanging(3) && Exchanging(4); }, 400));
    }
}

TEST_F(DpMasterLineTest, AStationTalkingEvery10MsLeavesRoomForTheSlaves)
{
    AddSlave(3, 2, 2).SetInputs({0x01, 0x02});
    Start();
    for (std::uint64_t qwAt = m_line.Now(); qwAt < m_line.Now() + 2000 * kMs; qwAt += 10 * kMs)
        m_line.Put(qwAt, Sd2(21, 20, 0x08, -1, -1, {0xEE, 0xEE}));
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    for (int i = 0; i < 300; ++i)
    {
        ASSERT_TRUE(Cycle());
        EXPECT_EQ(Inputs(3, 2), (Bytes{0x01, 0x02}));
    }
    EXPECT_GT(m_pMaster->LineCounters().dwForeign + m_pMaster->LineCounters().dwDroppedBytes, 0u);
}

TEST_F(DpMasterLineTest, AStrayShortAcknowledgementAnswersNothing)
{
    // An output-only slave that falls silent on a noisy line, and a slave that is not there.
    CScriptedSlave& silent = AddSlave(7, 0, 2);
    AddSlave(9, 2, 2, false);
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(7); }));
    silent.SetFault([](const dp::STelegram&, CScriptedSlave::SReply& reply)
                    { reply.abyBytes.clear(); });
    // Bursts of random bytes with 0xE5 among them, with quiet gaps between.
    std::uint32_t dwSeed = 11;
    for (std::uint64_t qwAt = m_line.Now(); qwAt < m_line.Now() + 3000 * kMs; qwAt += 400000)
    {
        m_line.PutNoise(qwAt, qwAt + 5 * m_line.CharacterNs(), dwSeed++);
        m_line.Put(qwAt + 5 * m_line.CharacterNs(), kShortAck);
    }
    ASSERT_TRUE(Cycle());
    ASSERT_TRUE(Cycle());
    for (int i = 0; i < 1000; ++i)
    {
        ASSERT_TRUE(Cycle());
        ASSERT_FALSE(Exchanging(7)) << "cycle " << i;
        ASSERT_EQ(Status(9).eState, SlaveNotReachable) << "cycle " << i;
    }
    EXPECT_GT(m_pMaster->LineCounters().dwStrayShortAcks + m_pMaster->LineCounters().dwDroppedBytes,
              0u);
}

TEST_F(DpMasterLineTest, ALateAnswerIsNeverTakenForTheNextRequest)
{
    // Slave 7 answers every request, but after its slot; slave 8 is not there.
    CScriptedSlave& late = AddSlave(7, 0, 2);
    AddSlave(8, 0, 2, false);
    late.SetFault(
        [this](const dp::STelegram&, CScriptedSlave::SReply& reply) {
            reply.qwDelayNs = m_line.BitNs(m_config.bus.dwSlotTime) + 200000 + m_line.CharacterNs();
        });
    Start();
    for (int i = 0; i < 500; ++i)
    {
        ASSERT_TRUE(Cycle());
        ASSERT_EQ(Status(8).eState, SlaveNotReachable);
        ASSERT_FALSE(Exchanging(7)) << "an answer out of its slot answers nothing";
    }
}

TEST_F(DpMasterLineTest, ATelegramAfterTheAnswerIsNeverTheNextAnswerAndDoubtsTheOneBefore)
{
    // Once the line has stayed quiet behind the answer for the idle time (TID1 is three
    // characters here, and a byte shows a character after it began), while the master sends
    // (on a real line a collision: no answer). One right behind the answer leaves the answer in
    // doubt (LineExchangeTest.cpp); one later, before the next window has closed, too: the
    // slave said more than it was asked, and the answer it follows is never posted.
    for (std::uint64_t qwGapCharacters : {5u, 6u})
    {
        SCOPED_TRACE(qwGapCharacters);
        m_config.slaves.clear();
        m_slaves.clear();
        CScriptedSlave& slave = AddSlave(3, 2, 2);
        slave.SetInputs({0x10, 0x00});
        Start();
        ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
        const std::uint32_t dwDoubts = m_pMaster->LineCounters().dwAnswersInDoubt;
        std::uint8_t byCount = 0;
        slave.SetFault(
            [&, qwGapCharacters](const dp::STelegram& request, CScriptedSlave::SReply& reply)
            {
                if (request.bHasDsap || (request.byFc & 0x0F) != 13)
                    return; // Data_Exchange only
                // Each answer carries a new count; after a pause comes a stray copy with other
                // inputs, before the master could send its next request if it did not wait.
                reply.abyBytes = Sd2(kMaster, 3, 0x08, -1, -1, {0x10, ++byCount});
                reply.abyLater = Sd2(kMaster, 3, 0x08, -1, -1, {0xEE, 0xEE});
                reply.qwLaterNs = reply.qwDelayNs +
                                  (reply.abyBytes.size() + qwGapCharacters) * m_line.CharacterNs();
            });
        for (int i = 0; i < 300; ++i)
        {
            ASSERT_TRUE(Cycle());
            ASSERT_EQ(Inputs(3, 2), (Bytes{0x10, 0x00})) << "cycle " << i;
        }
        EXPECT_GT(slave.DataExchanges(), 300u);
        EXPECT_GT(m_pMaster->LineCounters().dwAnswersInDoubt, dwDoubts + 100);
    }
}

TEST_F(DpMasterLineTest, AStrayTakenForTheAnswerInABackToBackCycleIsNeverPosted)
{
    // The slave answers late in its window, and puts a stray of its own with other inputs on
    // the line half a millisecond behind every answer. A cycle that starts right behind the
    // last one sends its request before that stray comes: the stray lands in the new window
    // ahead of the genuine answer, by more than the quiet time, and is taken. The genuine
    // answer comes behind it, in the pause after the cycle, and shows the doubt.
    m_config.dwResponseAllowanceUs = 2000;
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    slave.SetInputs({0x30, 0x00});
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    std::vector<Bytes> aSent = {{0x30, 0x00}};
    std::uint8_t byCount = 0;
    slave.SetFault(
        [&](const dp::STelegram& request, CScriptedSlave::SReply& reply)
        {
            if (request.bHasDsap || (request.byFc & 0x0F) != 13)
                return; // Data_Exchange only
            aSent.push_back({0x30, ++byCount});
            reply.abyBytes = Sd2(kMaster, 3, 0x08, -1, -1, aSent.back());
            reply.qwDelayNs = 600000;
            reply.abyLater = Sd2(kMaster, 3, 0x08, -1, -1, {0x99, 0x99});
            reply.qwLaterNs =
                reply.qwDelayNs + reply.abyBytes.size() * m_line.CharacterNs() + 500000;
        });
    const std::uint32_t dwDoubts = m_pMaster->LineCounters().dwAnswersInDoubt;
    for (int i = 0; i < 200; ++i)
    {
        // Every other cycle starts at once; the others after a pause of 3 ms.
        if (i % 2 == 0)
            m_line.WaitUntil(m_line.Now() + 3 * kMs);
        ASSERT_TRUE(Cycle());
        ExpectTruthful(3, aSent);
        ASSERT_NE(Inputs(3, 2), (Bytes{0x99, 0x99})) << "cycle " << i;
    }
    // The genuine answers ahead of the strays are posted, the strays taken are not.
    EXPECT_TRUE(Exchanging(3));
    EXPECT_NE(Inputs(3, 2), (Bytes{0x30, 0x00}));
    EXPECT_GE(m_pMaster->LineCounters().dwAnswersInDoubt, dwDoubts + 90);
}

TEST_F(DpMasterLineTest, AnAnswerFollowedByAStrayInTheNextWindowIsNotPosted)
{
    // Every other answer of slave 3 has a stray of its own behind it, half a millisecond
    // later: in the window of slave 4's request, which its answer, late in that window,
    // follows. Whichever of slave 3's telegrams answered, the answer it follows is in doubt.
    m_config.dwResponseAllowanceUs = 2000;
    CScriptedSlave& strayer = AddSlave(3, 2, 2);
    CScriptedSlave& other = AddSlave(4, 2, 2);
    strayer.SetInputs({0x30, 0x00});
    other.SetInputs({0x40, 0x00});
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3) && Exchanging(4); }));
    std::set<Bytes> followed;
    std::vector<Bytes> aSent = {{0x30, 0x00}};
    std::uint8_t byCount = 0;
    strayer.SetFault(
        [&](const dp::STelegram& request, CScriptedSlave::SReply& reply)
        {
            if (request.bHasDsap || (request.byFc & 0x0F) != 13)
                return; // Data_Exchange only
            aSent.push_back({0x30, ++byCount});
            reply.abyBytes = Sd2(kMaster, 3, 0x08, -1, -1, aSent.back());
            if (byCount % 2 != 0)
                return;
            followed.insert(aSent.back());
            reply.abyLater = Sd2(kMaster, 3, 0x08, -1, -1, {0x99, 0x99});
            reply.qwLaterNs =
                reply.qwDelayNs + reply.abyBytes.size() * m_line.CharacterNs() + 500000;
        });
    other.SetFault(
        [](const dp::STelegram& request, CScriptedSlave::SReply& reply)
        {
            if (!request.bHasDsap)
                reply.qwDelayNs = 800000;
        });
    const std::uint32_t dwDoubts = m_pMaster->LineCounters().dwAnswersInDoubt;
    std::set<Bytes> posted;
    for (int i = 0; i < 200; ++i)
    {
        ASSERT_TRUE(Cycle());
        ExpectTruthful(3, aSent);
        ASSERT_EQ(followed.count(Inputs(3, 2)), 0u) << "cycle " << i;
        posted.insert(Inputs(3, 2));
    }
    EXPECT_GT(posted.size(), 20u) << "the answers without a stray behind them are posted";
    EXPECT_GE(m_pMaster->LineCounters().dwAnswersInDoubt, dwDoubts + 50);
}

TEST_F(DpMasterLineTest, InputsStopTheMomentASlaveLeavesDataExchange)
{
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    slave.SetInputs({0x55, 0xAA});
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    EXPECT_EQ(Inputs(3, 2), (Bytes{0x55, 0xAA}));

    // It refuses every Data_Exchange (no service): it has left data exchange.
    slave.SetState(CScriptedSlave::teState::WaitPrm);
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Status(3).eState, SlaveParameterising);
    EXPECT_EQ(Status(3).strProblem, "left data exchange");
    EXPECT_TRUE(InputsZero(3));

    // Until a Data_Exchange brings new inputs, hosts see none.
    slave.SetInputs({0x66, 0x77});
    const std::vector<Bytes> aSent = {{0x66, 0x77}};
    ASSERT_TRUE(CyclesUntil(
        [&]
        {
            ExpectTruthful(3, aSent);
            return Exchanging(3);
        }));
    EXPECT_EQ(Inputs(3, 2), aSent.front());
}

TEST_F(DpMasterLineTest, FunctionCodesNoSlaveSendsAreNoAnswer)
{
    const std::uint8_t abyCodes[] = {
        0x88, // the reserved bit
        0x28, // a master's station type (ready for the ring)
        0x48, // a request
    };
    for (std::uint8_t byFc : abyCodes)
    {
        SCOPED_TRACE(byFc);
        m_config.slaves.clear();
        m_slaves.clear();
        CScriptedSlave& slave = AddSlave(3, 2, 2);
        Start();
        ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
        slave.SetFault(
            [byFc](const dp::STelegram& request, CScriptedSlave::SReply& reply)
            {
                if (!request.bHasDsap)
                    reply.abyBytes = Sd2(kMaster, 3, byFc, -1, -1, {0xEE, 0xEE});
            });
        ASSERT_TRUE(Cycle());
        EXPECT_EQ(Status(3).eState, SlaveNotReachable);
        EXPECT_TRUE(InputsZero(3));
    }
}

TEST_F(DpMasterLineTest, ADiagnosisDuringDataExchangeIsActedOnAsAtStartUp)
{
    struct SCase
    {
        const char* pszName;
        std::function<void(CScriptedSlave&)> make;
        teBoardSlaveState eState;
        const char* pszWhy;
    };
    const SCase aCases[] = {
        {"parameter fault", [](CScriptedSlave& s) { s.SetDiagnosis(0x40, 0); }, SlaveConfigFault,
         "parameters refused"},
        {"configuration fault", [](CScriptedSlave& s) { s.SetDiagnosis(0x04, 0); },
         SlaveConfigFault, "configuration refused"},
        {"another ident", [](CScriptedSlave& s) { s.SetIdentInDiagnosis(0x1234); },
         SlaveConfigFault, "ident number 0x1234, expected 0x0A35"},
        {"another master's lock",
         [](CScriptedSlave& s)
         {
             s.SetDiagnosis(0x80, 0);
             s.SetMasterInDiagnosis(9);
         },
         SlaveStopped, "held by master 9"},
        {"parameters wanted", [](CScriptedSlave& s) { s.SetDiagnosis(0, 0x01); },
         SlaveParameterising, "asks for parameters again"},
    };
    for (const SCase& test : aCases)
    {
        SCOPED_TRACE(test.pszName);
        m_config.slaves.clear();
        m_slaves.clear();
        CScriptedSlave& slave = AddSlave(3, 2, 2);
        slave.SetInputs({0x01, 0x01});
        Start();
        ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
        test.make(slave);
        slave.SetDiagnosisWaits(true);
        ASSERT_TRUE(Cycle()); // Data_Exchange flags the diagnosis
        ASSERT_TRUE(Cycle()); // which is read and judged
        EXPECT_EQ(Status(3).eState, test.eState);
        EXPECT_EQ(Status(3).strProblem, test.pszWhy);
        EXPECT_TRUE(InputsZero(3));
    }
}

TEST_F(DpMasterLineTest, ExtendedDiagnosisKeepsTheSlaveExchangingAndSaysSo)
{
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    slave.SetDiagnosis(0x08, 0);
    slave.SetDiagnosisWaits(true);
    ASSERT_TRUE(Cycle());
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Status(3).eState, SlaveDiagnosisPending);
    EXPECT_EQ(Status(3).byDiagLength, 6);
    EXPECT_THAT(m_events,
                Contains("slave 3: diagnosis: extended diagnosis; master 2; ident 0x0A35"));
    slave.SetDiagnosis(0, 0);
    ASSERT_TRUE(Cycle());
    ASSERT_TRUE(Cycle());
    slave.SetDiagnosisWaits(false);
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Status(3).eState, SlaveDataExchange);
}

TEST_F(DpMasterLineTest, AnswersOfTheWrongShapeRestartTheSlaveWithTheReason)
{
    struct SCase
    {
        const char* pszName;
        CScriptedSlave::PFN_FAULT fault;
        const char* pszWhy;
    };
    const SCase aCases[] = {
        {"service access points",
         [](const dp::STelegram& request, CScriptedSlave::SReply& reply)
         {
             if (!request.bHasDsap)
                 reply.abyBytes = Sd2(kMaster, 3, 0x08, 62, 60, {0x01, 0x02});
         },
         "answered Data_Exchange with service access points"},
        {"input length",
         [](const dp::STelegram& request, CScriptedSlave::SReply& reply)
         {
             if (!request.bHasDsap)
                 reply.abyBytes = Sd2(kMaster, 3, 0x08, -1, -1, {0x01, 0x02, 0x03});
         },
         "answered with the wrong input length"},
    };
    for (const SCase& test : aCases)
    {
        SCOPED_TRACE(test.pszName);
        m_config.slaves.clear();
        m_slaves.clear();
        CScriptedSlave& slave = AddSlave(3, 2, 2);
        Start();
        ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
        slave.SetFault(test.fault);
        ASSERT_TRUE(Cycle());
        EXPECT_EQ(Status(3).eState, SlaveParameterising);
        EXPECT_EQ(Status(3).strProblem, test.pszWhy);
        EXPECT_TRUE(InputsZero(3));
        EXPECT_GE(Status(3).counters.dwBadAnswers, 1u);
    }
}

TEST_F(DpMasterLineTest, StartUpRefusalsAndSlavesThatNeverBecomeReady)
{
    struct SCase
    {
        const char* pszName;
        std::function<void(CScriptedSlave&)> make;
        teBoardSlaveState eState;
        const char* pszWhy;
    };
    const SCase aCases[] = {
        {"held by another master",
         [](CScriptedSlave& s)
         {
             s.SetDiagnosis(0x80, 0);
             s.SetMasterInDiagnosis(9);
         },
         SlaveStopped, "held by master 9"},
        {"another ident", [](CScriptedSlave& s) { s.SetIdentInDiagnosis(0x4711); },
         SlaveConfigFault, "ident number 0x4711, expected 0x0A35"},
        {"never ready", [](CScriptedSlave& s) { s.SetDiagnosis(0x02, 0); }, SlaveParameterising,
         "does not become ready"},
        {"Set_Prm refused",
         [](CScriptedSlave& s)
         {
             s.SetFault(
                 [](const dp::STelegram& request, CScriptedSlave::SReply& reply)
                 {
                     if (request.bHasDsap && request.byDsap == 61)
                         reply.abyBytes = Sd1(kMaster, 3, 0x03);
                 });
         },
         SlaveConfigFault, "Set_Prm not acknowledged"},
        {"silent",
         [](CScriptedSlave& s)
         {
             s.SetFault([](const dp::STelegram&, CScriptedSlave::SReply& reply)
                        { reply.abyBytes.clear(); });
         },
         SlaveNotReachable, "no answer"},
    };
    for (const SCase& test : aCases)
    {
        SCOPED_TRACE(test.pszName);
        m_config.slaves.clear();
        m_slaves.clear();
        test.make(AddSlave(3, 2, 2));
        Start();
        ASSERT_TRUE(CyclesUntil([&] { return Status(3).strProblem == test.pszWhy; }, 400));
        EXPECT_EQ(Status(3).eState, test.eState);
        for (int i = 0; i < 100; ++i)
        {
            ASSERT_TRUE(Cycle());
            ASSERT_FALSE(Exchanging(3));
        }
    }
}

TEST_F(DpMasterLineTest, AFlappingSlavePrintsACountNotAFlood)
{
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    // Every third Data_Exchange is refused: the slave restarts at once and comes back.
    int nCount = 0;
    slave.SetFault(
        [&](const dp::STelegram& request, CScriptedSlave::SReply& reply)
        {
            if (!request.bHasDsap && request.eFrame != dp::teFrame::Sd1 && ++nCount % 3 == 0)
                reply.abyBytes = Sd1(kMaster, 3, 0x03);
        });
    m_events.clear();
    const std::uint64_t qwEnd = m_line.Now() + 3000 * kMs;
    while (m_line.Now() < qwEnd)
        ASSERT_TRUE(Cycle());
    EXPECT_GT(Status(3).counters.dwRestarts, 20u);
    EXPECT_GT(Status(3).counters.dwUnshownStateLines, 0u);
    // At most four lines a second, and a count of the rest.
    EXPECT_LE(m_events.size(), 4u * 4u + 4u);
    EXPECT_THAT(m_events, Contains(HasSubstr("more state changes not shown")));
}

TEST_F(DpMasterLineTest, EchoesOfOwnRequestsAreNoAnswerButDoNotHideOne)
{
    m_line.SetEcho(true);
    AddSlave(3, 2, 2).SetInputs({0x0A, 0x0B});
    AddSlave(7, 0, 2);
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3) && Exchanging(7); }));
    EXPECT_EQ(Inputs(3, 2), (Bytes{0x0A, 0x0B}));
    EXPECT_GT(m_pMaster->LineCounters().dwEchoes, 0u);
}

TEST_F(DpMasterLineTest, AWrongCheckSumCostsARetryAndALateAnswerWithinItsSlotIsTaken)
{
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    slave.SetInputs({0x21, 0x43});
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    const std::uint32_t dwRetries = Status(3).counters.dwRetries;

    // One answer with its check sum off by one: repeated, and the repetition is answered.
    bool bSpoilt = false;
    slave.SetFault(
        [&](const dp::STelegram& request, CScriptedSlave::SReply& reply)
        {
            if (!bSpoilt && !request.bHasDsap && reply.abyBytes.size() > 2)
            {
                ++reply.abyBytes[reply.abyBytes.size() - 2];
                bSpoilt = true;
            }
        });
    ASSERT_TRUE(Cycle());
    EXPECT_TRUE(Exchanging(3));
    EXPECT_EQ(Status(3).counters.dwRetries, dwRetries + 1);
    EXPECT_GE(m_pMaster->ParserCounters().dwBadCheckSums, 1u);

    // An answer that begins just inside the slot time and the allowance counts.
    slave.SetFault(
        [this](const dp::STelegram&, CScriptedSlave::SReply& reply)
        {
            reply.qwDelayNs = m_line.BitNs(m_config.bus.dwSlotTime) +
                              m_config.dwResponseAllowanceUs * 1000 - m_line.CharacterNs();
        });
    slave.SetInputs({0x65, 0x87});
    ASSERT_TRUE(Cycle());
    ASSERT_TRUE(Cycle()); // posted once the next window has closed
    EXPECT_TRUE(Exchanging(3));
    EXPECT_EQ(Inputs(3, 2), (Bytes{0x65, 0x87}));
    EXPECT_EQ(Status(3).counters.dwRetries, dwRetries + 1);
}

// Records what the master traces, up to a level.
class CRecordingTrace : public dp::IBusTrace
{
public:
    explicit CRecordingTrace(int nLevel) : m_nLevel(nLevel) {}
    bool Wants(int nLevel) override { return nLevel <= m_nLevel; }
    void Line(int nLevel, const char* pszText) override
    {
        EXPECT_LE(nLevel, m_nLevel);
        m_lines.emplace_back(pszText);
    }
    int m_nLevel;
    std::vector<std::string> m_lines;
};

TEST_F(DpMasterLineTest, TheTraceShowsStatesAtALowLevelAndEveryTelegramAtAHighOne)
{
    AddSlave(3, 2, 2).SetInputs({0x12, 0x34});
    AddSlave(5, 16, 16);
    Start();
    CRecordingTrace states(dp::kTraceStates);
    m_pMaster->SetTrace(&states);
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3) && Exchanging(5); }));
    EXPECT_THAT(states.m_lines, Contains("slave 3: data exchange"));
    EXPECT_THAT(states.m_lines, testing::Not(Contains(HasSubstr("request:"))));

    CRecordingTrace telegrams(dp::kTraceTelegrams);
    m_pMaster->SetTrace(&telegrams);
    ASSERT_TRUE(Cycle());
    EXPECT_THAT(telegrams.m_lines, Contains(testing::MatchesRegex(
                                       "slave 3 request: SD2 2->3 SRD high( FCB)? FCV, 2 bytes: 68 "
                                       "05 05 68 03 02 [57]d 00 00 [0-9a-f]{2} 16")));
    EXPECT_THAT(telegrams.m_lines,
                Contains("slave 3 answer: SD2 3->2 DL, 2 bytes: 68 05 05 68 02 03 08 12 34 53 16"));
    // A trace window takes 255 characters, the time stamp and word (24) included.
    for (const std::string& strLine : telegrams.m_lines)
        EXPECT_LE(strLine.size(), 255u - 24u) << strLine;
}

TEST_F(DpMasterLineTest, AFailedLineEndsTheCycle)
{
    AddSlave(3, 2, 2);
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    m_line.Fail();
    EXPECT_FALSE(Cycle());
}

TEST_F(DpMasterLineTest, ClearModeSendsZerosAndSaysSoToEveryone)
{
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    const std::uint8_t abyOutputs[2] = {0x12, 0x34};
    m_pMaster->SetOutputs(0, abyOutputs, 2);
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(slave.LastOutputs(), (Bytes{0x12, 0x34}));
    m_pMaster->SetMode(MasterClear);
    ASSERT_TRUE(Cycle());
    EXPECT_THAT(m_line.Sent(), Contains(Sd2(127, kMaster, 0x46, 58, 62, {0x02, 0x00})));
    EXPECT_EQ(slave.LastOutputs(), (Bytes{0x00, 0x00}));
}

TEST_F(DpMasterLineTest, AStaticDiagnosisStopsTheDataUntilItClearsAndInputsCome)
{
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    slave.SetInputs({0x11, 0x22});
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));

    // Stat_Diag (station status 2, bit 1): the slave cannot give valid data.
    slave.SetDiagnosis(0, 0x02);
    slave.SetDiagnosisWaits(true);
    ASSERT_TRUE(Cycle()); // Data_Exchange flags the diagnosis
    ASSERT_TRUE(Cycle()); // which says the data are not valid
    EXPECT_EQ(Status(3).eState, SlaveParameterising);
    EXPECT_EQ(Status(3).strProblem, "no valid data (static diagnosis)");
    EXPECT_TRUE(InputsZero(3));
    EXPECT_THAT(m_events, Contains("slave 3: no valid data (static diagnosis)"));

    // Its diagnosis is read every cycle while the bit stays, and nothing else is asked.
    const std::uint32_t dwDiagnoses = Status(3).counters.dwDiagnoses;
    const std::uint32_t dwExchanges = slave.DataExchanges();
    for (int i = 0; i < 10; ++i)
    {
        ASSERT_TRUE(Cycle());
        ASSERT_FALSE(Exchanging(3)) << "cycle " << i;
        ASSERT_TRUE(InputsZero(3)) << "cycle " << i;
    }
    EXPECT_EQ(Status(3).counters.dwDiagnoses, dwDiagnoses + 10);
    EXPECT_EQ(slave.DataExchanges(), dwExchanges);

    // The bit clears: not exchanging yet, until a Data_Exchange has brought the inputs.
    slave.SetDiagnosis(0, 0);
    slave.SetDiagnosisWaits(false);
    slave.SetInputs({0x33, 0x44});
    ASSERT_TRUE(Cycle());
    EXPECT_FALSE(Exchanging(3));
    EXPECT_TRUE(InputsZero(3));
    ASSERT_TRUE(Cycle());
    EXPECT_FALSE(Exchanging(3)) << "held until the next window has closed";
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Status(3).eState, SlaveDataExchange);
    EXPECT_EQ(Inputs(3, 2), (Bytes{0x33, 0x44}));
    EXPECT_EQ(Status(3).counters.dwRestarts, 0u) << "no new start-up for a static diagnosis";
}

TEST_F(DpMasterLineTest, AbsentSlavesTakeOneProbeACycleAndTheLiveOneKeepsItsPace)
{
    // 125 slaves in the bus file, only slave 3 on the line.
    AddSlave(3, 2, 2).SetInputs({0x5A, 0xA5});
    for (std::uint8_t byAddress = 0; byAddress <= 125; ++byAddress)
    {
        if (byAddress != 3 && byAddress != kMaster && m_config.slaves.size() < 125)
            AddSlave(byAddress, 2, 2, false);
    }
    ASSERT_EQ(m_config.slaves.size(), 125u);
    Start();
    // Before any answer every slave may answer, so the first bound is every slave's worst case.
    const std::uint64_t qwEveryoneBound = m_pMaster->CycleBoundNs();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));

    // Now the cycle is Global_Control, slave 3 and one probe: below three slaves' worth.
    const std::uint64_t qwBound = m_pMaster->CycleBoundNs();
    EXPECT_LT(qwBound * 125, qwEveryoneBound * 3);

    std::vector<std::uint64_t> aExchangeTimes;
    m_slaves.front()->SetFault(
        [&](const dp::STelegram& request, CScriptedSlave::SReply&)
        {
            if (!request.bHasDsap && request.eFrame != dp::teFrame::Sd1)
                aExchangeTimes.push_back(m_line.Now());
        });
    const std::size_t nSentBefore = m_line.Sent().size();
    const std::uint64_t qwFrom = m_line.Now();
    const std::uint64_t qwPeriod = 2000 * kMs;
    while (m_line.Now() < qwFrom + qwPeriod)
    {
        const std::size_t nSentBeforeCycle = m_line.Sent().size();
        ASSERT_TRUE(Cycle());
        ASSERT_LE(m_pMaster->CycleBoundNs(), qwBound);
        ASSERT_TRUE(Exchanging(3));
        // The budget: FDL status (the probe, with its repetitions) to one slave a cycle.
        std::set<std::uint8_t> probed;
        for (std::size_t i = nSentBeforeCycle; i < m_line.Sent().size(); ++i)
        {
            if (IsFdlStatusRequest(m_line.Sent()[i]))
                probed.insert(m_line.Sent()[i][1]);
        }
        ASSERT_LE(probed.size(), 1u);
    }
    // Virtual time is exact: the gaps between slave 3's exchanges are at most two cycles.
    ASSERT_GE(aExchangeTimes.size(), 2u);
    std::uint64_t qwLongestGap = 0;
    for (std::size_t i = 1; i < aExchangeTimes.size(); ++i)
        qwLongestGap = std::max(qwLongestGap, aExchangeTimes[i] - aExchangeTimes[i - 1]);
    EXPECT_LE(qwLongestGap, 2 * qwBound);
    EXPECT_GE(aExchangeTimes.size(), qwPeriod / qwBound);
    EXPECT_EQ(Inputs(3, 2), (Bytes{0x5A, 0xA5}));

    // The round robin reaches every absent slave, more than once in the period.
    std::map<std::uint8_t, int> probes;
    for (std::size_t i = nSentBefore; i < m_line.Sent().size(); ++i)
    {
        if (IsFdlStatusRequest(m_line.Sent()[i]))
            ++probes[m_line.Sent()[i][1]];
    }
    for (const dp::SSlaveConfig& config : m_config.slaves)
    {
        if (config.byAddress == 3)
            continue;
        EXPECT_GE(probes[config.byAddress], 2) << "slave " << int(config.byAddress);
        EXPECT_EQ(Status(config.byAddress).eState, SlaveNotReachable);
    }
}

TEST_F(DpMasterLineTest, AnExtendedDiagnosisDuringDataExchangeIsPutIntoWords)
{
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    Start();
    CRecordingTrace trace(dp::kTraceStates);
    m_pMaster->SetTrace(&trace);
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    // A channel block: module 2, input channel 1, a bit, short circuit.
    slave.SetDiagnosis(0x08, 0);
    slave.SetExtendedDiagnosis({0x82, 0x41, 0x21});
    slave.SetDiagnosisWaits(true);
    ASSERT_TRUE(Cycle());
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Status(3).eState, SlaveDiagnosisPending);
    EXPECT_EQ(Status(3).byDiagLength, 9);
    for (const std::vector<std::string>* pLines : {&m_events, &trace.m_lines})
    {
        EXPECT_THAT(*pLines,
                    Contains(testing::AllOf(
                        testing::StartsWith("slave 3: diagnosis: extended diagnosis; master 2; "
                                            "ident 0x0A35; "),
                        HasSubstr("short circuit"), testing::Not(HasSubstr("malformed")))));
    }
}

TEST_F(DpMasterLineTest, HandedOverDiagnosisIsNotWordedInTheCycleAndStillRateLimited)
{
    CScriptedSlave& slave = AddSlave(3, 2, 2);
    Start();
    std::vector<std::pair<std::size_t, Bytes>> handed;
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(3); }));
    slave.SetDiagnosis(0x08, 0);
    slave.SetExtendedDiagnosis({0x82, 0x41, 0x21});
    slave.SetDiagnosisWaits(true);
    ASSERT_TRUE(Cycle());
    ASSERT_TRUE(Cycle());
    // Worded in the cycle, without a handler; the free function makes the same line.
    const Bytes abyDiag(Status(3).abyDiag, Status(3).abyDiag + Status(3).byDiagLength);
    const std::string strInline = dp::DiagnosisEventText(m_config.slaves[0], abyDiag);
    EXPECT_THAT(m_events, Contains(strInline));
    EXPECT_THAT(strInline, HasSubstr("short circuit"));

    m_pMaster->SetDiagnosisHandler([&](std::size_t nSlave, std::vector<std::uint8_t> abyBytes)
                                   { handed.emplace_back(nSlave, std::move(abyBytes)); });
    m_events.clear();
    m_line.SkipTo(m_line.Now() + 1000 * kMs); // past the window the start-up's lines filled
    slave.SetExtendedDiagnosis({0x82, 0x41, 0x22});
    ASSERT_TRUE(Cycle());
    ASSERT_TRUE(Cycle());
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].first, 0u);
    const Bytes abyExpected = {0x08, 0x04, 0x00, kMaster, 0x0A, 0x35, 0x82, 0x41, 0x22};
    EXPECT_EQ(handed[0].second, abyExpected);
    EXPECT_THAT(m_events, testing::Not(Contains(HasSubstr("diagnosis:"))));
    EXPECT_THAT(dp::DiagnosisEventText(m_config.slaves[0], handed[0].second),
                HasSubstr("undervoltage"));

    // A diagnosis that changes at every read: at most four lines a second, handed over or not.
    handed.clear();
    const std::uint32_t dwUnshown = Status(3).counters.dwUnshownStateLines;
    const std::uint64_t qwEnd = m_line.Now() + 3000 * kMs;
    for (std::uint8_t byError = 0; m_line.Now() < qwEnd; ++byError)
    {
        slave.SetExtendedDiagnosis({0x82, 0x41, static_cast<std::uint8_t>(0x20 | (byError % 9))});
        ASSERT_TRUE(Cycle());
    }
    EXPECT_LE(handed.size(), 4u * 4u);
    EXPECT_GT(Status(3).counters.dwUnshownStateLines, dwUnshown);
}

TEST_F(DpMasterLineTest, AStopIsHeardBetweenAnyTwoTransactions)
{
    // The longest wait a bus file allows, the most repetitions, and slaves that never answer:
    // a cycle of this bus lasts minutes.
    m_config.dwResponseAllowanceUs = 10000000;
    m_config.bus.dwRetryLimit = 7;
    AddSlave(3, 2, 2, false);
    AddSlave(4, 2, 2, false);
    Start();
    const std::uint64_t qwStopAt = m_line.Now() + 1000 * kMs;
    std::size_t nSentAtStop = 0;
    bool bStopSeen = false;
    m_pMaster->SetStopCheck(
        [&]
        {
            if (m_line.Now() < qwStopAt)
                return false;
            if (!bStopSeen)
                nSentAtStop = m_line.Sent().size();
            bStopSeen = true;
            return true;
        });
    ASSERT_TRUE(Cycle()) << "a stop is no failure of the line";
    ASSERT_TRUE(bStopSeen);
    EXPECT_EQ(m_line.Sent().size(), nSentAtStop) << "no request after the stop";
    // The one transaction under way when the stop came: both of its waits, the request and the
    // slot time are far below a second beside the allowance.
    const std::uint64_t qwOneTransaction =
        2ull * m_config.dwResponseAllowanceUs * 1000 + 1000 * kMs;
    EXPECT_LE(m_line.Now() - qwStopAt, qwOneTransaction);
    EXPECT_EQ(Status(3).counters.dwNoAnswer, 0u) << "the stopped request was not given up";

    // A stop already asked for: not even Global_Control goes out.
    const std::size_t nSent = m_line.Sent().size();
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(m_line.Sent().size(), nSent);

    // Without the stop the cycle goes on where it was.
    m_pMaster->SetStopCheck(nullptr);
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Status(3).counters.dwNoAnswer, 1u);
    EXPECT_EQ(Status(3).counters.dwRetries, 7u);
}

} // namespace
} // namespace dptest
