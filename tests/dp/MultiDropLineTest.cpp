// dp_ptybus, the multi-drop line of pseudo-terminals, as real processes: first with the test
// writing and reading raw bytes at its endpoints (who hears what, garbling, an endpoint
// nobody reads, a line left idle), then with a DP bus on it: korix-dpslave on one endpoint,
// korix-dpmaster serving a board of the test's own on another, and a third endpoint where the
// test only listens; the test is the host of the board.
#include "tests/dp/DpBusFixture.h"
#include "tests/dp/MultiDropBus.h"
#include "tests/sim/SimTestSupport.h"

#include "dp/fdl/TelegramParser.h"
#include "dp/line/SerialPort.h"

#include <gmock/gmock.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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
using testing::AnyOf;
using testing::Each;

bool Eventually(const std::function<bool()>& condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Reads from the port until nCount bytes came or 20 s passed.
Bytes ReadBytes(dp::CSerialPort& port, std::size_t nCount)
{
    Bytes abyRead;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::uint8_t abyBuffer[4096];
    while (abyRead.size() < nCount && std::chrono::steady_clock::now() < end)
    {
        const long nRead =
            port.Read(abyBuffer, std::min(sizeof abyBuffer, nCount - abyRead.size()), 100000000);
        if (nRead < 0)
            break;
        abyRead.insert(abyRead.end(), abyBuffer, abyBuffer + nRead);
    }
    return abyRead;
}

// What has come and not been read yet, without waiting for more.
Bytes ReadWaiting(dp::CSerialPort& port)
{
    std::uint8_t abyBuffer[4096];
    const long nRead = port.Read(abyBuffer, sizeof abyBuffer, 0);
    return nRead > 0 ? Bytes(abyBuffer, abyBuffer + nRead) : Bytes{};
}

class PtyBusLineTest : public testing::Test
{
protected:
    void Open(const std::vector<std::string>& astrNames)
    {
        for (const std::string& strName : astrNames)
        {
            std::string strError;
            m_ports[strName] = std::make_unique<dp::CSerialPort>();
            ASSERT_TRUE(
                m_ports[strName]->Open(m_line.Path(strName), m_dwBaud, dp::teRs485::Off, strError))
                << strError;
        }
    }
    dp::CSerialPort& Port(const std::string& strName) { return *m_ports.at(strName); }

    CPtyBusLine m_line;
    std::uint32_t m_dwBaud = 19200;
    std::map<std::string, std::unique_ptr<dp::CSerialPort>> m_ports;
};

TEST_F(PtyBusLineTest, StationsTakingTurnsHearEachOtherButNeverThemselves)
{
    ASSERT_NO_FATAL_FAILURE(m_line.Start({"a", "b", "c"}, m_dwBaud));
    ASSERT_NO_FATAL_FAILURE(Open({"a", "b", "c"}));
    const Bytes abyRequest = {0x10, 0x03, 0x02, 0x49, 0x4E, 0x16};
    const Bytes abyAnswer = {0x10, 0x02, 0x03, 0x00, 0x05, 0x16};
    ASSERT_TRUE(Port("a").Write(abyRequest.data(), abyRequest.size()));
    EXPECT_EQ(ReadBytes(Port("b"), abyRequest.size()), abyRequest);
    EXPECT_EQ(ReadBytes(Port("c"), abyRequest.size()), abyRequest);
    ASSERT_TRUE(Port("b").Write(abyAnswer.data(), abyAnswer.size()));
    EXPECT_EQ(ReadBytes(Port("a"), abyAnswer.size()), abyAnswer);
    EXPECT_EQ(ReadBytes(Port("c"), abyAnswer.size()), abyAnswer);
    // Everything has been handed on: what either writer hears of itself would be there by now.
    EXPECT_TRUE(ReadWaiting(Port("a")).empty());
    EXPECT_TRUE(ReadWaiting(Port("b")).empty());

    EXPECT_EQ(m_line.Stop(), 0);
    EXPECT_EQ(m_line.Count("a", "bytes_sent"), 6);
    EXPECT_EQ(m_line.Count("b", "bytes_sent"), 6);
    EXPECT_EQ(m_line.Count("c", "bytes_sent"), 0);
    EXPECT_EQ(m_line.Count("c", "bytes_received"), 12);
    EXPECT_EQ(m_line.Stats()["characters_garbled"], 0);
    // It took its links with it.
    EXPECT_FALSE(std::filesystem::is_symlink(m_line.Path("a")));
}

TEST_F(PtyBusLineTest, CharactersOfTwoWritersAtOnceReachTheOthersGarbled)
{
    // At 1200 bit/s 64 characters take half a second: the two writes overlap on the line
    // however late the second one comes after the first.
    m_dwBaud = 1200;
    ASSERT_NO_FATAL_FAILURE(m_line.Start({"a", "b", "c"}, m_dwBaud));
    ASSERT_NO_FATAL_FAILURE(Open({"a", "b", "c"}));
    const Bytes abyFromA(64, 0x0F);
    const Bytes abyFromB(64, 0xF0);
    ASSERT_TRUE(Port("a").Write(abyFromA.data(), abyFromA.size()));
    ASSERT_TRUE(Port("b").Write(abyFromB.data(), abyFromB.size()));

    const Bytes abyHeard = ReadBytes(Port("c"), 128);
    ASSERT_EQ(abyHeard.size(), 128u);
    EXPECT_THAT(abyHeard, Each(AnyOf(0x0F, 0xF0, 0xFF)));
    const auto nGarbled = std::count(abyHeard.begin(), abyHeard.end(), 0xFF);
    EXPECT_GE(nGarbled, 2); // at least one of each writer's
    // Each writer hears the other's characters as the line carried them.
    const Bytes abyHeardByA = ReadBytes(Port("a"), 64);
    EXPECT_THAT(abyHeardByA, Each(AnyOf(0xF0, 0xFF)));

    EXPECT_EQ(m_line.Stop(), 0);
    EXPECT_EQ(m_line.Stats()["characters_garbled"], nGarbled);
    EXPECT_EQ(m_line.Count("a", "characters_garbled") + m_line.Count("b", "characters_garbled"),
              nGarbled);
    EXPECT_EQ(m_line.Count("c", "bytes_sent"), 0);
}

TEST_F(PtyBusLineTest, WithEchoTheWriterHearsItselfAsTheOthersHearIt)
{
    ASSERT_NO_FATAL_FAILURE(m_line.Start({"a", "b"}, m_dwBaud, true));
    ASSERT_NO_FATAL_FAILURE(Open({"a", "b"}));
    const Bytes abyTelegram = {0xDC, 0x02, 0x02};
    ASSERT_TRUE(Port("a").Write(abyTelegram.data(), abyTelegram.size()));
    EXPECT_EQ(ReadBytes(Port("b"), 3), abyTelegram);
    EXPECT_EQ(ReadBytes(Port("a"), 3), abyTelegram);
}

// An endpoint whose station never came, or went away, neither wedges the line nor wakes it:
// what the line brings it piles up to what its pseudo-terminal holds, then is dropped and
// counted, and the others are served on.
TEST_F(PtyBusLineTest, AnEndpointNobodyReadsHoldsUpNoOneAndLeavesTheLineAsleep)
{
    m_dwBaud = 12000000;
    ASSERT_NO_FATAL_FAILURE(m_line.Start({"a", "gone", "never", "c"}, m_dwBaud));
    ASSERT_NO_FATAL_FAILURE(Open({"a", "gone", "c"}));
    m_ports.erase("gone");

    // Quiet, the line wakes for its stats file and little else; one that spun on the
    // endpoints' hang-ups would count wake-ups by the hundred thousand.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const nlohmann::json idle = m_line.Stats();
    ASSERT_TRUE(idle.contains("wakeups"));
    EXPECT_LT(idle["wakeups"].get<std::int64_t>(), 200);

    const std::size_t nTotal = 60000; // more than a pseudo-terminal holds
    Bytes abyData(nTotal);
    for (std::size_t i = 0; i < nTotal; ++i)
        abyData[i] = static_cast<std::uint8_t>(i * 7);
    std::thread writer([&] { Port("a").Write(abyData.data(), abyData.size()); });
    const Bytes abyHeard = ReadBytes(Port("c"), nTotal);
    writer.join();
    EXPECT_EQ(abyHeard, abyData);
    ASSERT_TRUE(Eventually(
        [&]
        {
            return m_line.Count("c", "bytes_received") == static_cast<std::int64_t>(nTotal) &&
                   m_line.Count("never", "bytes_received") +
                           m_line.Count("never", "bytes_dropped") ==
                       static_cast<std::int64_t>(nTotal) &&
                   m_line.Count("gone", "bytes_received") + m_line.Count("gone", "bytes_dropped") ==
                       static_cast<std::int64_t>(nTotal);
        }));
    EXPECT_GT(m_line.Count("never", "bytes_dropped"), 0);
    EXPECT_GT(m_line.Count("gone", "bytes_dropped"), 0);
    EXPECT_EQ(m_line.Count("c", "bytes_dropped"), 0);
    EXPECT_EQ(m_line.Stop(), 0);
}

// Without a stats file the counts come on standard output, on SIGUSR1 and at the end.
TEST(PtyBusCommandLineTest, WithoutAStatsFileTheCountsComeOnStandardOutput)
{
    testsupport::CChildProcess line({DP_PTYBUS, "--endpoints", "master,listener"});
    std::string strLine;
    ASSERT_TRUE(line.ReadLine(strLine));
    EXPECT_THAT(strLine, testing::MatchesRegex("dp_ptybus: endpoint master /dev/pts/[0-9]+"));
    ASSERT_TRUE(line.ReadLine(strLine));
    ASSERT_TRUE(line.ReadLine(strLine));
    EXPECT_EQ(strLine, "dp_ptybus: ready, 2 endpoints at 1500000 bit/s");
    line.Kill(SIGUSR1);
    ASSERT_TRUE(line.ReadLine(strLine));
    const nlohmann::json asked = nlohmann::json::parse(strLine, nullptr, false);
    ASSERT_TRUE(asked.contains("endpoints")) << strLine;
    EXPECT_EQ(asked["endpoints"][1]["name"], "listener");
    EXPECT_EQ(asked["endpoints"][1]["bytes_sent"], 0);
    line.Kill(SIGTERM);
    ASSERT_TRUE(line.ReadLine(strLine));
    EXPECT_TRUE(nlohmann::json::parse(strLine, nullptr, false).contains("characters_garbled"))
        << strLine;
    EXPECT_EQ(line.Wait(), 0);
}

TEST(PtyBusCommandLineTest, ALineItCannotMakeIsRefusedAndLeavesTheFolderAsItWas)
{
    for (const char* pszEndpoints : {"1", "a,a", "a,../b", "a,", "65"})
    {
        testsupport::SRunResult run =
            testsupport::RunToEnd({DP_PTYBUS, "--endpoints", pszEndpoints});
        EXPECT_EQ(run.nExitCode, 2) << pszEndpoints << ": " << run.strOutput;
    }
    // A file where a link is to go is not ours to replace.
    const std::string strDir = testing::TempDir() + testsupport::UniqueName("ptybuslinks");
    std::filesystem::create_directory(strDir);
    {
        std::ofstream file(strDir + "/b");
        file << "keep";
    }
    testsupport::SRunResult run =
        testsupport::RunToEnd({DP_PTYBUS, "--endpoints", "a,b", "--link-dir", strDir});
    EXPECT_EQ(run.nExitCode, 1) << run.strOutput;
    EXPECT_THAT(run.strOutput, testing::HasSubstr(strDir + "/b: exists and is not a link"));
    std::ifstream kept(strDir + "/b");
    std::string strKept;
    kept >> strKept;
    EXPECT_EQ(strKept, "keep");
    std::filesystem::remove_all(strDir);
}

// Slave 3 loops its outputs back into its inputs.
class MultiDropBusTest : public simtest::CBoardTest
{
protected:
    void SetUp() override
    {
        SMultiDropSetUp setUp;
        setUp.masters.push_back({m_byBoard, kThreeSlavesBus, {"--cycle-us", "500"}});
        setUp.astrSlaveFiles = {kThreeSlaves};
        setUp.nListeners = 1;
        ASSERT_NO_FATAL_FAILURE(m_bus.Start(setUp));
    }

    bool AllExchanging(SHandle handle)
    {
        SBoardRequest states = Call(BoardReadSlaveStates, MakeRequest(handle, 0, 126));
        return states.wError == 0 && states.byMasterState == 0xC0 && states.abyData[3] == 2 &&
               states.abyData[4] == 2 && states.abyData[5] == 2;
    }

    CMultiDropBus m_bus;
};

TEST_F(MultiDropBusTest, SlavesExchangeWithTheMasterAcrossTheLineAndAListenerHearsBothSides)
{
    std::string strError;
    dp::CSerialPort listener;
    ASSERT_TRUE(listener.Open(m_bus.Line().Path(CMultiDropBus::ListenerEndpoint(0)), 1500000,
                              dp::teRs485::Off, strError))
        << strError;

    SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    const Bytes abyOut = {0xC0, 0xFF, 0xEE, 0x01, 0x02, 0x03, 0x04, 0x05};
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(handle, 3, abyOut)).wError, 0);
    ASSERT_TRUE(
        Eventually([&] { return DataOf(Call(BoardReadInput, MakeRequest(handle, 3))) == abyOut; }));

    // The listener hears the master's Data_Exchange request with the outputs and slave 3's
    // answer with them looped back, whole.
    dp::CTelegramParser parser;
    bool bRequest = false;
    bool bAnswer = false;
    listener.DiscardInput();
    ASSERT_TRUE(Eventually(
        [&]
        {
            const Bytes abyHeard = ReadWaiting(listener);
            parser.FeedEach(abyHeard.data(), abyHeard.size(),
                            [&](const dp::STelegram& telegram, std::size_t)
                            {
                                const Bytes abyData(telegram.abyData,
                                                    telegram.abyData + telegram.byDataLength);
                                if (telegram.eFrame == dp::teFrame::Sd2 && !telegram.bHasDsap &&
                                    abyData == abyOut)
                                {
                                    bRequest |= telegram.bySa == 2 && telegram.byDa == 3;
                                    bAnswer |= telegram.bySa == 3 && telegram.byDa == 2;
                                }
                                return true;
                            });
            return bRequest && bAnswer;
        }));

    // The line's counts: master and slaves sent, the listener never; what each sent reached
    // the other whole, nothing garbled it, nothing was dropped.
    const std::string strMaster = CMultiDropBus::MasterEndpoint(0);
    const std::string strSlaves = CMultiDropBus::SlavesEndpoint(0);
    const std::string strListener = CMultiDropBus::ListenerEndpoint(0);
    m_bus.EndStations();
    ASSERT_TRUE(Eventually(
        [&]
        {
            const std::int64_t nMasterSent = m_bus.Line().Count(strMaster, "bytes_sent");
            const std::int64_t nSlavesSent = m_bus.Line().Count(strSlaves, "bytes_sent");
            return nMasterSent > 0 && nSlavesSent > 0 &&
                   m_bus.Line().Count(strSlaves, "bytes_received") +
                           m_bus.Line().Count(strSlaves, "bytes_dropped") ==
                       nMasterSent &&
                   m_bus.Line().Count(strListener, "bytes_received") +
                           m_bus.Line().Count(strListener, "bytes_dropped") ==
                       nMasterSent + nSlavesSent;
        }));
    EXPECT_EQ(m_bus.Line().Count(strListener, "bytes_sent"), 0);
    EXPECT_EQ(m_bus.Line().Stop(), 0);
}

} // namespace
} // namespace dptest
