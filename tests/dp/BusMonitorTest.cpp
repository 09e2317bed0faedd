// The passive monitor in-process: a master and its slaves written here put their telegrams on a
// scripted line at chosen times (virtual time, which is also the board's tick count), the
// monitor listens and serves a board through the master's board link, and the test reads the
// board as a host through the eight operations. The monitor must serve exactly what crossed
// the line, never a value it is in doubt about, and never send a byte.
#include "tests/dp/ScriptedLine.h"
#include "tests/support/PrivateBoard.h"

#include "board/BoardOperations.h"
#include "dp/master/BoardLink.h"
#include "dp/monitor/BusMonitor.h"
#include "dp/monitor/MonitorStatusWriter.h"
#include "dp/status/MasterStatusReader.h"
#include "dp/status/MasterStatusText.h"
#include "sim/BoardLock.h"

#include "platform/Clock.h"

#include <gmock/gmock.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace dptest
{
namespace
{

using testing::AnyOf;
using testing::Each;

const testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

constexpr std::uint32_t kBaudRate = 500000;
constexpr std::uint8_t kMaster = 2;
constexpr std::uint8_t kFirst = 3;  // 4 inputs, 2 outputs
constexpr std::uint8_t kSecond = 4; // 2 inputs, 1 output
constexpr std::uint64_t kMs = 1000000;
constexpr std::uint8_t kSrdHigh = 0x0D;

const platform::SClockSource* g_pLineClock = nullptr;

std::uint64_t ReadVirtualNs()
{
    return g_pLineClock->pfnMonotonicNs();
}

std::uint32_t ReadVirtualTicks()
{
    return static_cast<std::uint32_t>(ReadVirtualNs() / kMs);
}

const platform::SClockSource kVirtualClock{ReadVirtualTicks, nullptr, ReadVirtualNs};

int g_nNextBoard = 1;

// A request's function code as a master sends it: request bit, FCB, FCV, code.
std::uint8_t RequestFc(bool bFcb, bool bFcv = true, std::uint8_t byCode = kSrdHigh)
{
    return static_cast<std::uint8_t>(0x40 | (bFcb ? 0x20 : 0) | (bFcv ? 0x10 : 0) | byCode);
}
constexpr std::uint8_t kDataLow = 0x08;  // response: data, low priority
constexpr std::uint8_t kDataHigh = 0x0A; // response: data, diagnosis waits

class BusMonitorTest : public testing::Test
{
protected:
    BusMonitorTest() : m_line(kBaudRate), m_byBoard(static_cast<std::uint8_t>(g_nNextBoard++))
    {
        dp::DefaultBusParameters(kBaudRate, m_config.bus);
        m_config.dwResponseAllowanceUs = 100;
        m_config.qwTurnNs = 5 * kMs;
        g_pLineClock = platform::SetClockSource(&kVirtualClock);
        m_qwAt = m_line.Now() + kMs;
    }

    ~BusMonitorTest() override
    {
        m_pLink.reset();
        platform::SetClockSource(g_pLineClock);
    }

    void UseBusFile()
    {
        m_config.bFromBusFile = true;
        for (auto [byAddress, byIn, byOut] : {std::tuple{kFirst, 4, 2}, std::tuple{kSecond, 2, 1}})
        {
            dp::SSlaveConfig slave;
            slave.byAddress = byAddress;
            slave.wIdent = 0x0A35;
            slave.byInputLength = static_cast<std::uint8_t>(byIn);
            slave.byOutputLength = static_cast<std::uint8_t>(byOut);
            m_config.slaves.push_back(slave);
        }
    }

    void Start()
    {
        m_pMonitor = std::make_unique<dp::CBusMonitor>(m_line, m_config);
        m_pLink = std::make_unique<dp::CBoardLink>(m_byBoard, *m_pMonitor, "monitor test");
        std::string strError;
        ASSERT_TRUE(m_pLink->Attach(strError)) << strError;
        SBoardRequest registration{};
        registration.byHandle = m_byBoard;
        registration.byHandleExt = kBoardRegistrationTag;
        registration.byLength = kBoardSlaveCount;
        ASSERT_EQ(BoardRegister(&registration), 0);
        m_host = registration;
    }

    // Bytes on the line from the script's time on; the script moves past them and an idle.
    std::uint64_t PutTelegram(const Bytes& abyBytes, std::uint64_t qwIdleBits = 100)
    {
        const std::uint64_t qwStart = m_qwAt;
        m_line.Put(m_qwAt, abyBytes);
        m_qwAt += abyBytes.size() * m_line.CharacterNs() + m_line.BitNs(qwIdleBits);
        return qwStart;
    }

    // A request and, a station delay after it, the answer (none when empty).
    void Exchange(std::uint8_t bySlave, const Bytes& abyOutputs, const Bytes& abyInputs,
                  bool bAnswer = true, std::uint8_t byAnswerFc = kDataLow)
    {
        bool& bFcb = m_abFcb[bySlave];
        bFcb = !bFcb;
        PutTelegram(Sd2(bySlave, kMaster, RequestFc(bFcb), -1, -1, abyOutputs), 22);
        if (!bAnswer)
        {
            m_qwAt += m_line.BitNs(300);
            return;
        }
        PutTelegram(abyInputs.empty() ? Sd1(kMaster, bySlave, byAnswerFc)
                                      : Sd2(kMaster, bySlave, byAnswerFc, -1, -1, abyInputs));
    }

    // The master's cycle over both slaves, this often.
    void Cycles(int nCount, const Bytes& abyFirstIn, const Bytes& abySecondIn,
                bool bSecondAnswers = true)
    {
        for (int i = 0; i < nCount; ++i)
        {
            const std::uint64_t qwCycle = m_qwAt;
            Exchange(kFirst, {0xA1, 0xA2}, abyFirstIn);
            Exchange(kSecond, {0xB1}, abySecondIn, bSecondAnswers);
            m_qwAt = std::max(m_qwAt, qwCycle + 2 * kMs);
        }
    }

    // The monitor listens up to the script's time (and a little more), then serves the board.
    void ListenAndServe(std::uint64_t qwExtraNs = kMs)
    {
        const std::uint64_t qwUntil = m_qwAt + qwExtraNs;
        while (m_line.Now() < qwUntil)
        {
            ASSERT_TRUE(m_pMonitor->Listen(std::min(qwUntil, m_line.Now() + m_config.qwTurnNs)));
            std::string strError;
            ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
        }
        m_qwAt = std::max(m_qwAt, m_line.Now());
    }

    SBoardRequest Call(PFN_BOARD_OPERATION pfnOperation, std::uint8_t byAddress = 0)
    {
        SBoardRequest request{};
        request.byHandle = m_host.byHandle;
        request.byHandleExt = m_host.byHandleExt;
        request.byL2Addr = byAddress;
        request.byLength = 255;
        pfnOperation(&request);
        return request;
    }

    static Bytes Data(const SBoardRequest& request)
    {
        return Bytes(request.abyData, request.abyData + request.byLength);
    }
    Bytes Inputs(std::uint8_t byAddress) { return Data(Call(BoardReadInput, byAddress)); }
    Bytes Outputs(std::uint8_t byAddress) { return Data(Call(BoardReadOutput, byAddress)); }
    std::uint8_t State(std::uint8_t byAddress)
    {
        return Call(BoardReadSlaveStates).abyData[byAddress];
    }
    const dp::SStationSeen& Station(std::uint8_t byAddress)
    {
        return m_pMonitor->Station(byAddress);
    }

    CScriptedLine m_line;
    std::uint8_t m_byBoard;
    dp::SMonitorConfig m_config;
    std::unique_ptr<dp::CBusMonitor> m_pMonitor;
    std::unique_ptr<dp::CBoardLink> m_pLink;
    SBoardRequest m_host{};
    std::uint64_t m_qwAt = 0;
    bool m_abFcb[128] = {};
};

TEST_F(BusMonitorTest, ServesExactlyWhatCrossedTheLineAndNeverSends)
{
    UseBusFile();
    Start();
    Cycles(5, {0x11, 0x22, 0x33, 0x44}, {0x55, 0x66});
    ListenAndServe();
    EXPECT_EQ(State(kFirst), SlaveDataExchange);
    EXPECT_EQ(State(kSecond), SlaveDataExchange);
    EXPECT_EQ(Inputs(kFirst), (Bytes{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(Outputs(kFirst), (Bytes{0xA1, 0xA2}));
    EXPECT_EQ(Inputs(kSecond), (Bytes{0x55, 0x66}));
    EXPECT_EQ(Outputs(kSecond), (Bytes{0xB1}));

    // The values follow the line, cycle by cycle, and the slave that says diagnosis waits is
    // shown so.
    Cycles(1, {0x01, 0x02, 0x03, 0x04}, {0x05, 0x06});
    Exchange(kSecond, {0xB2}, {0x07, 0x08}, true, kDataHigh);
    ListenAndServe();
    EXPECT_EQ(Inputs(kFirst), (Bytes{0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(Inputs(kSecond), (Bytes{0x07, 0x08}));
    EXPECT_EQ(Outputs(kSecond), (Bytes{0xB2}));
    EXPECT_EQ(State(kSecond), SlaveDiagnosisPending);
    EXPECT_EQ(m_pMonitor->Counters().dwAnswersInDoubt, 0u);
    EXPECT_EQ(Station(kMaster).eKind, dp::teSeenKind::Master);
    EXPECT_EQ(Station(kFirst).eKind, dp::teSeenKind::Slave);
    EXPECT_EQ(Station(kFirst).byMaster, kMaster);
    EXPECT_EQ(Station(kFirst).dwRepeats, 0u);
    EXPECT_GT(m_pMonitor->ExchangeRate(0), 100.0) << "a cycle every 2 ms";

    // Read-only: a host's write is refused and changes nothing.
    SBoardRequest write{};
    write.byHandle = m_host.byHandle;
    write.byHandleExt = m_host.byHandleExt;
    write.byL2Addr = kFirst;
    write.byLength = 2;
    write.abyData[0] = 0xEE;
    EXPECT_EQ(BoardWriteOutput(&write), 0x86);
    ListenAndServe();
    EXPECT_EQ(Outputs(kFirst), (Bytes{0xA1, 0xA2}));
    EXPECT_TRUE(m_line.Sent().empty());
}

// An adapter that hands over whole cycles at once (a USB adapter's latency timer) hides the
// gaps between telegrams: the exchanges are still taken, and garbage behind an answer still
// leaves it in doubt.
TEST_F(BusMonitorTest, ExchangesReadInOneBurstAreTaken)
{
    UseBusFile();
    Start();
    Cycles(3, {0x11, 0x22, 0x33, 0x44}, {0x55, 0x66});
    Exchange(kFirst, {0xC1, 0xC2}, {0x71, 0x72, 0x73, 0x74});
    m_line.WaitUntil(m_qwAt); // all of it waits to be read in one go
    ListenAndServe();
    EXPECT_EQ(m_pMonitor->Counters().dwAnswersInDoubt, 0u);
    EXPECT_EQ(m_pMonitor->SlaveState(0).counters.dwExchanges, 4u);
    EXPECT_EQ(Inputs(kFirst), (Bytes{0x71, 0x72, 0x73, 0x74}));
    EXPECT_EQ(Outputs(kFirst), (Bytes{0xC1, 0xC2}));
    EXPECT_EQ(Inputs(kSecond), (Bytes{0x55, 0x66}));

    PutTelegram(Sd2(kFirst, kMaster, RequestFc(!m_abFcb[kFirst]), -1, -1, {0xD1, 0xD2}), 22);
    m_abFcb[kFirst] = !m_abFcb[kFirst];
    PutTelegram(Sd2(kMaster, kFirst, kDataLow, -1, -1, {0xEE, 0xEE, 0xEE, 0xEE}), 40);
    PutTelegram({0x10, 0x02, 0x03, 0x16});
    Exchange(kSecond, {0xB1}, {0x57, 0x58});
    m_line.WaitUntil(m_qwAt);
    ListenAndServe();
    EXPECT_EQ(m_pMonitor->Counters().dwAnswersInDoubt, 1u);
    EXPECT_EQ(Inputs(kFirst), (Bytes{0x71, 0x72, 0x73, 0x74}));
    EXPECT_EQ(Inputs(kSecond), (Bytes{0x57, 0x58}));
}

TEST_F(BusMonitorTest, ASlaveThatDropsOutIsZeroedWhileTheOthersGoOn)
{
    UseBusFile();
    Start();
    Cycles(5, {0x11, 0x22, 0x33, 0x44}, {0x55, 0x66});
    ListenAndServe();
    ASSERT_EQ(Inputs(kSecond), (Bytes{0x55, 0x66}));
    const std::uint64_t qwTimeout = m_pMonitor->ExchangeTimeoutNs(1);
    EXPECT_EQ(qwTimeout, dp::kShortestTimeoutNs) << "3 cycles of 2 ms are below the floor";

    // The second slave stops answering; its master goes on asking. Within its timeout it is
    // still exchanging, beyond it not, and it reads 0.
    Cycles(3, {0x11, 0x22, 0x33, 0x44}, {0x77, 0x77}, false);
    ListenAndServe(0);
    EXPECT_EQ(State(kSecond), SlaveDataExchange);
    Cycles(10, {0x12, 0x22, 0x33, 0x44}, {0x77, 0x77}, false);
    ListenAndServe();
    EXPECT_EQ(State(kSecond), SlaveNotReachable);
    EXPECT_THAT(Inputs(kSecond), Each(0));
    EXPECT_THAT(Outputs(kSecond), Each(0));
    EXPECT_EQ(State(kFirst), SlaveDataExchange);
    EXPECT_EQ(Inputs(kFirst), (Bytes{0x12, 0x22, 0x33, 0x44}));
    EXPECT_EQ(Station(kSecond).dwNoAnswer, 13u);

    // A monitor that hears nothing at all gives up every slave.
    m_line.SkipTo(m_line.Now() + 50 * kMs);
    m_qwAt = m_line.Now();
    ListenAndServe(20 * kMs);
    EXPECT_EQ(State(kFirst), SlaveNotReachable);
    EXPECT_THAT(Inputs(kFirst), Each(0));
    EXPECT_TRUE(m_line.Sent().empty());
}

TEST_F(BusMonitorTest, AnswersInDoubtAreDroppedAndCounted)
{
    UseBusFile();
    Start();
    Cycles(3, {0x11, 0x22, 0x33, 0x44}, {0x55, 0x66});
    ListenAndServe();
    const Bytes abyWrong = {0xEE, 0xEE, 0xEE, 0xEE};
    const Bytes abyRequest = Sd2(kFirst, kMaster, RequestFc(!m_abFcb[kFirst]), -1, -1, {1, 2});
    m_abFcb[kFirst] = !m_abFcb[kFirst];

    // Two answers in one window.
    PutTelegram(abyRequest, 22);
    PutTelegram(Sd2(kMaster, kFirst, kDataLow, -1, -1, abyWrong), 40);
    PutTelegram(Sd2(kMaster, kFirst, kDataLow, -1, -1, abyWrong));
    // Bytes right behind the answer.
    PutTelegram(abyRequest, 22);
    PutTelegram(Sd2(kMaster, kFirst, kDataLow, -1, -1, abyWrong), 0);
    PutTelegram({0x68, 0x00});
    // Garbled bytes ahead of it in the window.
    PutTelegram(abyRequest, 22);
    PutTelegram({0x10, 0x02, 0x03}, 11);
    PutTelegram(Sd2(kMaster, kFirst, kDataLow, -1, -1, abyWrong));
    // An answer from the wrong station, to the wrong station, and too late.
    PutTelegram(abyRequest, 22);
    PutTelegram(Sd2(kMaster, kSecond, kDataLow, -1, -1, abyWrong));
    PutTelegram(abyRequest, 22);
    PutTelegram(Sd2(1, kFirst, kDataLow, -1, -1, abyWrong));
    PutTelegram(abyRequest, 2000);
    PutTelegram(Sd2(kMaster, kFirst, kDataLow, -1, -1, abyWrong));
    ListenAndServe(0);

    // The last values taken, or none once the slave has timed out: never those in doubt.
    EXPECT_THAT(Inputs(kFirst), AnyOf(Bytes{0x11, 0x22, 0x33, 0x44}, Each(0)));
    EXPECT_THAT(Outputs(kFirst), AnyOf(Bytes{0xA1, 0xA2}, Each(0)))
        << "a request alone brings no outputs";
    EXPECT_EQ(m_pMonitor->Counters().dwAnswersInDoubt, 3u);
    EXPECT_EQ(Station(kFirst).dwInDoubt, 3u);
    EXPECT_EQ(Station(kFirst).dwNoAnswer, 3u) << "wrong station, wrong address, too late";
    EXPECT_EQ(m_pMonitor->SlaveState(0).counters.dwExchanges, 3u);
    EXPECT_TRUE(m_line.Sent().empty());
}

TEST_F(BusMonitorTest, SlavesAreLearntFromTheirCheckConfigOrTheirData)
{
    Start();
    // The master starts slave 3: Set_Prm with its ident, Chk_Cfg (2 words in, 1 byte out:
    // 0x51 = 2 input words, 0x20 = 1 output byte), each acknowledged with E5.
    PutTelegram(Sd2(kFirst, kMaster, RequestFc(true, false, 0x0D), 61, 62,
                    {0x88, 0x00, 0x10, 0x0B, 0x0A, 0x35, 0x00}),
                22);
    PutTelegram(kShortAck);
    PutTelegram(Sd2(kFirst, kMaster, RequestFc(false), 62, 62, {0x51, 0x20}), 22);
    PutTelegram(kShortAck);
    ListenAndServe();
    ASSERT_EQ(m_pMonitor->SlaveCount(), 1u);
    EXPECT_EQ(m_pMonitor->SlaveConfig(0).byInputLength, 4);
    EXPECT_EQ(m_pMonitor->SlaveConfig(0).byOutputLength, 1);
    EXPECT_EQ(m_pMonitor->SlaveConfig(0).wIdent, 0x0A35);
    EXPECT_EQ(m_pMonitor->LengthsFrom(0), dp::teLengthsFrom::CheckConfig);
    m_abFcb[kFirst] = false;

    // An exchange of other lengths than configured is dropped; one that fits is served.
    Exchange(kFirst, {0x01, 0x02}, {0x11, 0x22, 0x33, 0x44});
    ListenAndServe();
    EXPECT_EQ(m_pMonitor->Counters().dwLengthMismatches, 1u);
    EXPECT_NE(State(kFirst), SlaveDataExchange);
    Exchange(kFirst, {0x01}, {0x11, 0x22, 0x33, 0x44});
    // Slave 4 is learnt from what it exchanges: 3 in, 0 out.
    Exchange(kSecond, {}, {0x61, 0x62, 0x63});
    ListenAndServe();
    EXPECT_EQ(State(kFirst), SlaveDataExchange);
    EXPECT_EQ(Inputs(kFirst), (Bytes{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(Outputs(kFirst), (Bytes{0x01}));
    ASSERT_EQ(m_pMonitor->SlaveCount(), 2u);
    EXPECT_EQ(m_pMonitor->LengthsFrom(1), dp::teLengthsFrom::Data);
    EXPECT_EQ(State(kSecond), SlaveDataExchange);
    EXPECT_EQ(Inputs(kSecond), (Bytes{0x61, 0x62, 0x63}));
    EXPECT_EQ(Call(BoardReadInput, kSecond).wError, 0);

    // While it exchanges, its lengths stay; after it has left data exchange it learns anew.
    Exchange(kSecond, {}, {0x71, 0x72});
    ListenAndServe();
    EXPECT_EQ(Inputs(kSecond), (Bytes{0x61, 0x62, 0x63}));
    EXPECT_EQ(m_pMonitor->Counters().dwLengthMismatches, 2u);
    m_qwAt += 30 * kMs;
    ListenAndServe();
    EXPECT_EQ(State(kSecond), SlaveNotReachable);
    Exchange(kSecond, {}, {0x71, 0x72});
    ListenAndServe();
    EXPECT_EQ(Inputs(kSecond), (Bytes{0x71, 0x72}));

    // An answer longer than any slave's image (a telegram takes 246 data bytes, an image 244)
    // teaches nothing.
    Exchange(5, {}, Bytes(246, 0xEE));
    ListenAndServe();
    EXPECT_EQ(m_pMonitor->Counters().dwLengthMismatches, 3u);
    EXPECT_EQ(m_pMonitor->SlaveCount(), 2u);
    EXPECT_NE(Call(BoardReadInput, 5).wError, 0);
    EXPECT_TRUE(m_line.Sent().empty());
}

// The bound the monitor promises covers its slowest slave: with a master whose cycle is half a
// second, a host looking at every turn is never shown anything withheld while the monitor runs,
// and once the monitor stops the board says so within the bound.
TEST_F(BusMonitorTest, TheFreshnessPromiseCoversTheSlowestMaster)
{
    UseBusFile();
    Start();
    for (int nCycle = 0; nCycle < 8; ++nCycle)
    {
        Exchange(kFirst, {0xA1, 0xA2}, {0x11, 0x22, 0x33, static_cast<std::uint8_t>(nCycle)});
        const std::uint64_t qwNext = m_qwAt + 500 * kMs;
        while (m_line.Now() < qwNext)
        {
            ASSERT_TRUE(m_pMonitor->Listen(std::min(qwNext, m_line.Now() + m_config.qwTurnNs)));
            std::string strError;
            ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
            if (nCycle < 2)
                continue; // its cycle is not known before two requests
            korix::SPlant posted{};
            {
                korix::CBoardLock lock(m_byBoard);
                ASSERT_NE(lock.State(), nullptr);
                posted = lock.State()->sPlant;
            }
            const SBoardRequest states = Call(BoardReadSlaveStates);
            ASSERT_EQ(states.byMasterState, MasterOperate);
            ASSERT_EQ(states.abyData[kFirst], posted.aSlaves[kFirst].byState);
            ASSERT_EQ(states.abyData[kFirst], SlaveDataExchange) << "cycle " << nCycle;
        }
        m_qwAt = m_line.Now();
    }
    EXPECT_GE(m_pMonitor->ExchangeTimeoutNs(0), 1500 * kMs) << "3 cycles of 500 ms and more";
    EXPECT_LT(m_pMonitor->ExchangeTimeoutNs(0), 1600 * kMs);
    const std::uint32_t dwBoundMs = m_pLink->PromisedBoundMs();
    EXPECT_GT(dwBoundMs, 1500u);
    // The monitor stops: past its bound the board shows its master offline.
    m_line.SkipTo(m_line.Now() + (dwBoundMs + 1) * kMs);
    EXPECT_EQ(Call(BoardReadInput, kFirst).byMasterState, MasterOffline);
    EXPECT_THAT(Inputs(kFirst), Each(0));
}

TEST_F(BusMonitorTest, TheLinesHealthIsCountedPerStation)
{
    UseBusFile();
    Start();
    Cycles(2, {0x11, 0x22, 0x33, 0x44}, {0x55, 0x66});
    // A spoilt answer: its check sum is wrong.
    PutTelegram(Sd2(kFirst, kMaster, RequestFc(!m_abFcb[kFirst]), -1, -1, {0xA1, 0xA2}), 22);
    Bytes abySpoilt = Sd2(kMaster, kFirst, kDataLow, -1, -1, {0x99, 0x99, 0x99, 0x99});
    abySpoilt[abySpoilt.size() - 2] ^= 0x01;
    PutTelegram(abySpoilt);
    // The master repeats the request with the same FCB; this time the answer comes.
    PutTelegram(Sd2(kFirst, kMaster, RequestFc(!m_abFcb[kFirst]), -1, -1, {0xA1, 0xA2}), 22);
    PutTelegram(Sd2(kMaster, kFirst, kDataLow, -1, -1, {0x21, 0x22, 0x23, 0x24}));
    m_abFcb[kFirst] = !m_abFcb[kFirst];
    // A diagnosis request to slave 4 and its answer.
    PutTelegram(Sd2(kSecond, kMaster, RequestFc(!m_abFcb[kSecond]), 60, 62, {}), 22);
    m_abFcb[kSecond] = !m_abFcb[kSecond];
    PutTelegram(Sd2(kMaster, kSecond, kDataLow, 62, 60, {0x08, 0x0C, 0x00, 0x02, 0x0A, 0x35}));
    // The token passes between masters 1 and 2, twice round.
    for (int i = 0; i < 2; ++i)
    {
        PutTelegram({0xDC, 1, kMaster});
        m_qwAt += kMs;
        PutTelegram({0xDC, kMaster, 1});
        m_qwAt += kMs;
    }
    ListenAndServe();

    EXPECT_EQ(Station(kFirst).dwBadCheckSums, 1u);
    EXPECT_EQ(Station(kFirst).dwNoAnswer, 1u);
    EXPECT_EQ(Station(kFirst).dwRepeats, 1u);
    EXPECT_EQ(Inputs(kFirst), (Bytes{0x21, 0x22, 0x23, 0x24}));
    EXPECT_EQ(Station(kSecond).dwDiagRequests, 1u);
    EXPECT_EQ(m_pMonitor->SlaveState(1).byDiagLength, 6);
    EXPECT_EQ(Station(1).eKind, dp::teSeenKind::Master);
    EXPECT_EQ(Station(kMaster).eKind, dp::teSeenKind::Master);
    EXPECT_GT(Station(kMaster).qwRotationNs, 2 * kMs);
    EXPECT_LT(Station(kMaster).qwRotationNs, 3 * kMs);
    EXPECT_EQ(m_pMonitor->ParserCounters().dwBadCheckSums, 1u);
    EXPECT_TRUE(m_line.Sent().empty());
}

// Garbage, lying lengths, a flood and a master that never lets its slave answer: the monitor
// stays bounded, counts, and never shows a value that did not cross the line as an exchange.
TEST_F(BusMonitorTest, BadInputIsCountedAndNeverServed)
{
    UseBusFile();
    Start();
    Cycles(3, {0x11, 0x22, 0x33, 0x44}, {0x55, 0x66});
    ListenAndServe();
    // Noise (as at a wrong baud rate) for 50 ms.
    m_line.PutNoise(m_qwAt, m_qwAt + 50 * kMs, 7);
    m_qwAt += 51 * kMs;
    // Telegrams whose lengths lie: LE and LEr differ; LE longer than what follows.
    PutTelegram({0x68, 0x09, 0x08, 0x68, 0x02, kFirst, 0x08, 0xEE, 0xEE, 0xEE, 0xEE, 0x00, 0x16});
    PutTelegram({0x68, 0xF0, 0xF0, 0x68, 0x02, kFirst, 0x08, 0xEE, 0x16});
    m_qwAt += 5 * kMs;
    // A flood of requests back to back: no slave has room to answer.
    for (int i = 0; i < 2000; ++i)
        PutTelegram(Sd2(kFirst, kMaster, RequestFc(i % 2 == 0), -1, -1, {0xEE, 0xEE}), 0);
    ListenAndServe(30 * kMs);

    EXPECT_EQ(State(kFirst), SlaveNotReachable);
    EXPECT_THAT(Inputs(kFirst), Each(0));
    EXPECT_THAT(Outputs(kFirst), Each(0));
    EXPECT_EQ(m_pMonitor->SlaveState(0).counters.dwExchanges, 3u);
    EXPECT_GT(m_pMonitor->ParserCounters().dwSkippedBytes, 1000u);
    EXPECT_GE(Station(kFirst).dwNoAnswer, 1999u);
    EXPECT_EQ(m_pMonitor->SlaveCount(), 2u) << "the bus file's slaves and no other";
    EXPECT_TRUE(m_line.Sent().empty());

    // The line recovers, and so does the slave.
    Cycles(2, {0x31, 0x32, 0x33, 0x34}, {0x55, 0x66});
    ListenAndServe();
    EXPECT_EQ(Inputs(kFirst), (Bytes{0x31, 0x32, 0x33, 0x34}));
}

// The status block carries the monitor's own section; a reader takes it, and refuses a block
// whose section lies about its size or a station's kind.
TEST_F(BusMonitorTest, TheStatusBlockCarriesTheMonitorsSection)
{
    Start();
    Cycles(3, {0x11, 0x22, 0x33, 0x44}, {0x55, 0x66});
    PutTelegram({0xDC, 1, kMaster});
    m_qwAt += kMs;
    PutTelegram({0xDC, 1, kMaster});
    ListenAndServe();
    dp::CMonitorStatusWriter writer;
    std::string strError;
    ASSERT_TRUE(writer.Open(m_byBoard, *m_pMonitor, "/dev/ttyTEST", kBaudRate, strError))
        << strError;
    writer.Update(*m_pMonitor);
    const dp::SMasterStatus status = dp::ReadMasterStatus(m_byBoard);
    ASSERT_EQ(status.eStatus, dp::teMasterStatus::Live) << status.strWhy;
    ASSERT_TRUE(status.bMonitor);
    ASSERT_EQ(status.aSlaves.size(), 2u) << "both learnt from their data";
    EXPECT_EQ(status.aSlaves[0].byInputLength, 4);
    EXPECT_EQ(status.aSlaves[0].counters.dwExchanges, 3u);
    EXPECT_EQ(status.monitor.aStations[kMaster].byKind, dp::StationMaster);
    EXPECT_GT(status.monitor.aStations[1].dwRotationUs, 1000u) << "the token went to 1 twice";
    EXPECT_EQ(status.monitor.aStations[kSecond].byKind, dp::StationSlave);
    EXPECT_EQ(status.monitor.aStations[kSecond].byMaster, kMaster);
    EXPECT_EQ(status.monitor.aStations[9].byKind, dp::StationUnseen);
    EXPECT_EQ(status.monitor.dwFromBusFile, 0u);
    const std::string strText = dp::FormatMasterStatus(status);
    EXPECT_THAT(strText, testing::HasSubstr("DP monitor: listening"));
    EXPECT_THAT(strText, testing::HasSubstr("slave 4 of master 2"));
    EXPECT_THAT(strText, testing::HasSubstr("learnt from the line"));

    // The same block, made to lie.
    std::vector<std::uint8_t> abyBlock(dp::StatusBlockSize(2) + sizeof(dp::SStatusMonitor));
    std::memcpy(abyBlock.data(), &status.header, sizeof status.header);
    for (std::size_t i = 0; i < 2; ++i)
        std::memcpy(abyBlock.data() + sizeof status.header + i * sizeof(dp::SStatusSlave),
                    &status.aSlaves[i], sizeof(dp::SStatusSlave));
    std::memcpy(abyBlock.data() + dp::StatusBlockSize(2), &status.monitor, sizeof status.monitor);
    dp::SMasterStatus checked;
    std::string strWhy;
    ASSERT_TRUE(dp::CheckStatusBlock(abyBlock.data(), abyBlock.size(), m_byBoard, checked, strWhy))
        << strWhy;
    std::vector<std::uint8_t> abyLying = abyBlock;
    abyLying[offsetof(dp::SStatusHeader, dwMonitorSize)] ^= 0x01;
    EXPECT_FALSE(
        dp::CheckStatusBlock(abyLying.data(), abyLying.size(), m_byBoard, checked, strWhy));
    EXPECT_THAT(strWhy, testing::HasSubstr("monitor section"));
    abyLying = abyBlock;
    abyLying[dp::StatusBlockSize(2) + offsetof(dp::SStatusMonitor, aStations) +
             7 * sizeof(dp::SStatusStation)] = 3;
    EXPECT_FALSE(
        dp::CheckStatusBlock(abyLying.data(), abyLying.size(), m_byBoard, checked, strWhy));
    EXPECT_FALSE(
        dp::CheckStatusBlock(abyBlock.data(), abyBlock.size() - 1, m_byBoard, checked, strWhy))
        << "a block cut short within its section";
}

// A slave the bus file does not name is not served, however it exchanges; without a bus file,
// every address learnt stays within the bus's.
TEST_F(BusMonitorTest, ExchangesWithUnknownSlavesAreCountedNotServed)
{
    UseBusFile();
    Start();
    Exchange(9, {0x01}, {0x02});
    ListenAndServe();
    EXPECT_EQ(m_pMonitor->SlaveCount(), 2u);
    EXPECT_EQ(m_pMonitor->Counters().dwUnknownSlaves, 1u);
    EXPECT_NE(Call(BoardReadInput, 9).wError, 0);
}

} // namespace
} // namespace dptest
