// The master's receive path on a scripted line in virtual time: an answer counts only once the
// line has stayed quiet behind it for the idle time; two telegrams of the station in one answer
// window, or anything right behind the answer, leave the request unanswered and counted. Then
// the master itself: a slave whose answers come with strays never has a stray's inputs posted.
#include "tests/dp/ScriptedSlave.h"

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/FunctionCodes.h"
#include "dp/master/DpMaster.h"
#include "dp/master/LineExchange.h"

#include <gmock/gmock.h>

#include <functional>
#include <memory>
#include <string>

namespace dptest
{
namespace
{

constexpr std::uint32_t kBaudRate = 500000;
constexpr std::uint8_t kMaster = 2;
constexpr std::uint8_t kStation = 3;

const Bytes kGenuine = Sd2(kMaster, kStation, 0x08, -1, -1, {0x12, 0x34});
const Bytes kStray = Sd2(kMaster, kStation, 0x08, -1, -1, {0x99, 0x99});

dp::SBusParameters BusOf(std::uint32_t dwBaudRate)
{
    dp::SBusParameters bus;
    dp::DefaultBusParameters(dwBaudRate, bus);
    return bus;
}

Bytes Joined(Bytes abyFirst, const Bytes& abySecond)
{
    abyFirst.insert(abyFirst.end(), abySecond.begin(), abySecond.end());
    return abyFirst;
}

// One Data_Exchange of two bytes each way, to station 3, through the receive path alone.
class LineExchangeTest : public testing::Test
{
protected:
    LineExchangeTest()
    {
        m_line.SetResponder(
            [this](const dp::STelegram& request, std::uint64_t qwEndNs)
            {
                if (request.byDa == kStation && m_pfnAnswer)
                    m_pfnAnswer(qwEndNs + m_line.BitNs(m_bus.dwMinTsdr + 4));
            });
    }

    // What goes on the line for each request, from the time an answer may begin.
    void OnRequest(std::function<void(std::uint64_t qwAnswerAtNs)> pfnAnswer)
    {
        m_pfnAnswer = std::move(pfnAnswer);
    }
    // The bytes, then after a gap of so many characters the bytes behind them.
    void Answer(const Bytes& abyFirst, std::uint64_t qwGapCharacters, const Bytes& abyBehind)
    {
        OnRequest(
            [=, this](std::uint64_t qwAt)
            {
                m_line.Put(qwAt, abyFirst);
                if (!abyBehind.empty())
                    m_line.Put(qwAt + (abyFirst.size() + qwGapCharacters) * m_line.CharacterNs(),
                               abyBehind);
            });
    }

    dp::teOutcome Exchange(dp::STelegram& answer, bool bShortAck = false)
    {
        dp::STelegram request;
        request.eFrame = dp::teFrame::Sd2;
        request.byDa = kStation;
        request.bySa = kMaster;
        request.byFc = dp::RequestFc(dp::ReqSrdHigh, true, true);
        request.byDataLength = 2;
        return m_exchange.Transact(request, dp::SExpectation{bShortAck, 13}, answer);
    }

    Bytes DataOf(const dp::STelegram& answer)
    {
        return Bytes(answer.abyData, answer.abyData + answer.byDataLength);
    }

    // A gap of characters within the idle time behind a telegram, and one well beyond it
    // (beyond the character a byte takes to show, too).
    std::uint64_t WithinIdle() const
    {
        return (dp::IdleTime1Bits(m_bus) - 1) / dp::kBitsPerCharacter;
    }
    std::uint64_t BeyondIdle() const
    {
        return dp::IdleTime1Bits(m_bus) / dp::kBitsPerCharacter + 4;
    }

    CScriptedLine m_line{kBaudRate};
    const dp::SBusParameters m_bus = BusOf(kBaudRate);
    dp::CLineExchange m_exchange{m_line, m_bus, 100, kMaster};
    std::function<void(std::uint64_t)> m_pfnAnswer;
};

TEST_F(LineExchangeTest, AnAnswerOnAQuietLineIsTakenAndAStrayBeyondTheIdleTimeIsNoDoubt)
{
    dp::STelegram answer;
    Answer(kGenuine, 0, {});
    ASSERT_EQ(Exchange(answer), dp::teOutcome::Answered);
    EXPECT_EQ(DataOf(answer), (Bytes{0x12, 0x34}));

    // A telegram after the line has stayed quiet for the idle time is no part of this window.
    // It meets the next request on the line (a collision on a real one); whatever becomes of
    // that exchange, the stray's inputs are never its answer.
    Answer(kGenuine, BeyondIdle(), kStray);
    ASSERT_EQ(Exchange(answer), dp::teOutcome::Answered);
    EXPECT_EQ(DataOf(answer), (Bytes{0x12, 0x34}));
    EXPECT_EQ(m_exchange.Counters().dwAnswersInDoubt, 0u);
    for (int i = 0; i < 5; ++i)
    {
        answer = dp::STelegram();
        if (Exchange(answer) == dp::teOutcome::Answered)
        {
            EXPECT_EQ(DataOf(answer), (Bytes{0x12, 0x34})) << i;
        }
    }
}

TEST_F(LineExchangeTest, AnythingRightBehindTheAnswerLeavesItUnanswered)
{
    struct SCase
    {
        const char* pszName;
        Bytes abyBehind;
        std::uint64_t qwGap;
        bool bStations; // a second telegram of the station's
    };
    const SCase aCases[] = {
        {"the station's stray in the same burst", kStray, 0, true},
        {"the station's stray within the idle time", kStray, WithinIdle(), true},
        {"the same answer again", kGenuine, 1, true},
        {"another station", Sd2(kMaster, 9, 0x08, -1, -1, {0x99, 0x99}), 1, false},
        {"a byte of noise", Bytes{0x42}, 1, false},
        {"a short acknowledgement", kShortAck, 1, false},
    };
    std::uint32_t dwDoubts = 0;
    bool bWatched = false; // an answer taken before, still watched
    for (const SCase& test : aCases)
    {
        SCOPED_TRACE(test.pszName);
        Answer(kGenuine, test.qwGap, test.abyBehind);
        dp::STelegram answer;
        EXPECT_EQ(Exchange(answer), dp::teOutcome::NoAnswer);
        const dp::teWatch eAtWindow = m_exchange.TakeWatchVerdict();
        // The line goes quiet again: a clean answer is taken.
        Answer(kGenuine, 0, {});
        ASSERT_EQ(Exchange(answer), dp::teOutcome::Answered);
        // A second telegram of the station's also doubts the answer taken before it: at the
        // window's end, or when the next wait for a quiet line has read the end of it.
        const dp::teWatch eAtNext = m_exchange.TakeWatchVerdict();
        EXPECT_EQ(eAtWindow != dp::teWatch::None ? eAtWindow : eAtNext,
                  !bWatched        ? dp::teWatch::None
                  : test.bStations ? dp::teWatch::Doubted
                                   : dp::teWatch::Confirmed);
        dwDoubts += 1 + (bWatched && test.bStations ? 1 : 0);
        EXPECT_EQ(m_exchange.Counters().dwAnswersInDoubt, dwDoubts);
        bWatched = true;
        EXPECT_EQ(DataOf(answer), (Bytes{0x12, 0x34}));
    }
}

TEST_F(LineExchangeTest, AForgedAnswerAheadOfTheGenuineOneIsNeverTaken)
{
    for (std::uint64_t qwGap : {std::uint64_t{0}, std::uint64_t{1}, WithinIdle()})
    {
        SCOPED_TRACE(qwGap);
        const std::uint32_t dwDoubts = m_exchange.Counters().dwAnswersInDoubt;
        Answer(kStray, qwGap, kGenuine);
        dp::STelegram answer;
        EXPECT_EQ(Exchange(answer), dp::teOutcome::NoAnswer);
        EXPECT_NE(DataOf(answer), (Bytes{0x99, 0x99}));
        EXPECT_EQ(m_exchange.Counters().dwAnswersInDoubt, dwDoubts + 1);
    }
}

TEST_F(LineExchangeTest, AnythingAheadOfTheAnswerInItsWindowLeavesItInDoubt)
{
    struct SCase
    {
        const char* pszName;
        Bytes abyAhead;
        bool bShortAck;
    };
    const SCase aCases[] = {
        // An answer with a master's station type is none, but it is the station's.
        {"an invalid answer of the station", Sd2(kMaster, kStation, 0x28, -1, -1, {0x99, 0x99}),
         false},
        {"another station", Sd2(kMaster, 9, 0x08, -1, -1, {0x99, 0x99}), false},
        {"noise", Bytes{0x00, 0x7F, 0x3C}, false},
        {"a telegram spoilt",
         Bytes{0x68, 0x05, 0x05, 0x68, 0x02, 0x03, 0x08, 0x99, 0x99, 0x00, 0x16}, false},
        {"a short acknowledgement", kShortAck, false},
    };
    std::uint32_t dwDoubts = 0;
    for (const SCase& test : aCases)
    {
        SCOPED_TRACE(test.pszName);
        for (std::uint64_t qwGap : {std::uint64_t{0}, BeyondIdle()})
        {
            SCOPED_TRACE(qwGap);
            Answer(test.abyAhead, qwGap, kGenuine);
            dp::STelegram answer;
            EXPECT_EQ(Exchange(answer, test.bShortAck), dp::teOutcome::NoAnswer);
            EXPECT_EQ(m_exchange.Counters().dwAnswersInDoubt, ++dwDoubts);
        }
    }
    EXPECT_GT(m_exchange.Counters().dwInvalidAnswers, 0u);

    // Where a short acknowledgement may answer, a longer answer right behind one is a second
    // answer (one later than the idle time would have met the next request).
    Answer(kShortAck, WithinIdle(), Sd1(kMaster, kStation, 0x00));
    dp::STelegram ack;
    EXPECT_EQ(Exchange(ack, true), dp::teOutcome::NoAnswer);
    EXPECT_EQ(m_exchange.Counters().dwAnswersInDoubt, ++dwDoubts);
    Answer(kShortAck, 0, {});
    ASSERT_EQ(Exchange(ack, true), dp::teOutcome::Answered);
    EXPECT_EQ(ack.eFrame, dp::teFrame::ShortAck);

    // Our own request read back (a half-duplex adapter) is nothing else in the window.
    m_line.SetEcho(true);
    Answer(kGenuine, 0, {});
    dp::STelegram answer;
    ASSERT_EQ(Exchange(answer), dp::teOutcome::Answered);
    EXPECT_EQ(DataOf(answer), (Bytes{0x12, 0x34}));
    EXPECT_EQ(m_exchange.Counters().dwAnswersInDoubt, dwDoubts);
}

// The master with one slave whose answers carry strays.
class StrayAnswerMasterTest : public testing::Test
{
protected:
    StrayAnswerMasterTest()
    {
        dp::DefaultBusParameters(kBaudRate, m_config.bus);
        m_config.byMasterAddress = kMaster;
        m_config.dwResponseAllowanceUs = 100;
        m_config.dwRestartIntervalMs = 20;
        m_config.dwGlobalControlIntervalMs = 0;
        dp::SSlaveConfig slave;
        slave.byAddress = kStation;
        slave.wIdent = 0x0A35;
        slave.byInputLength = 2;
        slave.byOutputLength = 2;
        slave.abyConfig = {0x11, 0x21};
        m_config.slaves.push_back(slave);
        m_line.SetResponder([this](const dp::STelegram& request, std::uint64_t qwEndNs)
                            { m_slave.Respond(request, qwEndNs); });
        m_slave.SetInputs({0x12, 0x34});
        m_master = std::make_unique<dp::CDpMaster>(m_line, m_config);
        m_master->SetMode(MasterOperate);
    }

    bool Exchanging() const
    {
        const teBoardSlaveState eState = m_master->Slave(0).eState;
        return eState == SlaveDataExchange || eState == SlaveDiagnosisPending;
    }
    Bytes Inputs() const
    {
        return Bytes(m_master->Slave(0).abyInputs, m_master->Slave(0).abyInputs + 2);
    }
    bool StartUp()
    {
        for (int i = 0; i < 50 && !Exchanging(); ++i)
            m_master->RunCycle();
        return Exchanging();
    }
    // Data_Exchange answers get a stray: ahead of them or behind them, when the hook says.
    void Strays(bool bAhead, std::function<bool()> pfnNow)
    {
        m_slave.SetFault(
            [=](const dp::STelegram& request, CScriptedSlave::SReply& reply)
            {
                if (request.bHasDsap || reply.abyBytes.size() < 2 || !pfnNow())
                    return;
                reply.abyBytes =
                    bAhead ? Joined(kStray, reply.abyBytes) : Joined(reply.abyBytes, kStray);
            });
    }

    CScriptedLine m_line{kBaudRate};
    dp::SMasterConfig m_config;
    CScriptedSlave m_slave{m_line, kStation, 0x0A35, 2, 2};
    std::unique_ptr<dp::CDpMaster> m_master;
};

TEST_F(StrayAnswerMasterTest, AStrayOnEveryOtherAnswerCostsARepetitionNeverItsValue)
{
    ASSERT_TRUE(StartUp());
    for (bool bAhead : {false, true})
    {
        SCOPED_TRACE(bAhead ? "ahead" : "behind");
        const std::uint32_t dwRetries = m_master->Slave(0).counters.dwRetries;
        bool bStray = false;
        Strays(bAhead, [&bStray] { return bStray = !bStray; });
        for (int i = 0; i < 100; ++i)
        {
            ASSERT_TRUE(m_master->RunCycle());
            ASSERT_TRUE(Exchanging()) << i;
            ASSERT_EQ(Inputs(), (Bytes{0x12, 0x34})) << i;
        }
        EXPECT_EQ(m_master->Slave(0).counters.dwRetries, dwRetries + 100);
    }
    // Each window with a stray is in doubt, and so is the answer taken before it (the
    // repetition's): its station said more than it was asked before the next window closed.
    EXPECT_EQ(m_master->LineCounters().dwAnswersInDoubt, 400u);
}

TEST_F(StrayAnswerMasterTest, AStrayOnEveryAnswerTakesTheSlaveOutOfDataExchange)
{
    ASSERT_TRUE(StartUp());
    Strays(true, [] { return true; });
    for (int i = 0; i < 100; ++i)
    {
        ASSERT_TRUE(m_master->RunCycle());
        ASSERT_NE(Inputs(), (Bytes{0x99, 0x99})) << i;
    }
    EXPECT_FALSE(Exchanging());
    EXPECT_EQ(Inputs(), (Bytes{0x00, 0x00}));
    EXPECT_GT(m_master->Slave(0).counters.dwNoAnswer, 0u);
}

} // namespace
} // namespace dptest
