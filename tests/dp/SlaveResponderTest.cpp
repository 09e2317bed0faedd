// The slave simulator's responder on a scripted line in virtual time: the test plays the master
// and the other stations, with every request written out byte by byte from the telegram
// layouts, and reads the answers back byte by byte.
#include "dp/slave/SlaveResponder.h"

#include "tests/dp/ScriptedLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using dptest::Bytes;

constexpr std::uint32_t kBaud = 187500;
constexpr std::uint8_t kMaster = 2;
constexpr std::uint8_t kSlaveA = 3; // 2 bytes in, 2 out, inputs loop the outputs back
constexpr std::uint8_t kSlaveB = 4; // 1 byte in, 1 out
constexpr std::uint16_t kIdentA = 0x0A35;
constexpr std::uint16_t kIdentB = 0x0B12;

// Function codes of requests (bit 6 set, FCB and FCV clear): FDL status, send and request data
// with high and low priority, send data without acknowledgement.
constexpr std::uint8_t kFcFdlStatus = 0x49;
constexpr std::uint8_t kFcSrdHigh = 0x4D;
constexpr std::uint8_t kFcSrdLow = 0x4C;
constexpr std::uint8_t kFcSdnHigh = 0x46;
// Of responses from a slave: positive acknowledgement, data low priority.
constexpr std::uint8_t kFcOk = 0x00;
constexpr std::uint8_t kFcDataLow = 0x08;

// Service access points of the DP services, and the master's end.
constexpr int kSapGlobalControl = 58;
constexpr int kSapDiag = 60;
constexpr int kSapPrm = 61;
constexpr int kSapCfg = 62;
constexpr int kSapMaster = 62;

constexpr std::uint8_t kShortAckByte = 0xE5;
constexpr std::uint64_t kMs = 1000000;

dp::SSlaveDefinition Definition(std::uint8_t byAddress, std::uint16_t wIdent, std::uint8_t byLength)
{
    dp::SSlaveDefinition definition;
    definition.byAddress = byAddress;
    definition.wIdent = wIdent;
    definition.abyUserPrm = {0x00};
    // One module of byLength bytes each way: 0x30 | (byLength - 1).
    definition.abyConfig = {static_cast<std::uint8_t>(0x30 | (byLength - 1))};
    definition.byInputLength = byLength;
    definition.byOutputLength = byLength;
    korix::SGenerator loopback{};
    loopback.byKind = korix::GenLoopback;
    loopback.byLength = byLength;
    definition.aGenerators.push_back(loopback);
    return definition;
}

// Set_Prm data: station status (watchdog on when asked), the watchdog factors, min TSDR, the
// ident number high byte first, group 1, then the user parameter data.
Bytes PrmData(std::uint16_t wIdent, std::uint8_t byMinTsdr, std::uint8_t byWatchdogFactor = 0)
{
    return {static_cast<std::uint8_t>(byWatchdogFactor != 0 ? 0x88 : 0x80),
            static_cast<std::uint8_t>(byWatchdogFactor != 0 ? byWatchdogFactor : 1),
            1,
            byMinTsdr,
            static_cast<std::uint8_t>(wIdent >> 8),
            static_cast<std::uint8_t>(wIdent & 0xFF),
            0x01,
            0x00};
}

Bytes ToSap(std::uint8_t bySlave, int nSap, const Bytes& abyData)
{
    return dptest::Sd2(bySlave, kMaster, kFcSrdHigh, nSap, kSapMaster, abyData);
}

class CSlaveResponderTest : public testing::Test
{
protected:
    CSlaveResponderTest()
    {
        m_slaves.emplace_back(Definition(kSlaveA, kIdentA, 2));
        m_slaves.emplace_back(Definition(kSlaveB, kIdentB, 1));
    }

    dp::CSimulatedSlave& SlaveA() { return m_slaves[0]; }
    dp::CSimulatedSlave& SlaveB() { return m_slaves[1]; }

    // Puts a request on the line a little after now; the time its last character ends.
    std::uint64_t Request(const Bytes& abyBytes)
    {
        const std::uint64_t qwAt = m_line.Now() + 100 * m_line.BitNs(1);
        m_line.Put(qwAt, abyBytes);
        return qwAt + abyBytes.size() * m_line.CharacterNs();
    }

    // Serves the line for so long in virtual time.
    void ServeFor(std::uint64_t qwNs)
    {
        const std::uint64_t qwEnd = m_line.Now() + qwNs;
        while (m_line.Now() < qwEnd)
            ASSERT_TRUE(m_responder.Serve(qwEnd - m_line.Now()));
    }

    // Sends the request, serves the line, and returns what was sent back (several pieces
    // joined).
    Bytes Exchange(const Bytes& abyRequest)
    {
        const std::size_t nBefore = m_line.Sent().size();
        Request(abyRequest);
        ServeFor(5 * kMs);
        Bytes abyBack;
        for (std::size_t i = nBefore; i < m_line.Sent().size(); ++i)
            abyBack.insert(abyBack.end(), m_line.Sent()[i].begin(), m_line.Sent()[i].end());
        return abyBack;
    }

    // Takes a slave through Set_Prm and Chk_Cfg into data exchange.
    void StartUp(std::uint8_t bySlave, std::uint16_t wIdent, std::uint8_t byConfig,
                 std::uint8_t byWatchdogFactor = 0)
    {
        ASSERT_EQ(Exchange(ToSap(bySlave, kSapPrm, PrmData(wIdent, 0, byWatchdogFactor))),
                  Bytes{kShortAckByte});
        ASSERT_EQ(Exchange(ToSap(bySlave, kSapCfg, {byConfig})), Bytes{kShortAckByte});
    }

    dptest::CScriptedLine m_line{kBaud};
    std::vector<dp::CSimulatedSlave> m_slaves;
    dp::CSlaveResponder m_responder{m_line, m_slaves, kBaud};
};

// The answer to an FDL status request from slave 3 to master 2: SD1, FC "OK" of a slave.
const Bytes kStatusAnswer = {0x10, kMaster, kSlaveA, kFcOk, kMaster + kSlaveA + kFcOk, 0x16};

TEST_F(CSlaveResponderTest, AnswersARequestAfterTheSlavesMinStationDelay)
{
    const std::uint64_t qwEnd = Request(dptest::Sd1(kSlaveA, kMaster, kFcFdlStatus));
    ServeFor(20 * kMs);
    ASSERT_EQ(m_line.Sent().size(), 1u);
    EXPECT_EQ(m_line.Sent()[0], kStatusAnswer);
    // The slave's own min TSDR, one character, before any Set_Prm.
    EXPECT_GE(m_line.SentAt()[0], qwEnd + m_line.BitNs(11));
}

TEST_F(CSlaveResponderTest, TakesItsMinStationDelayFromAnAcceptedSetPrm)
{
    ASSERT_EQ(Exchange(ToSap(kSlaveA, kSapPrm, PrmData(kIdentA, 200))), Bytes{kShortAckByte});
    const std::uint64_t qwEnd = Request(ToSap(kSlaveA, kSapDiag, {}));
    ServeFor(20 * kMs);
    ASSERT_EQ(m_line.Sent().size(), 2u);
    EXPECT_GE(m_line.SentAt()[1], qwEnd + m_line.BitNs(200));
    // Diagnosis from SAP 60 to the master's 62, data low priority, status bytes behind.
    const Bytes& abyDiag = m_line.Sent()[1];
    ASSERT_GE(abyDiag.size(), 4u + 5u + 6u + 2u);
    EXPECT_EQ(abyDiag[0], 0x68);
    EXPECT_EQ(abyDiag[4], kMaster | 0x80);
    EXPECT_EQ(abyDiag[5], kSlaveA | 0x80);
    EXPECT_EQ(abyDiag[6], kFcDataLow);
    EXPECT_EQ(abyDiag[7], kSapMaster);
    EXPECT_EQ(abyDiag[8], kSapDiag);
    EXPECT_EQ(abyDiag[12], kMaster); // the master that parameterised it
}

TEST_F(CSlaveResponderTest, AnswersLateByTheSlavesFaultAndServesWhatCameMeanwhile)
{
    SlaveA().Faults().dwLateMs = 5;
    const std::uint64_t qwEnd = Request(dptest::Sd1(kSlaveA, kMaster, kFcFdlStatus));
    // Another master asks slave 4 while slave 3 still waits to answer.
    const Bytes abyToB = dptest::Sd1(kSlaveB, 1, kFcFdlStatus);
    m_line.Put(qwEnd + 1 * kMs, abyToB);
    ServeFor(50 * kMs);
    ASSERT_EQ(m_line.Sent().size(), 2u);
    EXPECT_EQ(m_line.Sent()[0], kStatusAnswer);
    EXPECT_GE(m_line.SentAt()[0], qwEnd + 5 * kMs);
    EXPECT_EQ(m_line.Sent()[1], (Bytes{0x10, 1, kSlaveB, kFcOk, 1 + kSlaveB + kFcOk, 0x16}));
    EXPECT_GE(m_line.SentAt()[1], m_line.SentAt()[0]);
    EXPECT_EQ(m_responder.Counters().dwAnswers, 2u);
}

TEST_F(CSlaveResponderTest, SilentSlaveDoesNotAnswer)
{
    SlaveA().Faults().bSilent = true;
    EXPECT_TRUE(Exchange(dptest::Sd1(kSlaveA, kMaster, kFcFdlStatus)).empty());
    EXPECT_TRUE(Exchange(ToSap(kSlaveA, kSapPrm, PrmData(kIdentA, 0))).empty());
    // Nor does it take what it did not hear.
    EXPECT_EQ(SlaveA().State(), dp::teSlaveState::WaitPrm);
    const dp::SResponderCounters& counters = m_responder.Counters();
    EXPECT_EQ(counters.dwRequests, 2u);
    EXPECT_EQ(counters.dwSilenced, 2u);
    EXPECT_EQ(counters.dwAnswers, 0u);
}

TEST_F(CSlaveResponderTest, CorruptionFaultSpoilsTheCheckSumOfSoManyAnswers)
{
    SlaveA().Faults().dwCorruptCount = 2;
    const Bytes abyFirst = Exchange(dptest::Sd1(kSlaveA, kMaster, kFcFdlStatus));
    ASSERT_EQ(abyFirst.size(), kStatusAnswer.size());
    // Everything but the check sum as it should be.
    EXPECT_NE(abyFirst[4], kStatusAnswer[4]);
    Bytes abyMended = abyFirst;
    abyMended[4] = kStatusAnswer[4];
    EXPECT_EQ(abyMended, kStatusAnswer);
    // A short acknowledgement has no check sum: it goes as no delimiter at all.
    const Bytes abySecond = Exchange(ToSap(kSlaveA, kSapPrm, PrmData(kIdentA, 0)));
    ASSERT_EQ(abySecond.size(), 1u);
    EXPECT_NE(abySecond[0], kShortAckByte);
    // Then the answers are sound again.
    EXPECT_EQ(Exchange(dptest::Sd1(kSlaveA, kMaster, kFcFdlStatus)), kStatusAnswer);
    EXPECT_EQ(m_responder.Counters().dwCorrupted, 2u);
    EXPECT_EQ(m_responder.Counters().dwAnswers, 3u);
}

TEST_F(CSlaveResponderTest, EchoSendsEveryByteBackBeforeTheAnswer)
{
    m_responder.SetEcho(true);
    const Bytes abyRequest = dptest::Sd1(kSlaveA, kMaster, kFcFdlStatus);
    // Noise before it is echoed as well: the echo is of bytes, not of telegrams.
    const Bytes abyNoise = {0x00, 0x55};
    Bytes abyExpected = abyNoise;
    abyExpected.insert(abyExpected.end(), abyRequest.begin(), abyRequest.end());
    Bytes abyLine = abyExpected;
    abyExpected.insert(abyExpected.end(), kStatusAnswer.begin(), kStatusAnswer.end());
    EXPECT_EQ(Exchange(abyLine), abyExpected);
    ASSERT_GE(m_line.Sent().size(), 2u);
    EXPECT_EQ(m_line.Sent().back(), kStatusAnswer);
}

TEST_F(CSlaveResponderTest, BroadcastReachesEverySlaveAndIsNotAnswered)
{
    StartUp(kSlaveA, kIdentA, 0x31);
    StartUp(kSlaveB, kIdentB, 0x30);
    ASSERT_EQ(SlaveA().State(), dp::teSlaveState::DataExchange);
    ASSERT_EQ(SlaveB().State(), dp::teSlaveState::DataExchange);
    // Outputs to both; the inputs loop them back.
    const Bytes abyBackA = Exchange(dptest::Sd2(kSlaveA, kMaster, kFcSrdLow, -1, -1, {0x12, 0x34}));
    EXPECT_EQ(abyBackA, dptest::Sd2(kMaster, kSlaveA, kFcDataLow, -1, -1, {0x12, 0x34}));
    Exchange(dptest::Sd2(kSlaveB, kMaster, kFcSrdLow, -1, -1, {0x56}));
    ASSERT_EQ(SlaveB().Outputs()[0], 0x56);
    const dp::SResponderCounters before = m_responder.Counters();
    const std::size_t nSent = m_line.Sent().size();

    // Global_Control Clear_Data to every group, sent without acknowledgement.
    const Bytes abyClear =
        dptest::Sd2(127, kMaster, kFcSdnHigh, kSapGlobalControl, kSapMaster, {0x02, 0x00});
    EXPECT_TRUE(Exchange(abyClear).empty());
    EXPECT_EQ(m_line.Sent().size(), nSent);
    EXPECT_EQ(SlaveA().Outputs()[0], 0);
    EXPECT_EQ(SlaveA().Outputs()[1], 0);
    EXPECT_EQ(SlaveB().Outputs()[0], 0);
    EXPECT_EQ(m_responder.Counters().dwRequests, before.dwRequests);
    EXPECT_EQ(m_responder.Counters().dwAnswers, before.dwAnswers);
}

TEST_F(CSlaveResponderTest, BroadcastMissesASilentSlave)
{
    StartUp(kSlaveA, kIdentA, 0x31);
    StartUp(kSlaveB, kIdentB, 0x30);
    Exchange(dptest::Sd2(kSlaveA, kMaster, kFcSrdLow, -1, -1, {0x12, 0x34}));
    Exchange(dptest::Sd2(kSlaveB, kMaster, kFcSrdLow, -1, -1, {0x56}));
    SlaveB().Faults().bSilent = true;
    Exchange(dptest::Sd2(127, kMaster, kFcSdnHigh, kSapGlobalControl, kSapMaster, {0x02, 0x00}));
    EXPECT_EQ(SlaveA().Outputs()[0], 0);
    EXPECT_EQ(SlaveB().Outputs()[0], 0x56);
}

TEST_F(CSlaveResponderTest, WhatIsForNobodyHerePassesUnanswered)
{
    // A request to an address nobody here holds.
    EXPECT_TRUE(Exchange(dptest::Sd1(9, kMaster, kFcFdlStatus)).empty());
    // Another station's answer, to a master and to one of our addresses alike.
    EXPECT_TRUE(Exchange(dptest::Sd1(kMaster, 9, kFcOk)).empty());
    EXPECT_TRUE(Exchange(dptest::Sd2(kSlaveA, 9, kFcDataLow, -1, -1, {0x01})).empty());
    // A short acknowledgement and a token to one of our addresses.
    EXPECT_TRUE(Exchange(Bytes{kShortAckByte}).empty());
    EXPECT_TRUE(Exchange(Bytes{0xDC, kSlaveA, kMaster}).empty());
    EXPECT_TRUE(m_line.Sent().empty());
    EXPECT_EQ(m_responder.Counters().dwRequests, 0u);
    // The slaves are still there for their own requests.
    EXPECT_EQ(Exchange(dptest::Sd1(kSlaveA, kMaster, kFcFdlStatus)), kStatusAnswer);
}

TEST_F(CSlaveResponderTest, RequestCutShortByAnIdleLineIsNotAnswered)
{
    const Bytes abyRequest = dptest::Sd1(kSlaveA, kMaster, kFcFdlStatus);
    EXPECT_TRUE(Exchange(Bytes(abyRequest.begin(), abyRequest.begin() + 3)).empty());
    EXPECT_EQ(m_responder.ParserCounters().dwTruncated, 1u);
    EXPECT_EQ(Exchange(abyRequest), kStatusAnswer);
}

TEST_F(CSlaveResponderTest, CountsRequestsAnswersSilencesAndCorruptions)
{
    const Bytes abyStatus = dptest::Sd1(kSlaveA, kMaster, kFcFdlStatus);
    Exchange(abyStatus);
    SlaveA().Faults().dwCorruptCount = 1;
    Exchange(abyStatus);
    SlaveA().Faults().bSilent = true;
    Exchange(abyStatus);
    Exchange(dptest::Sd1(kSlaveB, kMaster, kFcFdlStatus));
    const dp::SResponderCounters& counters = m_responder.Counters();
    EXPECT_EQ(counters.dwRequests, 4u);
    EXPECT_EQ(counters.dwAnswers, 3u);
    EXPECT_EQ(counters.dwSilenced, 1u);
    EXPECT_EQ(counters.dwCorrupted, 1u);
    EXPECT_EQ(counters.dwOverrunBytes, 0u);
}

TEST_F(CSlaveResponderTest, WatchdogRunsOnTheLinesClock)
{
    // Watchdog factors 10 x 1: 100 ms without a telegram and the slave drops out.
    StartUp(kSlaveA, kIdentA, 0x31, 10);
    ASSERT_EQ(SlaveA().State(), dp::teSlaveState::DataExchange);
    ServeFor(50 * kMs);
    EXPECT_EQ(SlaveA().State(), dp::teSlaveState::DataExchange);
    ServeFor(100 * kMs);
    EXPECT_EQ(SlaveA().State(), dp::teSlaveState::WaitPrm);
}

TEST_F(CSlaveResponderTest, FailedLineEndsServing)
{
    m_line.Fail();
    EXPECT_FALSE(m_responder.Serve(kMs));
}

} // namespace
