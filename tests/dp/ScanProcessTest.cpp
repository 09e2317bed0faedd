// korix-dpmaster scan as people run it: korix-dpslave with the demo's slaves on a
// pseudo-terminal, the scan on its other end with the demo's GSD folder; the bus file it writes
// is then run by korix-dpmaster, serving a board of the test's own, until every slave found
// exchanges data.
#include "tests/sim/SimTestSupport.h"

#include "tests/support/ChildProcess.h"

#include "dp/line/SerialPort.h"

#include <gmock/gmock.h>

// termios2: the rate as a number, as the scan sets it (not mixable with <termios.h>).
#include <asm/termbits.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

namespace dptest
{
namespace
{

using testing::HasSubstr;

class ScanProcessTest : public simtest::CBoardTest
{
protected:
    void SetUp() override
    {
        m_strDir = testing::TempDir() + testsupport::UniqueName("scanbus") + "/";
        std::filesystem::create_directories(m_strDir);
        m_pSlaves = std::make_unique<testsupport::CChildProcess>(
            std::vector<std::string>{DPSLAVE, "--pty", "--slaves", DP_DEMO_DIR "/slaves.json"});
        std::string strLine;
        ASSERT_TRUE(m_pSlaves->ReadLine(strLine));
        ASSERT_NE(strLine.find(" on "), std::string::npos) << strLine;
        m_strPeer = strLine.substr(strLine.rfind(" on ") + 4);
    }

    void TearDown() override
    {
        for (auto* pChild : {m_pMaster.get(), m_pSlaves.get()})
        {
            if (pChild != nullptr)
            {
                pChild->Kill(SIGTERM);
                pChild->Wait();
            }
        }
        std::error_code error;
        std::filesystem::remove_all(m_strDir, error);
    }

    testsupport::SRunResult Scan(const std::vector<std::string>& extra)
    {
        // A pseudo-terminal's answers wait for the scheduler: a generous allowance.
        std::vector<std::string> argv = {DPMASTER,
                                         "scan",
                                         "--port",
                                         m_strPeer,
                                         "--baud",
                                         "93750",
                                         "--address",
                                         "1",
                                         "--highest-address",
                                         "20",
                                         "--response-allowance-us",
                                         "50000"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return testsupport::RunToEnd(argv, 120000);
    }

    std::string m_strDir;
    std::string m_strPeer;
    std::unique_ptr<testsupport::CChildProcess> m_pSlaves;
    std::unique_ptr<testsupport::CChildProcess> m_pMaster;
};

TEST_F(ScanProcessTest, FindsTheSlavesAndWritesABusFileThatBringsTheBusUp)
{
    const std::string strBus = m_strDir + "found.json";
    const testsupport::SRunResult scan =
        Scan({"--gsd-dir", DP_DEMO_DIR "/gsd", "--write-bus", strBus});
    ASSERT_EQ(scan.nExitCode, 0) << scan.strOutput;
    EXPECT_THAT(scan.strOutput, HasSubstr("address 3: slave, ident 0x1234, no master, waiting "
                                          "for parameters, config 17 27 (8 bytes in, 8 bytes "
                                          "out); GSD " DP_DEMO_DIR "/gsd/loopback8.gsd"));
    EXPECT_THAT(scan.strOutput,
                HasSubstr("address 4: slave, ident 0x5678, no master, waiting for parameters, "
                          "config 17 23 (8 bytes in, 4 bytes out); GSD " DP_DEMO_DIR
                          "/gsd/sensor8.gsd, modules \"8 bytes in\", \"4 bytes out\""));
    EXPECT_THAT(scan.strOutput, HasSubstr("address 5: slave, ident 0xABCD"));
    EXPECT_THAT(scan.strOutput, HasSubstr("3 stations (3 slaves) in one pass"));
    EXPECT_THAT(scan.strOutput, HasSubstr("wrote " + strBus));

    // The file is not overwritten unasked.
    const testsupport::SRunResult again = Scan({"--write-bus", strBus});
    EXPECT_EQ(again.nExitCode, 1) << again.strOutput;
    EXPECT_THAT(again.strOutput, HasSubstr("exists already (--force overwrites it)"));

    m_pMaster = std::make_unique<testsupport::CChildProcess>(std::vector<std::string>{
        DPMASTER, "--board", std::to_string(m_byBoard), "--port", m_strPeer, "--bus", strBus});
    // Its announcement among whatever else it prints first.
    std::string strLine;
    bool bServing = false;
    for (int nLine = 0; nLine < 20 && !bServing && m_pMaster->ReadLine(strLine, 20000); ++nLine)
        bServing = strLine.find("serving board") != std::string::npos;
    ASSERT_TRUE(bServing) << strLine;
    // The status on request, until every slave exchanges data (a generous deadline).
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string strStatus;
    bool bAll = false;
    while (!bAll && std::chrono::steady_clock::now() < end)
    {
        ASSERT_TRUE(m_pMaster->WriteLine("status"));
        strStatus.clear();
        while (m_pMaster->ReadLine(strLine, 2000))
        {
            strStatus += strLine + "\n";
            if (strLine.rfind("slave 5:", 0) == 0)
                break;
        }
        bAll = strStatus.find("slave 3: data exchange") != std::string::npos &&
               strStatus.find("slave 4: data exchange") != std::string::npos &&
               strStatus.find("slave 5: data exchange") != std::string::npos;
    }
    EXPECT_TRUE(bAll) << strStatus;
}

// A bus at 19200 bit/s on a pseudo-terminal: the rate the scan sets on its end is read from
// ours (the pair shares the setting), and while it is not the bus's the scan gets what a UART
// at a wrong rate gives, garbage; at the bus's rate a master polling its slave. The line is
// live, but no token goes round on it: the scan finds no ring to join and ends, unsent.
TEST(ScanBaudAutoTest, FindsTheRateAtWhichValidTelegramsComeAndRefusesTheLiveBus)
{
    dp::CSerialPort port;
    std::string strPeer, strError;
    ASSERT_TRUE(port.OpenPseudoTerminal(19200, strPeer, strError)) << strError;
    std::atomic<bool> bStop{false};
    std::thread peer(
        [&]
        {
            // SD1 request to slave 3 from master 2 (SRD high), the slave's SD2 answer with data.
            const std::uint8_t abyPoll[] = {0x10, 0x03, 0x02, 0x5D, 0x62, 0x16, 0x68, 0x05, 0x05,
                                            0x68, 0x02, 0x03, 0x08, 0x01, 0x02, 0x10, 0x16};
            const std::uint8_t abyGarbage[] = {0xFF, 0x00, 0x7E, 0x81, 0xF0, 0x0F, 0x3C, 0xC3};
            while (!bStop)
            {
                struct termios2 tio = {};
                const bool bRight =
                    ioctl(port.Descriptor(), TCGETS2, &tio) == 0 && tio.c_ospeed == 19200;
                pollfd poll = {port.Descriptor(), POLLOUT, 0};
                if (::poll(&poll, 1, 0) == 1)
                {
                    const ssize_t nWritten =
                        bRight ? ::write(port.Descriptor(), abyPoll, sizeof abyPoll)
                               : ::write(port.Descriptor(), abyGarbage, sizeof abyGarbage);
                    (void)nWritten;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    const testsupport::SRunResult scan =
        testsupport::RunToEnd({DPMASTER, "scan", "--port", strPeer, "--baud", "auto"}, 120000);
    bStop = true;
    peer.join();
    EXPECT_EQ(scan.nExitCode, 3) << scan.strOutput;
    EXPECT_THAT(scan.strOutput, HasSubstr("the line runs at 19200 bit/s"));
    EXPECT_THAT(scan.strOutput, HasSubstr("the bus has an active master (station 2)"));
    EXPECT_THAT(scan.strOutput, HasSubstr("no token went round"));
    EXPECT_THAT(scan.strOutput, HasSubstr("Nothing was sent"));
}

TEST_F(ScanProcessTest, ItsOwnHelpAndUsageErrors)
{
    const testsupport::SRunResult help = testsupport::RunToEnd({DPMASTER, "scan", "--help"});
    EXPECT_EQ(help.nExitCode, 0);
    EXPECT_THAT(help.strOutput, HasSubstr("Usage: korix-dpmaster scan [OPTIONS]"));
    for (const char* pszOption : {"--port", "--baud", "--address", "--gsd-dir", "--write-bus"})
        EXPECT_THAT(help.strOutput, HasSubstr(pszOption));
    const testsupport::SRunResult bad =
        testsupport::RunToEnd({DPMASTER, "scan", "--port", m_strPeer, "--baud", "100000"});
    EXPECT_EQ(bad.nExitCode, 2);
    EXPECT_THAT(bad.strOutput, HasSubstr("not a standard rate"));
}

} // namespace
} // namespace dptest
