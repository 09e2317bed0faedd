// Several stations on one real multi-drop line (dp_ptybus), each a process of its own: two
// korix-dpmaster processes forming a token ring, each serving its own board with its own
// slaves (one korix-dpslave each), and korix-dpmaster --listen serving what it hears; then a
// master that observes the other's slave as a class-2 master, while the test listens to the
// line and decodes every telegram itself. The test is the host of every board.
#include "tests/dp/DpBusFixture.h"
#include "tests/dp/MultiDropBus.h"
#include "tests/sim/SimTestSupport.h"

#include "dp/line/SerialPort.h"
#include "dp/station/StationConfig.h"
#include "dp/status/MasterStatusReader.h"

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace dptest
{
namespace
{

using Bytes = std::vector<std::uint8_t>;
using simtest::Call;
using simtest::DataOf;
using simtest::MakeRequest;
using simtest::MakeWrite;
using simtest::SHandle;

// Generous: two to four processes and the line share two cores with sanitizers.
bool Eventually(const std::function<bool()>& condition, int nSeconds = 30)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
    while (std::chrono::steady_clock::now() < end)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

SHandle RegisterOn(std::uint8_t byBoard, std::initializer_list<std::uint8_t> used)
{
    const SBoardRequest request = Call(BoardRegister, simtest::MakeRegistration(byBoard, used));
    EXPECT_EQ(request.wError, 0) << "registration on board " << int(byBoard) << " refused";
    return SHandle{request.byHandle, request.byHandleExt};
}

Bytes Inputs(SHandle handle, std::uint8_t byAddress)
{
    return DataOf(Call(BoardReadInput, MakeRequest(handle, byAddress)));
}

bool Exchanging(SHandle handle, std::uint8_t byAddress)
{
    const SBoardRequest read = Call(BoardReadInput, MakeRequest(handle, byAddress));
    return read.wError == 0 && IsSlaveExchanging(read.bySlaveState);
}

// Exchanging, and these inputs.
bool Shows(SHandle handle, std::uint8_t byAddress, const Bytes& abyInputs)
{
    const SBoardRequest read = Call(BoardReadInput, MakeRequest(handle, byAddress));
    return read.wError == 0 && IsSlaveExchanging(read.bySlaveState) && DataOf(read) == abyInputs;
}

// What a station has said so far, for a failure's message.
std::string Said(testsupport::CChildProcess& station)
{
    std::string strSaid, strLine;
    for (int nLine = 0; nLine < 200 && station.ReadLine(strLine, 50); ++nLine)
        strSaid += "\n  " + strLine;
    return strSaid;
}

std::string Command(testsupport::CChildProcess& slaves, const std::string& strCommand)
{
    std::string strLine;
    if (!slaves.WriteLine(strCommand))
        return "";
    while (slaves.ReadLine(strLine, 20000))
    {
        if (strLine.rfind("ok", 0) == 0 || strLine.rfind("error", 0) == 0)
            return strLine;
    }
    return "";
}

// Whether the board's master is in the ring and its list of active stations holds exactly
// these masters.
bool RingOf(std::uint8_t byBoard, const std::set<std::uint8_t>& masters)
{
    const dp::SMasterStatus status = dp::ReadMasterStatus(byBoard);
    if (status.eStatus != dp::teMasterStatus::Live)
        return false;
    const dp::SStatusRing& ring = status.header.ring;
    if (ring.byState != static_cast<std::uint8_t>(dp::teRingState::InRing) + 1)
        return false;
    for (unsigned n = 0; n <= ring.byHighestAddress && n < sizeof ring.abyStations; ++n)
    {
        const bool bInRing = ring.abyStations[n] == dp::StatusStationMasterInRing;
        if (bInRing != (masters.count(static_cast<std::uint8_t>(n)) != 0))
            return false;
    }
    return true;
}

// A telegram as the public frame layouts give it, decoded here without the product's parser.
struct SHeard
{
    std::uint8_t bySd;
    std::uint8_t byDa;
    std::uint8_t bySa;
    std::uint8_t byFc = 0;
    int nDsap = -1; // with the address extension bits, the first data bytes
    int nSsap = -1;
    Bytes abyData;
};

// Cuts a byte stream into telegrams: SD1 (10 DA SA FC FCS 16), SD2 (68 LE LEr 68 DA SA FC
// data FCS 16), SD3 (A2 DA SA FC 8 bytes FCS 16), SD4 (DC DA SA), SC (E5). A byte that
// starts none of them whole (noise, a garbled character) is skipped.
class CFrameDecoder
{
public:
    void Feed(const Bytes& abyBytes, const std::function<void(const SHeard&)>& onTelegram)
    {
        m_abyPending.insert(m_abyPending.end(), abyBytes.begin(), abyBytes.end());
        std::size_t i = 0;
        while (i < m_abyPending.size())
        {
            const std::size_t nTaken = TryTelegram(i, onTelegram);
            if (nTaken == kIncomplete)
                break;
            i += nTaken == 0 ? 1 : nTaken;
        }
        m_abyPending.erase(m_abyPending.begin(), m_abyPending.begin() + static_cast<long>(i));
    }

private:
    static constexpr std::size_t kIncomplete = static_cast<std::size_t>(-1);

    // Bytes taken by a whole telegram at i; 0 when none starts there; kIncomplete when one
    // may, but has not all come yet.
    std::size_t TryTelegram(std::size_t i, const std::function<void(const SHeard&)>& onTelegram)
    {
        const Bytes& b = m_abyPending;
        const std::size_t nLeft = b.size() - i;
        switch (b[i])
        {
        case 0xE5:
            return 1;
        case 0xDC:
            if (nLeft < 3)
                return kIncomplete;
            if (b[i + 1] > 0x7F || b[i + 2] > 0x7F)
                return 0;
            onTelegram(SHeard{0xDC, b[i + 1], b[i + 2], 0, -1, -1, {}});
            return 3;
        case 0x10:
            return Fixed(i, 3, onTelegram);
        case 0xA2:
            return Fixed(i, 11, onTelegram);
        case 0x68:
        {
            if (nLeft < 4)
                return kIncomplete;
            const std::size_t nLength = b[i + 1];
            if (nLength < 3 || nLength > 249 || b[i + 2] != nLength || b[i + 3] != 0x68)
                return 0;
            if (nLeft < nLength + 6)
                return kIncomplete;
            return Checked(i, 4, nLength, onTelegram) ? nLength + 6 : 0;
        }
        default:
            return 0;
        }
    }

    std::size_t Fixed(std::size_t i, std::size_t nLength,
                      const std::function<void(const SHeard&)>& onTelegram)
    {
        if (m_abyPending.size() - i < nLength + 3)
            return kIncomplete;
        return Checked(i, 1, nLength, onTelegram) ? nLength + 3 : 0;
    }

    // The body (DA .. last data byte) at i + nStart, nLength bytes, then FCS and ED.
    bool Checked(std::size_t i, std::size_t nStart, std::size_t nLength,
                 const std::function<void(const SHeard&)>& onTelegram)
    {
        const Bytes& b = m_abyPending;
        const std::size_t nBody = i + nStart;
        std::uint8_t bySum = 0;
        for (std::size_t n = 0; n < nLength; ++n)
            bySum = static_cast<std::uint8_t>(bySum + b[nBody + n]);
        if (b[nBody + nLength] != bySum || b[nBody + nLength + 1] != 0x16)
            return false;
        SHeard heard{b[i], b[nBody], b[nBody + 1], b[nBody + 2], -1, -1, {}};
        std::size_t nData = nBody + 3;
        const std::size_t nEnd = nBody + nLength;
        // The address extension bit of DA and SA says a SAP byte leads the data.
        if ((heard.byDa & 0x80) != 0 && nData < nEnd)
            heard.nDsap = b[nData++];
        if ((heard.bySa & 0x80) != 0 && nData < nEnd)
            heard.nSsap = b[nData++];
        heard.abyData.assign(b.begin() + static_cast<long>(nData),
                             b.begin() + static_cast<long>(nEnd));
        onTelegram(heard);
        return true;
    }

    Bytes m_abyPending;
};

// The test's ear on the line: a thread drains a listener endpoint (a line whose endpoint is
// not read drops what it brings) and keeps every telegram it decodes.
class CLineListener
{
public:
    bool Open(const std::string& strPath, std::string& strError)
    {
        if (!m_port.Open(strPath, 1500000, dp::teRs485::Off, strError))
            return false;
        m_thread = std::thread([this] { Run(); });
        return true;
    }
    ~CLineListener() { Stop(); }

    void Stop()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    std::vector<SHeard> Heard()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_aHeard;
    }

private:
    void Run()
    {
        std::uint8_t abyBuffer[4096];
        while (!m_bStop)
        {
            const long nRead = m_port.Read(abyBuffer, sizeof abyBuffer, 50000000);
            if (nRead <= 0)
                continue;
            m_decoder.Feed(Bytes(abyBuffer, abyBuffer + nRead),
                           [&](const SHeard& heard)
                           {
                               std::lock_guard<std::mutex> lock(m_mutex);
                               m_aHeard.push_back(heard);
                           });
        }
    }

    dp::CSerialPort m_port;
    CFrameDecoder m_decoder;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<SHeard> m_aHeard;
};

// Master 2 runs slaves 3 (loops its 4 outputs back) and 4 (4 inputs of the test's), master 6
// slaves 8 (loopback) and 9 (inputs of the test's), each pair by a korix-dpslave of its own.
const char* const kSlavesOf2 = R"({ "slaves": [
  { "address": 3, "ident": 4660, "config": "33",
    "generators": [ { "kind": "loopback", "offset": 0, "length": 4 } ] },
  { "address": 4, "ident": 4661, "config": "13 23", "inputs": "A1 A2 A3 A4" } ] })";
const char* const kSlavesOf6 = R"({ "slaves": [
  { "address": 8, "ident": 4662, "config": "33",
    "generators": [ { "kind": "loopback", "offset": 0, "length": 4 } ] },
  { "address": 9, "ident": 4663, "config": "13 23", "inputs": "B1 B2 B3 B4" } ] })";

// The line's timing for a PC: a pseudo-terminal and a busy scheduler stand between every
// telegram and its answer, so the slot time (and TTO with it) carries a generous allowance:
// a station whose process waits longer than a slot time for the processor looks dead to the
// others, and the ring then stops it (two sanitized builds on two cores come near 100 ms).
std::string BusFile(int nMaster, const std::string& strSlaves)
{
    return R"({ "baud_rate": 1500000, "master_address": )" + std::to_string(nMaster) +
           R"(, "response_allowance_us": 250000, "restart_interval_ms": 20,
  "highest_station_address": 10, "slaves": [ )" +
           strSlaves + " ] }";
}

const char* const kSlave3 =
    R"({ "address": 3, "ident": 4660, "config": "33", "input_length": 4, "output_length": 4 })";
const char* const kSlave4 =
    R"({ "address": 4, "ident": 4661, "config": "13 23", "input_length": 4, "output_length": 4 })";
const char* const kSlave8 =
    R"({ "address": 8, "ident": 4662, "config": "33", "input_length": 4, "output_length": 4 })";
const char* const kSlave9 =
    R"({ "address": 9, "ident": 4663, "config": "13 23", "input_length": 4, "output_length": 4 })";

class SeveralMastersLineTest : public simtest::CBoardTest
{
protected:
    // Boards no other test of this process uses (CBoardTest hands out 1, 2, 3, ...).
    std::uint8_t m_byBoardA = m_byBoard;
    std::uint8_t m_byBoardB = static_cast<std::uint8_t>(m_byBoard + 80);
    std::uint8_t m_byBoardC = static_cast<std::uint8_t>(m_byBoard + 160);
    CMultiDropBus m_bus;
};

// Two masters, each with its own slaves and board, form a ring; a monitor serves what they
// exchange; one master dies and the other keeps its slaves and the ring.
TEST_F(SeveralMastersLineTest, TwoMastersShareTheLineAMonitorServesItAndOneSurvivesTheOther)
{
    SMultiDropSetUp setUp;
    setUp.masters.push_back({m_byBoardA, BusFile(2, std::string(kSlave3) + "," + kSlave4), {}});
    setUp.masters.push_back({m_byBoardB, BusFile(6, std::string(kSlave8) + "," + kSlave9), {}});
    // The monitor's own address in its bus file is not on the line: it never sends.
    setUp.monitors.push_back(
        {m_byBoardC,
         BusFile(0, std::string(kSlave3) + "," + kSlave4 + "," + kSlave8 + "," + kSlave9),
         {}});
    setUp.astrSlaveFiles = {kSlavesOf2, kSlavesOf6};
    setUp.nListeners = 0;
    ASSERT_NO_FATAL_FAILURE(m_bus.Start(setUp));

    // The ring forms: each master sees both in its list of active stations.
    ASSERT_TRUE(Eventually(
        [&] {
            return RingOf(m_byBoardA, {2, 6}) && RingOf(m_byBoardB, {2, 6});
        }))
        << "the ring of masters 2 and 6 did not form; master 2:" << Said(m_bus.Master(0))
        << "\nmaster 6:" << Said(m_bus.Master(1));

    // Both boards' hosts read their slaves exchanging, with the values the slaves send.
    const SHandle hostA = RegisterOn(m_byBoardA, {3, 4});
    const SHandle hostB = RegisterOn(m_byBoardB, {8, 9});
    const SHandle monitor = RegisterOn(m_byBoardC, {3, 4, 8, 9});
    const Bytes abyTo3 = {0x31, 0x32, 0x33, 0x34};
    const Bytes abyTo8 = {0x81, 0x82, 0x83, 0x84};
    ASSERT_TRUE(Eventually([&] { return Exchanging(hostA, 3) && Exchanging(hostB, 8); }));
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(hostA, 3, abyTo3)).wError, 0);
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(hostB, 8, abyTo8)).wError, 0);
    ASSERT_TRUE(Eventually(
        [&]
        {
            return Shows(hostA, 3, abyTo3) && Shows(hostA, 4, {0xA1, 0xA2, 0xA3, 0xA4}) &&
                   Shows(hostB, 8, abyTo8) && Shows(hostB, 9, {0xB1, 0xB2, 0xB3, 0xB4});
        }))
        << "3: " << testing::PrintToString(Inputs(hostA, 3))
        << " 4: " << testing::PrintToString(Inputs(hostA, 4))
        << " 8: " << testing::PrintToString(Inputs(hostB, 8))
        << " 9: " << testing::PrintToString(Inputs(hostB, 9));

    // The monitor serves what crossed the line: both masters' slaves, their inputs and the
    // outputs their masters sent; slave 9's inputs changed by the test follow.
    ASSERT_EQ(Command(m_bus.Slaves(1), "input 9 0 C1C2C3C4"), "ok slave 9 inputs set");
    const Bytes abyNew9 = {0xC1, 0xC2, 0xC3, 0xC4};
    ASSERT_TRUE(Eventually(
        [&]
        {
            return Shows(monitor, 3, abyTo3) && Shows(monitor, 4, {0xA1, 0xA2, 0xA3, 0xA4}) &&
                   Shows(monitor, 8, abyTo8) && Shows(monitor, 9, abyNew9) &&
                   DataOf(Call(BoardReadOutput, MakeRequest(monitor, 3))) == abyTo3 &&
                   DataOf(Call(BoardReadOutput, MakeRequest(monitor, 8))) == abyTo8;
        }))
        << "the monitor serves 3: " << testing::PrintToString(Inputs(monitor, 3))
        << " 8: " << testing::PrintToString(Inputs(monitor, 8))
        << " 9: " << testing::PrintToString(Inputs(monitor, 9));
    // Nothing but those values, read for a while: a value is one a slave sent, or 0 while
    // the monitor does not show the slave exchanging.
    const std::map<std::uint8_t, std::set<Bytes>> sent = {
        {3, {abyTo3}}, {4, {{0xA1, 0xA2, 0xA3, 0xA4}}}, {8, {abyTo8}}, {9, {abyNew9}}};
    for (int nRead = 0; nRead < 100; ++nRead)
    {
        for (const auto& [byAddress, values] : sent)
        {
            const SBoardRequest read = Call(BoardReadInput, MakeRequest(monitor, byAddress));
            ASSERT_EQ(read.wError, 0);
            if (IsSlaveExchanging(read.bySlaveState))
                ASSERT_EQ(values.count(DataOf(read)), 1u)
                    << "slave " << int(byAddress) << ": " << testing::PrintToString(DataOf(read));
            else
                ASSERT_THAT(DataOf(read), testing::Each(0));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(Call(BoardWriteOutput, MakeWrite(monitor, 8, {1, 2, 3, 4})).wError, 0x86);

    // A slave that drops out: its master and the monitor both stop showing it, the monitor
    // with its inputs zeroed.
    ASSERT_EQ(Command(m_bus.Slaves(1), "silent 9 on"), "ok slave 9 silent");
    ASSERT_TRUE(Eventually(
        [&]
        {
            const SBoardRequest read = Call(BoardReadInput, MakeRequest(monitor, 9));
            return read.wError == 0 && !IsSlaveExchanging(read.bySlaveState) &&
                   DataOf(read) == Bytes(4, 0) && !Exchanging(hostB, 9);
        }))
        << "the monitor still serves slave 9: " << testing::PrintToString(Inputs(monitor, 9));
    // The other slaves go on. (While master 6 waits out slave 9's slot times its cycle grows
    // tenfold, and the monitor, which judges a slave gone by its master's cycles, may show
    // slave 8 out of exchange until it has seen the longer cycle: eventually, not at once.)
    EXPECT_TRUE(Eventually([&] { return Shows(hostB, 8, abyTo8) && Shows(monitor, 8, abyTo8); }))
        << "slave 8 is no longer served; master 6:" << Said(m_bus.Master(1));

    // Master 2 dies: its board reads offline; master 6 keeps its slaves and the ring, alone.
    const std::int64_t nGarbledBefore =
        m_bus.Line().Stats().value("characters_garbled", std::int64_t{0});
    EXPECT_EQ(m_bus.EndMaster(0, SIGKILL), 128 + SIGKILL);
    ASSERT_TRUE(Eventually(
        [&]
        {
            const SBoardRequest read = Call(BoardReadInput, MakeRequest(hostA, 3));
            return read.byMasterState == MasterOffline && !IsSlaveExchanging(read.bySlaveState);
        }))
        << "board A still shows its master";
    ASSERT_TRUE(Eventually([&] { return RingOf(m_byBoardB, {6}); }))
        << "master 6 kept master 2 in its ring; master 6:" << Said(m_bus.Master(1));
    const Bytes abyLater = {0x85, 0x86, 0x87, 0x88};
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(hostB, 8, abyLater)).wError, 0);
    ASSERT_TRUE(
        Eventually([&] { return Shows(hostB, 8, abyLater) && Shows(monitor, 8, abyLater); }))
        << "master 6's slave 8 stopped exchanging";
    const dp::SMasterStatus survivor = dp::ReadMasterStatus(m_byBoardB);
    EXPECT_GT(survivor.header.ring.dwStationsDropped + survivor.header.ring.dwTokensClaimed, 0u);

    // The line's counts: the monitor never sent; garbling stays rare (a line's worth of
    // overlaps, such as two stations' first telegrams, is allowed; a ring where two stations
    // send at will would garble thousands).
    m_bus.EndStations();
    const std::string strMonitor = CMultiDropBus::MonitorEndpoint(0);
    ASSERT_TRUE(Eventually([&] { return m_bus.Line().Count(strMonitor, "bytes_received") > 0; }));
    EXPECT_EQ(m_bus.Line().Stop(), 0);
    EXPECT_EQ(m_bus.Line().Count(strMonitor, "bytes_sent"), 0);
    const nlohmann::json stats = m_bus.Line().Stats();
    const std::int64_t nGarbled = stats.value("characters_garbled", std::int64_t{0});
    std::int64_t nSent = 0;
    for (const nlohmann::json& endpoint : stats["endpoints"])
        nSent += endpoint.value("bytes_sent", std::int64_t{0});
    EXPECT_GT(nSent, 0);
    EXPECT_LE(nGarbled * 100, nSent) << nGarbled << " characters garbled of " << nSent << " sent";
    std::cout << "[ garbled  ] " << nGarbled << " of " << nSent << " characters, "
              << nGarbled - nGarbledBefore << " after master 2 died" << std::endl;
}

// Master 5 observes master 2's slave 3 as a class-2 master: its board shows what slave 3
// sends and what master 2 writes to it, refuses its host's write, and nothing but the four
// reads of a class-2 master ever goes from 5 to the slave, as the test hears the line.
TEST_F(SeveralMastersLineTest, AnObserverShowsAnotherMastersSlaveAndOnlyReadsIt)
{
    SMultiDropSetUp setUp;
    setUp.masters.push_back({m_byBoardA, BusFile(2, std::string(kSlave3) + "," + kSlave4), {}});
    // Slave 3 lies in master 2's gap (2 to 5), not in master 5's (5 round to 2): the ring's
    // own FDL status polls of the gap are master 2's to send.
    setUp.masters.push_back(
        {m_byBoardB,
         BusFile(5, R"({ "address": 3, "ident": 4660, "config": "33", "observe": true })"),
         {}});
    setUp.astrSlaveFiles = {kSlavesOf2};
    setUp.nListeners = 1;
    ASSERT_NO_FATAL_FAILURE(m_bus.StartLine(setUp));
    CLineListener listener;
    std::string strError;
    ASSERT_TRUE(listener.Open(m_bus.Line().Path(CMultiDropBus::ListenerEndpoint(0)), strError))
        << strError;
    ASSERT_NO_FATAL_FAILURE(m_bus.StartStations(setUp));

    ASSERT_TRUE(Eventually(
        [&] {
            return RingOf(m_byBoardA, {2, 5}) && RingOf(m_byBoardB, {2, 5});
        }))
        << "the ring of masters 2 and 5 did not form; master 2:" << Said(m_bus.Master(0))
        << "\nmaster 5:" << Said(m_bus.Master(1));
    const SHandle owner = RegisterOn(m_byBoardA, {3, 4});
    const SHandle observer = RegisterOn(m_byBoardB, {3});
    ASSERT_TRUE(Eventually([&] { return Exchanging(owner, 3); }));
    const Bytes abyTo3 = {0x13, 0x57, 0x9B, 0xDF};
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(owner, 3, abyTo3)).wError, 0);
    ASSERT_TRUE(Eventually(
        [&]
        {
            return Shows(observer, 3, abyTo3) &&
                   DataOf(Call(BoardReadOutput, MakeRequest(observer, 3))) == abyTo3;
        }))
        << "the observer shows " << testing::PrintToString(Inputs(observer, 3));

    // The observer's host may not write: refused, and the slave keeps its owner's outputs.
    const SBoardRequest write = Call(BoardWriteOutput, MakeWrite(observer, 3, {1, 2, 3, 4}));
    EXPECT_EQ(write.wError, 0x86);
    const dp::SMasterStatus status = dp::ReadMasterStatus(m_byBoardB);
    ASSERT_EQ(status.eStatus, dp::teMasterStatus::Live) << status.strWhy;
    ASSERT_EQ(status.aSlaves.size(), 1u);
    EXPECT_EQ(status.aSlaves[0].byObserved, dp::kStatusObserved | 2) << "its owner is master 2";
    const std::uint32_t dwReadsSoFar = status.aSlaves[0].counters.dwExchanges;
    // A few more of the observer's cycles, for anything it might send after the refusal.
    ASSERT_TRUE(Eventually(
        [&]
        {
            const dp::SMasterStatus later = dp::ReadMasterStatus(m_byBoardB);
            return later.aSlaves.size() == 1 &&
                   later.aSlaves[0].counters.dwExchanges >= dwReadsSoFar + 5;
        }))
        << "the observer stopped reading";
    EXPECT_EQ(Command(m_bus.Slaves(0), "outputs 3"), "ok 13 57 9b df");
    EXPECT_EQ(Command(m_bus.Slaves(0), "state 3").rfind("ok slave 3 data exchange master 2", 0),
              0u);
    EXPECT_TRUE(Shows(owner, 3, abyTo3));

    m_bus.EndStations();
    listener.Stop();
    // What went from the observer to the slaves, and to all of them at once.
    std::map<int, int> reads; // DSAP, telegrams
    int nHeardFrom5 = 0;
    for (const SHeard& heard : listener.Heard())
    {
        if ((heard.bySa & 0x7F) != 5)
            continue;
        ++nHeardFrom5;
        const std::uint8_t byDa = heard.byDa & 0x7F;
        if (heard.bySd == 0xDC || (byDa != 3 && byDa != 4 && byDa != 127))
            continue;
        EXPECT_EQ(byDa, 3) << "master 5 sent to " << int(byDa);
        EXPECT_TRUE(heard.nDsap == 60 || heard.nDsap == 56 || heard.nDsap == 57 ||
                    heard.nDsap == 59)
            << "master 5 sent slave 3 a telegram with DSAP " << heard.nDsap << ", FC "
            << int(heard.byFc);
        EXPECT_NE(heard.byFc & 0x40, 0) << "a request";
        ++reads[heard.nDsap];
    }
    EXPECT_GT(nHeardFrom5, 0);
    EXPECT_GT(reads[60], 0) << "Slave_Diag";
    EXPECT_GT(reads[59], 0) << "Get_Cfg";
    EXPECT_GT(reads[56], 0) << "RD_Inp";
    EXPECT_GT(reads[57], 0) << "RD_Outp";
    // The listener missed nothing the line brought.
    EXPECT_EQ(m_bus.Line().Count(CMultiDropBus::ListenerEndpoint(0), "bytes_dropped"), 0);
    std::cout << "[ observer ] Slave_Diag " << reads[60] << ", Get_Cfg " << reads[59] << ", RD_Inp "
              << reads[56] << ", RD_Outp " << reads[57] << std::endl;
}

} // namespace
} // namespace dptest
