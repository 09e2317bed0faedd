// The token ring on a multi-drop line in virtual time: two of our stations, a PLC master written
// for the tests from the public rules, and slaves that answer whoever asks. The ring forms
// whichever master comes first, takes in a master that comes later, survives either master's
// death and a master that keeps the token, and holds against noise, a duplicate address, floods
// of token telegrams and tokens from outside the ring.
#include "tests/dp/MultiDropLine.h"
#include "tests/dp/ScriptedLine.h"
#include "tests/dp/TestPlcMaster.h"

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/FunctionCodes.h"
#include "dp/master/LineExchange.h"
#include "dp/station/FdlStation.h"

#include <gmock/gmock.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace dptest
{
namespace
{

constexpr std::uint32_t kBaudRate = 1500000;
constexpr std::uint8_t kHighest = 10;
constexpr std::uint64_t kMs = 1000000;

dp::SBusParameters Bus()
{
    dp::SBusParameters bus;
    dp::DefaultBusParameters(kBaudRate, bus);
    return bus;
}

// A slave that answers every master: FDL status, and a data request with two bytes of inputs.
// Counts the answers it gave to each master.
class CRingSlave
{
public:
    CRingSlave(CMultiDropLine& line, std::uint8_t byAddress) : m_line(line), m_byAddress(byAddress)
    {
        m_pEndpoint = &line.AddResponder([this](const dp::STelegram& telegram, std::uint64_t qwEnd)
                                         { Respond(telegram, qwEnd); });
    }
    std::uint32_t AnswersTo(std::uint8_t byMaster) const
    {
        const auto it = m_answers.find(byMaster);
        return it == m_answers.end() ? 0 : it->second;
    }

private:
    void Respond(const dp::STelegram& telegram, std::uint64_t qwEnd)
    {
        if (telegram.eFrame == dp::teFrame::Sd4 || telegram.eFrame == dp::teFrame::ShortAck ||
            telegram.byDa != m_byAddress || !dp::IsRequestFc(telegram.byFc))
            return;
        const std::uint64_t qwAt = qwEnd + m_line.BitNs(11 + 5);
        const std::uint8_t byMaster = telegram.bySa;
        if (dp::FcCode(telegram.byFc) == dp::ReqFdlStatus)
            m_line.Put(*m_pEndpoint, qwAt, Sd1(byMaster, m_byAddress, 0x00));
        else
            m_line.Put(*m_pEndpoint, qwAt,
                       Sd2(byMaster, m_byAddress, 0x08, -1, -1,
                           {m_byAddress, static_cast<std::uint8_t>(m_answers[byMaster])}));
        ++m_answers[byMaster];
    }

    CMultiDropLine& m_line;
    std::uint8_t m_byAddress;
    CMultiDropLine::CEndpoint* m_pEndpoint = nullptr;
    std::map<std::uint8_t, std::uint32_t> m_answers;
};

// What runs on our station while it holds the token: one data request to each of its slaves,
// and more rounds while the hold time lasts.
class CPollingApplication : public dp::IFdlApplication
{
public:
    CPollingApplication(dp::IDpLine& line, std::uint8_t byMaster,
                        std::vector<std::uint8_t> abySlaves)
        : m_exchange(line, Bus(), 0, byMaster), m_byMaster(byMaster),
          m_abySlaves(std::move(abySlaves))
    {
    }
    bool UseToken(std::uint64_t qwHoldUntilNs) override
    {
        do
        {
            for (std::uint8_t bySlave : m_abySlaves)
            {
                dp::STelegram request;
                request.eFrame = dp::teFrame::Sd1;
                request.byDa = bySlave;
                request.bySa = m_byMaster;
                request.byFc = dp::RequestFc(dp::ReqSrdHigh, false, false);
                dp::STelegram answer;
                const dp::teOutcome eOutcome =
                    m_exchange.Transact(request, dp::SExpectation{false, 11}, answer);
                if (eOutcome == dp::teOutcome::LineFailed)
                    return false;
                if (eOutcome == dp::teOutcome::Answered)
                    ++m_answers[bySlave];
            }
            ++m_dwCycles;
        } while (!m_abySlaves.empty() && platform::ReadMonotonicNs() < qwHoldUntilNs);
        return true;
    }
    std::uint32_t Answers(std::uint8_t bySlave) const
    {
        const auto it = m_answers.find(bySlave);
        return it == m_answers.end() ? 0 : it->second;
    }
    std::uint32_t Cycles() const { return m_dwCycles; }

private:
    dp::CLineExchange m_exchange;
    std::uint8_t m_byMaster;
    std::vector<std::uint8_t> m_abySlaves;
    std::map<std::uint8_t, std::uint32_t> m_answers;
    std::uint32_t m_dwCycles = 0;
};

struct SEvent
{
    std::uint64_t qwAtNs;
    std::string strText;
};

// One of our stations with its application, on an endpoint of its own.
struct SOurMaster
{
    SOurMaster(CMultiDropLine& line, std::uint8_t byAddress, std::vector<std::uint8_t> abySlaves,
               std::uint32_t dwTargetRotationBits = 20000)
        : m_line(line), endpoint(line.AddEndpoint()),
          station(endpoint, Config(byAddress, dwTargetRotationBits)),
          application(station.Line(), byAddress, std::move(abySlaves))
    {
        station.AddApplication(&application);
        station.SetEventHandler(
            [this](const std::string& strText) {
                events.push_back({platform::ReadMonotonicNs(), strText});
            });
    }
    ~SOurMaster() { m_line.Stop(endpoint); }
    static dp::SStationConfig Config(std::uint8_t byAddress, std::uint32_t dwTargetRotationBits)
    {
        dp::SStationConfig config;
        config.byAddress = byAddress;
        config.bus = Bus();
        config.byHighestAddress = kHighest;
        config.dwTargetRotationBits = dwTargetRotationBits;
        config.dwGapFactor = 2;
        return config;
    }
    void Start(CMultiDropLine& line)
    {
        line.Start(endpoint, [this](dp::IDpLine&) { bRunResult = station.Run(); });
    }
    bool Said(const std::string& strPart) const
    {
        for (const SEvent& event : events)
            if (event.strText.find(strPart) != std::string::npos)
                return true;
        return false;
    }

    CMultiDropLine& m_line;
    CMultiDropLine::CEndpoint& endpoint;
    dp::CFdlStation station;
    CPollingApplication application;
    std::vector<SEvent> events;
    bool bRunResult = true;
};

struct SPlc
{
    SPlc(CMultiDropLine& line, const SPlcSettings& settings)
        : m_line(line), endpoint(line.AddEndpoint()), master(endpoint, settings)
    {
    }
    ~SPlc() { m_line.Stop(endpoint); }
    void Start(CMultiDropLine& line)
    {
        line.Start(endpoint, [this](dp::IDpLine&) { master.Run(); });
    }
    CMultiDropLine& m_line;
    CMultiDropLine::CEndpoint& endpoint;
    CTestPlcMaster master;
};

SPlcSettings PlcSettings(std::uint8_t byAddress, std::vector<std::uint8_t> abySlaves)
{
    SPlcSettings settings;
    settings.byAddress = byAddress;
    settings.dwBaudRate = kBaudRate;
    settings.dwSlotBits = Bus().dwSlotTime;
    settings.byHighestAddress = kHighest;
    settings.dwGapFactor = 2;
    settings.abySlaves = std::move(abySlaves);
    return settings;
}

class TokenRingTest : public testing::Test
{
protected:
    TokenRingTest()
        : m_line(kBaudRate), m_slave20(m_line, 20), m_slave21(m_line, 21), m_slave30(m_line, 30),
          m_slave31(m_line, 31), m_slave7(m_line, 7)
    {
    }

    // Answers a slave gave each: ours at 2 polls 20 and 21, the PLC at 5 polls 30 and 31.
    CMultiDropLine m_line;
    CRingSlave m_slave20;
    CRingSlave m_slave21;
    CRingSlave m_slave30;
    CRingSlave m_slave31;
    CRingSlave m_slave7; // in the gap: GAP maintenance finds it
    // Other stations a test adds, by address.
    std::map<std::uint8_t, CMultiDropLine::CEndpoint*> m_others;
};

TEST_F(TokenRingTest, OursFirstAloneThenPlcAndASecondOfOursAreTakenIn)
{
    SOurMaster ours(m_line, 2, {20, 21});
    ours.Start(m_line);
    m_line.RunFor(50 * kMs);
    // Alone on a silent line: it claimed the token and passes it to itself.
    EXPECT_EQ(ours.station.RingState(), dp::teRingState::InRing);
    EXPECT_EQ(ours.station.Counters().dwTokensClaimed, 1u);
    EXPECT_GT(ours.station.Counters().dwTokensReceived, 5u);
    EXPECT_GT(ours.application.Answers(20), 5u);

    SPlc plc(m_line, PlcSettings(5, {30, 31}));
    plc.Start(m_line);
    m_line.RunFor(500 * kMs);
    EXPECT_TRUE(plc.master.InRing());
    EXPECT_GT(plc.master.TokensReceived(), 10u);
    EXPECT_TRUE(ours.station.ActiveStations().Contains(5));
    EXPECT_TRUE(ours.Said("takes master 5 into the ring"));
    EXPECT_EQ(ours.station.GapStation(7), dp::teStationKind::Slave);
    // Neither claimed again: the token went round.
    EXPECT_EQ(ours.station.Counters().dwTokensClaimed, 1u);
    EXPECT_EQ(plc.master.Claims(), 0u);

    SOurMaster second(m_line, 3, {});
    second.Start(m_line);
    const std::uint32_t dwOursBefore = ours.application.Answers(21);
    const std::uint32_t dwPlcBefore = plc.master.Answers(31);
    m_line.RunFor(500 * kMs);
    EXPECT_EQ(second.station.RingState(), dp::teRingState::InRing);
    EXPECT_TRUE(ours.station.ActiveStations().Contains(3));
    EXPECT_TRUE(plc.master.InLas(3));
    EXPECT_GT(second.station.Counters().dwTokensReceived, 10u);
    EXPECT_GT(ours.application.Answers(21), dwOursBefore + 10);
    EXPECT_GT(plc.master.Answers(31), dwPlcBefore + 10);
    EXPECT_EQ(ours.station.Fault(), dp::teStationFault::None);
    EXPECT_EQ(second.station.Fault(), dp::teStationFault::None);
    // Every master asked only its own slaves for data.
    EXPECT_EQ(m_slave30.AnswersTo(2), 0u);
    EXPECT_EQ(m_slave20.AnswersTo(5), 0u);
}

TEST_F(TokenRingTest, PlcFirstThenOursIsTakenIn)
{
    SPlc plc(m_line, PlcSettings(5, {30, 31}));
    plc.Start(m_line);
    m_line.RunFor(50 * kMs);
    EXPECT_TRUE(plc.master.InRing());
    EXPECT_EQ(plc.master.Claims(), 1u);

    SOurMaster ours(m_line, 2, {20, 21});
    ours.Start(m_line);
    m_line.RunFor(500 * kMs);
    EXPECT_EQ(ours.station.RingState(), dp::teRingState::InRing);
    // It never claimed on a live line: it waited to be taken in.
    EXPECT_EQ(ours.station.Counters().dwTokensClaimed, 0u);
    EXPECT_GT(ours.station.Counters().dwStatusAnswered, 0u);
    EXPECT_TRUE(plc.master.InLas(2));
    EXPECT_GT(ours.application.Answers(20), 10u);
    EXPECT_GT(plc.master.Answers(30), 10u);
    EXPECT_GT(ours.station.Counters().qwLastRotationNs, 0u);
}

class TokenRingOfTwoTest : public TokenRingTest
{
protected:
    TokenRingOfTwoTest() : m_ours(m_line, 2, {20, 21}), m_plc(m_line, PlcSettings(5, {30, 31}))
    {
        m_ours.Start(m_line);
        m_plc.Start(m_line);
        m_line.RunFor(300 * kMs);
    }
    bool RingFormed() const
    {
        return m_ours.station.RingState() == dp::teRingState::InRing && m_plc.master.InRing() &&
               m_ours.station.ActiveStations().Contains(5) && m_plc.master.InLas(2);
    }
    SOurMaster m_ours;
    SPlc m_plc;
};

TEST_F(TokenRingOfTwoTest, PlcDiesAndOursGoesOnAlone)
{
    ASSERT_TRUE(RingFormed());
    m_line.Kill(m_plc.endpoint);
    const std::uint32_t dwBefore = m_ours.application.Answers(20);
    m_line.RunFor(300 * kMs);
    EXPECT_EQ(m_ours.station.RingState(), dp::teRingState::InRing);
    EXPECT_FALSE(m_ours.station.ActiveStations().Contains(5));
    EXPECT_GT(m_ours.application.Answers(20), dwBefore + 10);
    EXPECT_EQ(m_ours.station.Fault(), dp::teStationFault::None);
}

TEST_F(TokenRingOfTwoTest, OursDiesAndThePlcGoesOn)
{
    ASSERT_TRUE(RingFormed());
    m_line.Kill(m_ours.endpoint);
    const std::uint32_t dwBefore = m_plc.master.Answers(31);
    m_line.RunFor(300 * kMs);
    EXPECT_TRUE(m_plc.master.InRing());
    EXPECT_FALSE(m_plc.master.InLas(2));
    EXPECT_GT(m_plc.master.Answers(31), dwBefore + 10);
}

TEST_F(TokenRingOfTwoTest, NoiseGarblesTheLineAndTheRingHolds)
{
    ASSERT_TRUE(RingFormed());
    auto& noise = m_line.AddEndpoint();
    std::uint32_t dwState = 12345;
    for (int nBurst = 0; nBurst < 20; ++nBurst)
    {
        Bytes abyNoise;
        for (int i = 0; i < 40; ++i)
        {
            dwState = dwState * 1103515245u + 12345u;
            abyNoise.push_back(static_cast<std::uint8_t>(dwState >> 16));
        }
        m_line.Put(noise, m_line.Now(), abyNoise);
        m_line.RunFor(7 * kMs);
    }
    EXPECT_GT(m_line.GarbledCharacters(), 0u);
    const std::uint32_t dwOurs = m_ours.application.Answers(21);
    const std::uint32_t dwPlc = m_plc.master.Answers(31);
    m_line.RunFor(300 * kMs);
    EXPECT_TRUE(RingFormed());
    EXPECT_EQ(m_ours.station.Fault(), dp::teStationFault::None);
    EXPECT_GT(m_ours.application.Answers(21), dwOurs + 10);
    EXPECT_GT(m_plc.master.Answers(31), dwPlc + 10);
}

TEST_F(TokenRingOfTwoTest, ATokenFromOutsideTheRingIsRefusedOnce)
{
    ASSERT_TRUE(RingFormed());
    auto& rogue = m_line.AddEndpoint();
    // A station the ring never heard passes the token to us, once: refused and counted. Put on
    // the line at a quiet moment: right after our own token pass to the PLC would collide, so
    // it goes where the line is idle (the rogue has no means to know; a collision is also fine).
    const std::uint32_t dwRefused = m_ours.station.Counters().dwTokensRefused;
    const std::uint32_t dwReceived = m_ours.station.Counters().dwTokensReceived;
    m_line.Put(rogue, m_line.Now(), {0xDC, 2, 8});
    m_line.RunFor(300 * kMs);
    const dp::SStationCounters& counters = m_ours.station.Counters();
    EXPECT_TRUE(counters.dwTokensRefused > dwRefused || m_line.GarbledCharacters() > 0);
    EXPECT_EQ(counters.dwTokensFromOutside, 0u);
    EXPECT_GT(counters.dwTokensReceived, dwReceived + 10);
    EXPECT_TRUE(RingFormed());
}

TEST_F(TokenRingTest, AMasterThatKeepsTheTokenLosesItToTheTimeOut)
{
    SOurMaster ours(m_line, 2, {20, 21});
    ours.Start(m_line);
    m_line.RunFor(50 * kMs);
    SPlcSettings settings = PlcSettings(5, {30});
    settings.bKeepToken = true;
    SPlc plc(m_line, settings);
    plc.Start(m_line);
    m_line.RunFor(500 * kMs);
    // Taken in, it took the token and fell silent: ours claimed it after the time-out.
    ASSERT_GT(plc.master.TokensReceived(), 0u);
    EXPECT_GE(ours.station.Counters().dwTokensLost, 1u);
    const std::uint64_t qwTaken = plc.master.LastTokenAt();
    std::uint64_t qwClaimed = 0;
    for (const SEvent& event : ours.events)
        if (event.qwAtNs > qwTaken && event.strText.find("token is lost") != std::string::npos)
        {
            qwClaimed = event.qwAtNs;
            break;
        }
    ASSERT_NE(qwClaimed, 0u);
    EXPECT_LE(qwClaimed - qwTaken, ours.station.TokenTimeoutNs() + ours.station.TargetRotationNs());
    // The silent master never used the token, so the claimer dropped it and goes on alone.
    const std::uint32_t dwBefore = ours.application.Answers(20);
    m_line.RunFor(200 * kMs);
    EXPECT_GT(ours.application.Answers(20), dwBefore + 10);
    EXPECT_FALSE(ours.station.ActiveStations().Contains(5));
}

TEST_F(TokenRingTest, ADuplicateAddressStopsOursAndThePlcGoesOn)
{
    SPlc plc(m_line, PlcSettings(2, {30, 31}));
    plc.Start(m_line);
    m_line.RunFor(50 * kMs);
    SOurMaster ours(m_line, 2, {20, 21});
    ours.Start(m_line);
    m_line.RunFor(100 * kMs);
    EXPECT_EQ(ours.station.Fault(), dp::teStationFault::DuplicateAddress);
    EXPECT_EQ(ours.station.RingState(), dp::teRingState::Stopped);
    EXPECT_FALSE(ours.bRunResult);
    EXPECT_TRUE(ours.Said("another station sends with address 2"));
    // It never sent a thing: it was still listening when it heard its address.
    EXPECT_EQ(ours.endpoint.BytesSent(), 0u);
    const std::uint32_t dwBefore = plc.master.Answers(30);
    m_line.RunFor(200 * kMs);
    EXPECT_GT(plc.master.Answers(30), dwBefore + 10);
    EXPECT_EQ(m_slave20.AnswersTo(2), 0u);
}

TEST_F(TokenRingTest, AFloodOfTokenTelegramsWhileListeningIsBoundedAndTheRingForms)
{
    SPlc plc(m_line, PlcSettings(5, {30, 31}));
    plc.Start(m_line);
    m_line.RunFor(50 * kMs);
    SOurMaster ours(m_line, 2, {20, 21});
    ours.Start(m_line);
    // Tokens between stations beyond the HSA, and to us from a station outside the ring.
    auto& rogue = m_line.AddEndpoint();
    Bytes abyFlood;
    for (int i = 0; i < 300; ++i)
    {
        const std::uint8_t abyToken[][3] = {{0xDC, 41, 40}, {0xDC, 40, 41}, {0xDC, 2, 8}};
        abyFlood.insert(abyFlood.end(), abyToken[i % 3], abyToken[i % 3] + 3);
    }
    m_line.Put(rogue, m_line.Now(), abyFlood);
    m_line.RunFor(600 * kMs);
    const dp::SStationCounters& counters = ours.station.Counters();
    EXPECT_GT(counters.dwTokenTelegramsHeard, 100u);
    EXPECT_GT(counters.dwTokensBeyondHsa, 100u);
    EXPECT_GT(counters.dwTokensRefused, 50u);
    EXPECT_EQ(counters.dwTokensFromOutside, 0u);
    EXPECT_EQ(ours.station.Fault(), dp::teStationFault::None);
    EXPECT_EQ(ours.station.RingState(), dp::teRingState::InRing);
    EXPECT_FALSE(ours.station.ActiveStations().Contains(8));
    const std::uint32_t dwBefore = ours.application.Answers(20);
    m_line.RunFor(200 * kMs);
    EXPECT_GT(ours.application.Answers(20), dwBefore + 10);
}

TEST_F(TokenRingOfTwoTest, TokensPassedWhileOursHoldsTheTokenStopIt)
{
    ASSERT_TRUE(RingFormed());
    // Another station passes tokens all the while, each after an idle line as a token goes:
    // sooner or later while ours holds one. (Beyond the HSA, so that the PLC pays no heed.)
    auto& rogue = m_line.AddEndpoint();
    for (std::uint64_t i = 0; i < 200; ++i)
        m_line.Put(rogue, m_line.Now() + i * kMs / 2, {0xDC, 41, 40});
    m_line.RunFor(100 * kMs);
    EXPECT_EQ(m_ours.station.Fault(), dp::teStationFault::SecondToken);
    EXPECT_EQ(m_ours.station.RingState(), dp::teRingState::Stopped);
    EXPECT_TRUE(m_ours.Said("passed a token while this station held it"));
    // Stopped means silent, whatever comes.
    const std::uint64_t qwSent = m_ours.endpoint.BytesSent();
    m_line.RunFor(300 * kMs);
    EXPECT_EQ(m_ours.endpoint.BytesSent(), qwSent);
    // The PLC, alone again once the flood is over, goes on.
    const std::uint32_t dwBefore = m_plc.master.Answers(31);
    m_line.RunFor(200 * kMs);
    EXPECT_GT(m_plc.master.Answers(31), dwBefore + 10);
}

// Every line at every level, kept.
class CKeptTrace : public dp::IBusTrace
{
public:
    bool Wants(int) override { return true; }
    void Line(int, const char* pszText) override { m_astrLines.emplace_back(pszText); }
    bool Has(const std::string& strPart) const
    {
        for (const std::string& strLine : m_astrLines)
            if (strLine.find(strPart) != std::string::npos)
                return true;
        return false;
    }

private:
    std::vector<std::string> m_astrLines;
};

TEST_F(TokenRingTest, ImpossibleStatusAnswersAreCountedAndNobodyIsTakenIn)
{
    // At 8 a station that says it is in the ring, which its predecessor never saw; at 9 one
    // with the reserved bit set. Neither is taken in.
    for (const auto& [byAddress, byFc] : {std::pair<std::uint8_t, std::uint8_t>{8, 0x30},
                                          std::pair<std::uint8_t, std::uint8_t>{9, 0xA0}})
    {
        m_others[byAddress] = &m_line.AddResponder(
            [this, byAddress, byFc](const dp::STelegram& telegram, std::uint64_t qwEnd)
            {
                if (telegram.eFrame == dp::teFrame::Sd1 && telegram.byDa == byAddress)
                    m_line.Put(*m_others[byAddress], qwEnd + m_line.BitNs(20),
                               Sd1(telegram.bySa, byAddress, byFc));
            });
    }
    SOurMaster ours(m_line, 2, {20});
    CKeptTrace trace;
    ours.station.SetTrace(&trace);
    ours.Start(m_line);
    m_line.RunFor(300 * kMs);
    const dp::SStationCounters& counters = ours.station.Counters();
    EXPECT_GE(counters.dwBadStatusAnswers, 2u);
    EXPECT_EQ(counters.dwTakenIn, 0u);
    EXPECT_EQ(ours.station.ActiveStations().Members(), std::vector<std::uint8_t>{2});
    EXPECT_EQ(ours.station.GapStation(8), dp::teStationKind::Unknown);
    EXPECT_EQ(ours.station.GapStation(7), dp::teStationKind::Slave);
    EXPECT_GT(ours.application.Answers(20), 10u);
    // Token telegrams reach the trace at the telegram level, decoded and in hex.
    EXPECT_TRUE(trace.Has("station 2 token passed: "));
    EXPECT_TRUE(trace.Has("SD4 2->2: dc 02 02"));
    EXPECT_TRUE(trace.Has("station 2: claims the token: the line is silent"));
}

} // namespace
} // namespace dptest
