// A board served by korix-dpmaster, reached by the host through the eight board operations,
// as the MovaJob library reaches it: real processes all of them (the slave simulator on a
// pseudo-terminal, the master on its other end, the test as the host), on a board of the
// test's own (KORIXSIM_PREFIX). The master is killed, ended and stopped under the host.
#include "tests/dp/DpBusFixture.h"
#include "tests/sim/SimTestSupport.h"

#include "board/BoardStates.h"

#include <gmock/gmock.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

namespace dptest
{
namespace
{

using simtest::Call;
using simtest::DataOf;
using simtest::MakeRequest;
using simtest::MakeWrite;
using simtest::SHandle;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

constexpr std::uint8_t kExpiredFlag = 0x20;

class DpBoardTest : public simtest::CBoardTest
{
protected:
    void SetUp() override
    {
        m_strBusFile = WriteTempFile("dpbus.json", kThreeSlavesBus);
        const std::string strSlaveFile = WriteTempFile("dpslaves.json", kThreeSlaves);
        m_pSlaves = std::make_unique<testsupport::CChildProcess>(
            std::vector<std::string>{DPSLAVE, "--pty", "--slaves", strSlaveFile});
        std::string strLine;
        ASSERT_TRUE(m_pSlaves->ReadLine(strLine));
        m_strPeer = strLine.substr(strLine.rfind(" on ") + 4);
        StartMaster();
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
    }

    void StartMaster()
    {
        m_pMaster = std::make_unique<testsupport::CChildProcess>(
            std::vector<std::string>{DPMASTER, "--board", std::to_string(m_byBoard), "--port",
                                     m_strPeer, "--bus", m_strBusFile, "--cycle-us", "500"});
        std::string strLine;
        ASSERT_TRUE(m_pMaster->ReadLine(strLine));
        ASSERT_THAT(strLine,
                    StartsWith("korix-dpmaster: serving board " + std::to_string(m_byBoard)));
    }

    // Polls until the condition holds; false after the deadline.
    static bool Eventually(const std::function<bool()>& condition,
                           std::chrono::seconds deadline = std::chrono::seconds(20))
    {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (std::chrono::steady_clock::now() < end)
        {
            if (condition())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    SBoardRequest ReadInput(SHandle handle, std::uint8_t byAddress)
    {
        return Call(BoardReadInput, MakeRequest(handle, byAddress));
    }

    bool AllExchanging(SHandle handle)
    {
        SBoardRequest states = Call(BoardReadSlaveStates, MakeRequest(handle, 0, 126));
        return states.wError == 0 && states.byMasterState == 0xC0 && states.abyData[3] == 2 &&
               states.abyData[4] == 2 && states.abyData[5] == 2;
    }

    std::string SlaveCommand(const std::string& strLine)
    {
        std::string strAnswer;
        if (!m_pSlaves->WriteLine(strLine) || !m_pSlaves->ReadLine(strAnswer))
            return "(no answer)";
        return strAnswer;
    }

    std::string m_strBusFile;
    std::string m_strPeer;
    std::unique_ptr<testsupport::CChildProcess> m_pSlaves;
    std::unique_ptr<testsupport::CChildProcess> m_pMaster;
};

TEST_F(DpBoardTest, HostsReadAndWriteTheRealSlavesThroughTheBoard)
{
    SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));

    // The board's slave list and image lengths are the bus file's.
    SBoardRequest list = Call(BoardReadSlaveList, MakeRequest(handle));
    EXPECT_EQ(list.abyData[3], 2);
    EXPECT_EQ(list.abyData[6], 0xFF);
    SBoardRequest input5 = ReadInput(handle, 5);
    EXPECT_EQ(input5.byLength, 244);

    const std::vector<std::uint8_t> abyOut = {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4};
    SBoardRequest write = Call(BoardWriteOutput, MakeWrite(handle, 3, abyOut));
    ASSERT_EQ(write.wError, 0);
    // Out over the bus to slave 3, which loops them back into its inputs.
    ASSERT_TRUE(Eventually([&] { return DataOf(ReadInput(handle, 3)) == abyOut; }));
    EXPECT_EQ(SlaveCommand("outputs 3"), "ok de ad be ef 01 02 03 04");
    EXPECT_THAT(SlaveCommand("input 4 2 a1 b2"), StartsWith("ok"));
    ASSERT_TRUE(Eventually(
        [&]
        {
            SBoardRequest in = ReadInput(handle, 4);
            return in.abyData[2] == 0xA1 && in.abyData[3] == 0xB2;
        }));

    // The slaves' states on the bus are the board's slave states.
    EXPECT_THAT(SlaveCommand("silent 4 on"), StartsWith("ok"));
    ASSERT_TRUE(Eventually([&] { return ReadInput(handle, 4).bySlaveState == 0; }));
    EXPECT_THAT(SlaveCommand("silent 4 off"), StartsWith("ok"));
    ASSERT_TRUE(Eventually([&] { return ReadInput(handle, 4).bySlaveState == 2; }));
    EXPECT_THAT(SlaveCommand("diag 4 on"), StartsWith("ok"));
    ASSERT_TRUE(Eventually([&] { return ReadInput(handle, 4).bySlaveState == 3; }));

    // The master's status: the bus, the cycle, per slave its state, counters and diagnosis.
    ASSERT_TRUE(m_pMaster->WriteLine("status"));
    std::string strLine, strBus, strSlave4, strDiag4;
    while (strDiag4.empty() && m_pMaster->ReadLine(strLine))
    {
        if (strLine.rfind("bus: ", 0) == 0)
            strBus = strLine;
        else if (strLine.rfind("slave 4: ", 0) == 0)
            strSlave4 = strLine;
        else if (!strSlave4.empty() && strLine.rfind("  diagnosis:", 0) == 0)
            strDiag4 = strLine;
    }
    EXPECT_THAT(strBus, testing::HasSubstr(m_strPeer +
                                           " at 1500000 bit/s, master address 2, mode operate"));
    EXPECT_THAT(strSlave4, testing::MatchesRegex("slave 4: data exchange, diagnosis pending; ident "
                                                 "0x5678, 8 in / 4 out; exchanges [1-9][0-9]*, "
                                                 "retries [0-9]+, no answer [1-9][0-9]*, .*"));
    EXPECT_EQ(strDiag4, "  diagnosis: 08 04 00 02 56 78 03 5a 04");
    ASSERT_TRUE(m_pMaster->ReadLine(strLine));
    EXPECT_EQ(strLine, "  in words: extended diagnosis; master 2; ident 0x5678; device: 5a 04");
}

TEST_F(DpBoardTest, AnExpiredWatchdogClearsTheBusUntilTheHostSetsItAgain)
{
    SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    SBoardRequest watchdog = MakeRequest(handle, 0, 1);
    watchdog.abyData[0] = 10; // 100 ms
    ASSERT_EQ(Call(BoardSetWatchdog, watchdog).wError, 0);
    const std::vector<std::uint8_t> abyOut = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(handle, 3, abyOut)).wError, 0);
    // The host keeps exchanging (each read counts) until the outputs have reached the slave.
    ASSERT_TRUE(Eventually(
        [&]
        {
            return ReadInput(handle, 3).wError == 0 &&
                   SlaveCommand("outputs 3") == "ok 11 22 33 44 55 66 77 88";
        }));

    // The host falls silent; the master notices the expiry on its own, drops the outputs and
    // tells the slaves to clear.
    ASSERT_TRUE(
        Eventually([&] { return SlaveCommand("outputs 3") == "ok 00 00 00 00 00 00 00 00"; }));
    SBoardRequest read = ReadInput(handle, 3);
    EXPECT_EQ(read.byFlags & kExpiredFlag, kExpiredFlag);
    EXPECT_EQ(read.byMasterState, 0x80); // clear
    EXPECT_EQ(Call(BoardWriteOutput, MakeWrite(handle, 3, abyOut)).wError, 0x95);

    // Setting the watchdog again ends the expiry: operate, and the outputs flow again.
    watchdog.abyData[0] = 0;
    ASSERT_EQ(Call(BoardSetWatchdog, watchdog).wError, 0);
    ASSERT_TRUE(Eventually([&] { return ReadInput(handle, 3).byMasterState == 0xC0; }));
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(handle, 3, abyOut)).wError, 0);
    ASSERT_TRUE(
        Eventually([&] { return SlaveCommand("outputs 3") == "ok 11 22 33 44 55 66 77 88"; }));
}

TEST_F(DpBoardTest, AMasterKilledShowsOfflineAndARestartedOneServesTheHostsAgain)
{
    SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    const std::vector<std::uint8_t> abyOut = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(handle, 3, abyOut)).wError, 0);
    ASSERT_TRUE(Eventually([&] { return DataOf(ReadInput(handle, 3)) == abyOut; }));

    m_pMaster->Kill(SIGKILL);
    m_pMaster->Wait();
    // The very next call notices: master offline, the slave unreachable, no stale inputs.
    SBoardRequest read = ReadInput(handle, 3);
    EXPECT_EQ(read.wError, 0);
    EXPECT_EQ(read.byMasterState, 0x00);
    EXPECT_EQ(read.bySlaveState, 0);
    EXPECT_EQ(DataOf(read), std::vector<std::uint8_t>(8, 0));

    // A new master takes the board and the bus over; the host's registration and the outputs
    // it wrote carry on.
    StartMaster();
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    ASSERT_TRUE(Eventually([&] { return DataOf(ReadInput(handle, 3)) == abyOut; }));
    const std::vector<std::uint8_t> abyNext = {8, 7, 6, 5, 4, 3, 2, 1};
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(handle, 3, abyNext)).wError, 0);
    ASSERT_TRUE(Eventually([&] { return DataOf(ReadInput(handle, 3)) == abyNext; }));

    // A clean end says offline as well.
    m_pMaster->Kill(SIGTERM);
    EXPECT_EQ(m_pMaster->Wait(), 0);
    EXPECT_EQ(ReadInput(handle, 3).byMasterState, 0x00);
}

// Whether the library would take the read as done: a slave exchanging data under an
// operational master (dpcomm/DPSlaveAccess.cpp).
bool IsDone(const SBoardRequest& read)
{
    return read.wError == 0 && IsSlaveExchanging(read.bySlaveState) &&
           (read.byMasterState == MasterOperate || read.byMasterState == MasterClear);
}

// The state letter of /proc/<pid>/stat: 'T' once a SIGSTOP has taken effect.
char ProcessState(int nPid)
{
    std::ifstream stat("/proc/" + std::to_string(nPid) + "/stat");
    std::string strLine;
    std::getline(stat, strLine);
    const std::size_t nEnd = strLine.rfind(')');
    return nEnd != std::string::npos && nEnd + 2 < strLine.size() ? strLine[nEnd + 2] : '?';
}

// A master stopped, however long, is not served as a live one: its slaves' last values stop
// being "done" once its promise has run out, and none is served while it stays stopped.
TEST_F(DpBoardTest, AStoppedMasterStopsServingValuesUntilItRunsAgain)
{
    SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    const std::vector<std::uint8_t> abyOut = {9, 8, 7, 6, 5, 4, 3, 2};
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(handle, 3, abyOut)).wError, 0);
    ASSERT_TRUE(Eventually([&] { return DataOf(ReadInput(handle, 3)) == abyOut; }));

    // A master stopped while it holds the board's lock would hold it for good (a stopped
    // process keeps its locks): stop it again until it stops outside the lock.
    const int nPid = m_pMaster->GetPid();
    bool bStoppedOutside = false;
    for (int nTry = 0; nTry < 50 && !bStoppedOutside; ++nTry)
    {
        m_pMaster->Kill(SIGSTOP);
        ASSERT_TRUE(Eventually([&] { return ProcessState(nPid) == 'T'; }));
        std::future<SBoardRequest> read =
            std::async(std::launch::async, [&] { return ReadInput(handle, 3); });
        bStoppedOutside = read.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
        if (!bStoppedOutside)
            m_pMaster->Kill(SIGCONT);
        read.get();
    }
    ASSERT_TRUE(bStoppedOutside);

    ASSERT_TRUE(
        Eventually([&] { return !IsDone(ReadInput(handle, 3)); }, std::chrono::seconds(120)));
    for (int i = 0; i < 100; ++i)
    {
        const SBoardRequest read = ReadInput(handle, 3);
        ASSERT_FALSE(IsDone(read)) << "read " << i;
        ASSERT_EQ(DataOf(read), std::vector<std::uint8_t>(8, 0)) << "read " << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(ProcessState(nPid), 'T');

    m_pMaster->Kill(SIGCONT);
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    ASSERT_TRUE(Eventually([&] { return DataOf(ReadInput(handle, 3)) == abyOut; }));
    EXPECT_TRUE(IsDone(ReadInput(handle, 3)));
}

TEST_F(DpBoardTest, AProcessThatKeepsTheBoardsLockHoldsUpHostsNotTheMaster)
{
    SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    testsupport::CChildProcess holder({SIM_PEER, std::to_string(m_byBoard)});
    ASSERT_TRUE(holder.WriteLine("hold"));
    std::string strHeld;
    ASSERT_TRUE(holder.ReadLine(strHeld, 20000));
    ASSERT_EQ(strHeld, "held");
    // Longer than the master's wait for the lock: it gives up on the board, not on the bus.
    std::this_thread::sleep_for(std::chrono::seconds(7));
    EXPECT_EQ(m_pMaster->Wait(0), -1) << "the master ended while another process held the lock";
    holder.Kill(SIGKILL);
    holder.Wait(20000);
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    EXPECT_EQ(m_pMaster->Wait(0), -1);
}

TEST_F(DpBoardTest, ASecondMasterForTheSameBoardIsRefused)
{
    testsupport::SRunResult result =
        testsupport::RunToEnd({DPMASTER, "--board", std::to_string(m_byBoard), "--port", m_strPeer,
                               "--bus", m_strBusFile});
    EXPECT_EQ(result.nExitCode, 1);
    EXPECT_THAT(result.strOutput, testing::HasSubstr("is served already, by process " +
                                                     std::to_string(m_pMaster->GetPid())));
}

// korixsim show and movactl status, real processes beside the master, show the status the
// master publishes; once the master is killed they say since when it is gone and show nothing
// of it as live; a new master takes the block over.
TEST_F(DpBoardTest, KorixsimAndMovactlShowTheLiveStatusAndAKilledMasterOnlyAsGone)
{
    SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    EXPECT_THAT(SlaveCommand("diag 4 on"), StartsWith("ok"));
    ASSERT_TRUE(Eventually([&] { return ReadInput(handle, 4).bySlaveState == 3; }));
    const std::string strBoard = std::to_string(m_byBoard);
    const std::vector<std::string> astrMovactl = {MOVACTL, "status", "--board", strBoard};
    const std::vector<std::string> astrKorixsim = {KORIXSIM, "show", "--board", strBoard};
    // The block follows within its interval.
    testsupport::SRunResult status;
    ASSERT_TRUE(Eventually(
        [&]
        {
            status = testsupport::RunToEnd(astrMovactl);
            return status.strOutput.find("slave 4: data exchange, diagnosis pending") !=
                   std::string::npos;
        }));
    EXPECT_EQ(status.nExitCode, 0);
    const std::string strPid = std::to_string(m_pMaster->GetPid());
    EXPECT_THAT(status.strOutput, StartsWith("DP master: running, process " + strPid + ","));
    EXPECT_THAT(status.strOutput,
                HasSubstr("  bus: " + m_strPeer +
                          " at 1500000 bit/s (the port took 1500000), master address 2, mode "
                          "operate\n"));
    EXPECT_THAT(status.strOutput,
                HasSubstr("  slave 3: data exchange; ident 0x1234, 8 in / 8 out"));
    EXPECT_THAT(status.strOutput, HasSubstr("    diagnosis: 08 04 00 02 56 78 03 5a 04\n    in "
                                            "words: extended diagnosis; master 2; ident 0x5678; "
                                            "device: 5a 04\n"));
    testsupport::SRunResult show = testsupport::RunToEnd(astrKorixsim);
    EXPECT_EQ(show.nExitCode, 0);
    const std::size_t nFaults = show.strOutput.find("Pending faults:");
    const std::size_t nMaster = show.strOutput.find("DP master: running, process " + strPid);
    EXPECT_NE(nFaults, std::string::npos);
    EXPECT_NE(nMaster, std::string::npos);
    EXPECT_LT(nFaults, nMaster) << "the master's section comes after the board's";
    EXPECT_THAT(show.strOutput, HasSubstr("  slave 5: data exchange; ident 0xABCD"));
    // A second master for the board is refused before it touches the block.
    EXPECT_EQ(testsupport::RunToEnd(
                  {DPMASTER, "--board", strBoard, "--port", m_strPeer, "--bus", m_strBusFile})
                  .nExitCode,
              1);
    EXPECT_THAT(testsupport::RunToEnd(astrMovactl).strOutput,
                StartsWith("DP master: running, process " + strPid + ","));

    m_pMaster->Kill(SIGKILL);
    m_pMaster->Wait();
    const std::string strGone = "DP master: gone since [0-9.]+ s \\(process " + strPid +
                                " no longer runs; its last status is not shown\\)\n";
    status = testsupport::RunToEnd(astrMovactl);
    EXPECT_EQ(status.nExitCode, 1);
    EXPECT_THAT(status.strOutput, testing::MatchesRegex(strGone));
    show = testsupport::RunToEnd(astrKorixsim);
    EXPECT_EQ(show.nExitCode, 0);
    EXPECT_THAT(show.strOutput, testing::MatchesRegex(".*\n" + strGone));
    for (const char* pszLive : {"DP master: running", "bus: ", "slave 3:", "in words"})
        EXPECT_THAT(show.strOutput + status.strOutput, Not(HasSubstr(pszLive)));

    // A new master takes the block over; a clean end says "ended".
    StartMaster();
    const std::string strNewPid = std::to_string(m_pMaster->GetPid());
    ASSERT_TRUE(Eventually(
        [&]
        {
            status = testsupport::RunToEnd(astrMovactl);
            return status.nExitCode == 0;
        }));
    EXPECT_THAT(status.strOutput, StartsWith("DP master: running, process " + strNewPid + ","));
    m_pMaster->Kill(SIGTERM);
    EXPECT_EQ(m_pMaster->Wait(), 0);
    status = testsupport::RunToEnd(astrMovactl);
    EXPECT_EQ(status.nExitCode, 1);
    EXPECT_THAT(status.strOutput, HasSubstr("(process " + strNewPid + " ended;"));
}

TEST(DpTools, UsageAndRefusals)
{
    testsupport::SRunResult help = testsupport::RunToEnd({DPMASTER, "--help"});
    EXPECT_EQ(help.nExitCode, 0);
    EXPECT_THAT(help.strOutput, testing::HasSubstr("--bus"));
    EXPECT_EQ(testsupport::RunToEnd({DPSLAVE, "--help"}).nExitCode, 0);
    testsupport::SRunResult missing = testsupport::RunToEnd({DPMASTER, "--port", "/dev/null"});
    EXPECT_EQ(missing.nExitCode, 2);
    EXPECT_THAT(missing.strOutput, testing::HasSubstr("Try 'korix-dpmaster --help'"));
    EXPECT_EQ(testsupport::RunToEnd({DPSLAVE, "--pty"}).nExitCode, 2);
    const std::string strBad = WriteTempFile("bad.json", R"({ "baud_rate": 0, "slaves": [] })");
    testsupport::SRunResult bad =
        testsupport::RunToEnd({DPMASTER, "--port", "/dev/null", "--bus", strBad});
    EXPECT_EQ(bad.nExitCode, 1);
    EXPECT_THAT(bad.strOutput, testing::HasSubstr(strBad + ": baud_rate: must be from 1200"));
    const std::string strBus = WriteTempFile("bus.json", kThreeSlavesBus);
    testsupport::SRunResult notPort =
        testsupport::RunToEnd({DPMASTER, "--port", "/dev/null", "--bus", strBus});
    EXPECT_EQ(notPort.nExitCode, 1);
    EXPECT_THAT(notPort.strOutput, testing::HasSubstr("/dev/null: not a serial port"));
}

} // namespace
} // namespace dptest
