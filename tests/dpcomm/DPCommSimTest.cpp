// The communication object on the simulated board: the real path from the host's table to the
// board's shared state and back, and exchanges of two processes at once.
#include "dpcomm/DPCommunication.h"
#include "sim/SimControl.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateBoard.h"
#include "tests/support/TraceCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <future>
#include <thread>

using testsupport::CChildProcess;

namespace
{

testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

class DPCommSimTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(korix::ResetBoard(1).bOk);
        for (std::uint8_t byAddr : {3, 4, 5})
            m_params.aSlaves[m_params.ucNumberOfDPSlaves++].byL2Addr = byAddr;
        tracetest::TracerPtr pControl(AttachTracer("DPCom1"));
        ASSERT_TRUE(pControl);
        pControl->SetLevel(300);
        m_capture.Clear();
    }

    int Open(std::uint8_t byTimeWatchdog = 0)
    {
        return m_comm.InitDPCommunication(m_params.ucNumberOfDPSlaves, m_params.aSlaves,
                                          byTimeWatchdog, &m_eError);
    }

    bool Traced(const std::string& message) const
    {
        for (const std::string& line : m_capture.Lines())
            if (line.size() > 23 && line.substr(23) == message)
                return true;
        return false;
    }

    tracetest::CDebugCapture m_capture;
    CDPCommunication m_comm{1};
    SCommParams m_params{};
    teErrorNumber m_eError = DPERR_UNKNOWN;
};

TEST_F(DPCommSimTest, OpeningLearnsTheDefaultPlant)
{
    ASSERT_EQ(1, Open());
    EXPECT_EQ(DPERR_NONE, m_eError);
    EXPECT_EQ(8, +m_params.aSlaves[0].wLenIn);
    EXPECT_EQ(8, +m_params.aSlaves[0].wLenOut);
    EXPECT_EQ(8, +m_params.aSlaves[1].wLenIn);
    EXPECT_EQ(4, +m_params.aSlaves[1].wLenOut);
    EXPECT_EQ(244, +m_params.aSlaves[2].wLenIn);
    EXPECT_EQ(244, +m_params.aSlaves[2].wLenOut);
    EXPECT_EQ(42, +m_params.aSlaves[3].wState);
    EXPECT_EQ(43, +m_params.aSlaves[4].wState);
    EXPECT_EQ(42, +m_params.aSlaves[5].wState);
    EXPECT_EQ(1, m_comm.ExitDPCommunication(&m_eError));
}

TEST_F(DPCommSimTest, LoopbackSlaveGivesBackWhatWasWritten)
{
    ASSERT_EQ(1, Open());
    const std::uint8_t abySent[8] = {1, 2, 3, 4, 5, 6, 7, 0xFF};
    ASSERT_EQ(1, m_comm.WriteToDPSlave(3, 8, abySent, &m_eError));
    std::uint8_t abyHeld[8] = {};
    std::uint8_t abyInputs[8] = {};
    ASSERT_EQ(1, m_comm.ReadOutForDPSlave(3, abyHeld, &m_eError));
    ASSERT_EQ(1, m_comm.ReadFromDPSlave(3, abyInputs, &m_eError));
    EXPECT_EQ(0, std::memcmp(abySent, abyHeld, 8));
    EXPECT_EQ(0, std::memcmp(abySent, abyInputs, 8));

    std::uint8_t abyBoard[korix::kMaxDataLength] = {};
    std::uint8_t byLength = 0;
    ASSERT_TRUE(korix::ReadOutputBytes(1, 3, abyBoard, byLength).bOk);
    EXPECT_EQ(8, byLength);
    EXPECT_EQ(0xFF, abyBoard[7]);
}

TEST_F(DPCommSimTest, ConnectionTestSeesAnInjectedSlaveState)
{
    ASSERT_EQ(1, Open());
    ASSERT_TRUE(korix::SetSlaveState(1, 4, 5).bOk);
    EXPECT_EQ(0, m_comm.TestDPConnections(m_params.aSlaves, &m_eError));
    EXPECT_EQ(DPERR_NONE, m_eError);
    EXPECT_EQ(45, +m_params.aSlaves[4].wState);
    EXPECT_EQ(42, +m_params.aSlaves[3].wState);

    ASSERT_TRUE(korix::SetSlaveState(1, 4, 3).bOk);
    ASSERT_TRUE(korix::SetMasterMode(1, 0x40).bOk);
    EXPECT_EQ(0, m_comm.TestDPConnections(m_params.aSlaves, &m_eError));
    EXPECT_EQ(DPERR_MASTER_STOP, m_eError);
    EXPECT_EQ(43, +m_params.aSlaves[4].wState);
}

TEST_F(DPCommSimTest, ExpiredWatchdogIsRetriggeredByAReadAndByAWrite)
{
    ASSERT_EQ(1, Open(100));
    ASSERT_TRUE(korix::ExpireWatchdogs(1).bOk);
    std::uint8_t abyInputs[8] = {};
    EXPECT_EQ(1, m_comm.ReadFromDPSlave(3, abyInputs, &m_eError));
    EXPECT_TRUE(Traced("Mova: CDPCommunication: Watchdog expired. Try to reset watchdog !\n"));
    EXPECT_TRUE(Traced("Mova: CDPCommunication: Reseting watchdog successful.\n"));

    ASSERT_TRUE(korix::ExpireWatchdogs(1).bOk);
    const std::uint8_t abySent[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    m_capture.Clear();
    EXPECT_EQ(1, m_comm.WriteToDPSlave(3, 8, abySent, &m_eError)); // second attempt
    EXPECT_EQ(DPERR_WATCHDOG_EXPIRED, m_eError);                   // kept from the failed attempt
    EXPECT_TRUE(Traced("Mova: CDPCommunication: ***** Writing (addr 3) data to KX7310 failed ! "
                       "(Reason = 0x95)\n"));
    EXPECT_EQ(1, m_comm.ReadFromDPSlave(3, abyInputs, &m_eError));
    EXPECT_EQ(9, abyInputs[0]);
}

TEST_F(DPCommSimTest, TwoProcessesExchangeAtOnce)
{
    ASSERT_EQ(1, Open());
    CChildProcess peer({DPCOMM_PEER, "loop", "5", "200"});
    for (int nRound = 0; nRound < 200; ++nRound)
    {
        std::uint8_t abySent[8];
        std::uint8_t abyInputs[8] = {};
        for (int i = 0; i < 8; ++i)
            abySent[i] = static_cast<std::uint8_t>(nRound + i);
        ASSERT_EQ(1, m_comm.WriteToDPSlave(3, 8, abySent, &m_eError));
        ASSERT_EQ(1, m_comm.ReadFromDPSlave(3, abyInputs, &m_eError));
        ASSERT_EQ(0, std::memcmp(abySent, abyInputs, 8)) << "round " << nRound;
    }
    std::string line;
    ASSERT_TRUE(peer.ReadLine(line, 60000));
    EXPECT_EQ("ok", line);
    EXPECT_EQ(0, peer.Wait(10000));
}

TEST_F(DPCommSimTest, HolderKilledInsideAnExchangeDoesNotBlockTheNext)
{
#if defined(_WIN32)
    GTEST_SKIP() << "a Win32 semaphore has no owner: Windows does not give back the board "
                    "semaphore of a process killed while it holds it (docs/board-semaphore.md)";
#endif
    ASSERT_EQ(1, Open());
    // The peer's read stays inside the board call, holding the semaphore, long enough to be
    // killed there.
    CChildProcess peer({DPCOMM_PEER, "read"});
    std::string line;
    ASSERT_TRUE(peer.ReadLine(line));
    ASSERT_EQ("ready", line);
    ASSERT_TRUE(korix::InjectDelay(1, korix::OpBoardReadInput, 30000, 1).bOk);
    peer.WriteLine("go");
    ASSERT_TRUE(peer.ReadLine(line));
    ASSERT_EQ("reading", line);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    peer.Kill(SIGKILL);
    ASSERT_EQ(128 + SIGKILL, peer.Wait());

    auto read = std::async(std::launch::async,
                           [this]
                           {
                               std::uint8_t abyInputs[8];
                               return m_comm.ReadFromDPSlave(3, abyInputs, &m_eError);
                           });
    ASSERT_EQ(std::future_status::ready, read.wait_for(std::chrono::seconds(20)))
        << "the semaphore stayed with the killed process";
    EXPECT_EQ(1, read.get());
}

} // namespace
