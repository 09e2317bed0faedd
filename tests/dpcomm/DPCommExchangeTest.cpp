// Reads, read-backs, writes and connection tests against a scripted board.
#include "tests/dpcomm/DPCommFixture.h"

#include <cstring>

using namespace dpcommtest;
using testing::ElementsAre;

namespace
{

const std::string kSlave3InputDump =
    "  0000: 30 31 32 33 34 35 36 37 " + std::string(28, ' ') + "01234567\n";

class DPCommExchangeTest : public DPCommFixture
{
protected:
    void Open(std::uint8_t byTimeWatchdog = 10)
    {
        ASSERT_EQ(1, Init(byTimeWatchdog));
        m_board.ClearCalls();
        m_capture.Clear();
    }

    int CountCalls(const std::string& operation) const
    {
        auto names = m_board.CallNames();
        return static_cast<int>(std::count(names.begin(), names.end(), operation));
    }

    int CountTraced(const std::string& message) const
    {
        auto messages = Messages();
        return static_cast<int>(std::count(messages.begin(), messages.end(), message));
    }
};

TEST_F(DPCommExchangeTest, ReadCopiesTheInputsAndDumpsThem)
{
    Open();
    std::uint8_t abyInputs[8] = {};
    ASSERT_EQ(1, m_pComm->ReadFromDPSlave(3, abyInputs, &m_eError));
    EXPECT_EQ(DPERR_NONE, m_eError);
    EXPECT_EQ(m_board.m_slaves[3].inputs, std::vector<std::uint8_t>(abyInputs, abyInputs + 8));
    EXPECT_THAT(m_board.CallNames(), ElementsAre("BoardReadInput"));
    const SBoardRequest& request = m_board.Calls()[0].request;
    EXPECT_EQ(CScriptedBoard::kHandle, request.byHandle);
    EXPECT_EQ(3, request.byL2Addr);
    EXPECT_EQ(255, request.byLength);
    EXPECT_THAT(Messages(),
                ElementsAre("CDPCom: Enter ReadFromDPSlave (L2Addr = 3).\n", kSlave3InputDump,
                            "CDPCom: Leave ReadFromDPSlave (Result = 1).\n"));
}

TEST_F(DPCommExchangeTest, ReadBackTakesTheOutputsHeldForTheSlave)
{
    Open();
    std::uint8_t abyOutputs[2] = {};
    ASSERT_EQ(1, m_pComm->ReadOutForDPSlave(4, abyOutputs, &m_eError));
    EXPECT_EQ(0x90, abyOutputs[0]);
    EXPECT_EQ(0x91, abyOutputs[1]);
    EXPECT_THAT(m_board.CallNames(), ElementsAre("BoardReadOutput"));
    EXPECT_EQ("CDPCom: Leave ReadOutForDPSlave (Result = 1).\n", Messages().back());
}

TEST_F(DPCommExchangeTest, FailedReadsCopyNothing)
{
    Open();
    std::uint8_t abyInputs[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};

    m_board.Then("BoardReadInput", [](SBoardRequest& r) { r.bySlaveState = 4; });
    EXPECT_EQ(0, m_pComm->ReadFromDPSlave(3, abyInputs, &m_eError));
    EXPECT_EQ(DPERR_SLAVE_STATE_4, m_eError);
    EXPECT_TRUE(Traced("Mova: CDPCommunication: ***** Reading (addr 3) failed ! Slave in wrong "
                       "operation mode (State = 0x4)\n"));

    m_board.Then("BoardReadInput", [](SBoardRequest& r) { r.byMasterState = 0x40; });
    EXPECT_EQ(0, m_pComm->ReadFromDPSlave(3, abyInputs, &m_eError));
    EXPECT_EQ(DPERR_MASTER_STOP, m_eError);

    m_board.Then("BoardReadOutput", [](SBoardRequest& r) { r.wError = 0x8A; });
    EXPECT_EQ(0, m_pComm->ReadOutForDPSlave(3, abyInputs, &m_eError));
    EXPECT_EQ(DPERR_BOARD_8A, m_eError);
    EXPECT_TRUE(Traced("Mova: CDPCommunication: ***** ReadOut (addr 3) data from KX7310 failed ! "
                       "(Reason = 0x8a)\n"));

    EXPECT_EQ(0xEE, abyInputs[0]);
    EXPECT_EQ(0, CountTraced(kSlave3InputDump));
}

TEST_F(DPCommExchangeTest, ExpiredWatchdogOnAReadIsRetriggered)
{
    Open(0);
    m_board.m_slaves[3].byState = 3;
    m_board.m_byMasterMode = 0x80;
    m_board.Then("BoardReadInput", [](SBoardRequest& r) { r.byFlags = 0x20; });
    std::uint8_t abyInputs[8] = {};
    EXPECT_EQ(1, m_pComm->ReadFromDPSlave(3, abyInputs, &m_eError));
    EXPECT_EQ(0x37, abyInputs[7]);
    EXPECT_THAT(m_board.CallNames(), ElementsAre("BoardReadInput")); // time 0: no call
    EXPECT_TRUE(Traced("Mova: CDPCommunication: Watchdog expired. Try to reset watchdog !\n"));
    EXPECT_TRUE(Traced("Mova: CDPCommunication: Reseting watchdog successful.\n"));

    // With a watchdog time, the same request goes back to the board to re-arm it.
    ASSERT_EQ(1, Init(25));
    m_board.ClearCalls();
    m_board.Then("BoardReadInput", [](SBoardRequest& r) { r.byFlags = 0x20; });
    m_board.Then("BoardSetWatchdog", [](SBoardRequest& r) { r.wError = 0x84; });
    EXPECT_EQ(1, m_pComm->ReadFromDPSlave(3, abyInputs, &m_eError));
    EXPECT_EQ(DPERR_NONE, m_eError);
    auto calls = m_board.Calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(1, calls[1].request.byLength);
    EXPECT_EQ(25, calls[1].request.abyData[0]);
    EXPECT_TRUE(Traced("Mova: CDPCommunication: ***** Could not activate WatchDog ! (Reason = "
                       "0x84)\n"));
}

TEST_F(DPCommExchangeTest, LongerAnswerThanLearnedIsCutToTheLearnedLength)
{
    Open();
    m_board.m_slaves[3].inputs.assign(40, 0x5A);
    std::uint8_t abyBuffer[16];
    std::memset(abyBuffer, 0xEE, sizeof abyBuffer);
    EXPECT_EQ(1, m_pComm->ReadFromDPSlave(3, abyBuffer, &m_eError));
    EXPECT_EQ(0x5A, abyBuffer[7]);
    EXPECT_EQ(0xEE, abyBuffer[8]); // the host sized it by the 8 bytes learned at opening
}

TEST_F(DPCommExchangeTest, WriteSendsTheBytesOnce)
{
    Open();
    const std::uint8_t abyOutputs[3] = {1, 2, 3};
    EXPECT_EQ(1, m_pComm->WriteToDPSlave(3, 3, abyOutputs, &m_eError));
    EXPECT_EQ(std::vector<std::uint8_t>({1, 2, 3}), m_board.m_slaves[3].outputs);
    const SBoardRequest& request = m_board.Calls().at(0).request;
    EXPECT_EQ(3, request.byLength);
    EXPECT_EQ(3, request.abyData[2]);
    EXPECT_THAT(Messages(), ElementsAre("CDPCom: Enter WriteToDPSlave (L2Addr = 3).\n",
                                        "  0000: 01 02 03 " + std::string(43, ' ') + "...\n",
                                        "CDPCom: Leave WriteToDPSlave (Result = 1).\n"));
}

TEST_F(DPCommExchangeTest, WriteRetriesAnExpiredWatchdogFiveTimesAtMost)
{
    Open(10);
    m_board.Always("BoardWriteOutput", [](SBoardRequest& r) { r.wError = 0x95; });
    const std::uint8_t abyOutputs[1] = {7};
    EXPECT_EQ(0, m_pComm->WriteToDPSlave(3, 1, abyOutputs, &m_eError));
    EXPECT_EQ(DPERR_WATCHDOG_EXPIRED, m_eError);
    EXPECT_EQ(5, CountCalls("BoardWriteOutput"));
    EXPECT_EQ(5, CountCalls("BoardSetWatchdog"));
    EXPECT_EQ(5, CountTraced("Mova: CDPCommunication: Reseting watchdog successful.\n"));
    EXPECT_EQ(0,
              CountTraced("Mova: CDPCommunication: Watchdog expired. Try to reset watchdog !\n"));
}

TEST_F(DPCommExchangeTest, WriteWithoutWatchdogTimeSaysItCannotReArm)
{
    Open(0);
    m_board.Always("BoardWriteOutput", [](SBoardRequest& r) { r.wError = 0x95; });
    const std::uint8_t abyOutputs[1] = {7};
    EXPECT_EQ(0, m_pComm->WriteToDPSlave(3, 1, abyOutputs, &m_eError));
    EXPECT_EQ(5, CountCalls("BoardWriteOutput"));
    EXPECT_EQ(0, CountCalls("BoardSetWatchdog"));
    EXPECT_EQ(5,
              CountTraced("Mova: CDPCommunication: ***** Could not activate WatchDog ! (Reason = "
                          "0x95)\n"));
}

TEST_F(DPCommExchangeTest, WriteSucceedsOnTheAttemptAfterAnExpiredWatchdog)
{
    Open(10);
    m_board.Then("BoardWriteOutput", [](SBoardRequest& r) { r.wError = 0x95; });
    const std::uint8_t abyOutputs[1] = {7};
    EXPECT_EQ(1, m_pComm->WriteToDPSlave(3, 1, abyOutputs, &m_eError));
    EXPECT_EQ(2, CountCalls("BoardWriteOutput"));
}

TEST_F(DPCommExchangeTest, WriteStopsAtOtherFailures)
{
    Open();
    const std::uint8_t abyOutputs[1] = {7};
    m_board.Then("BoardWriteOutput", [](SBoardRequest& r) { r.wError = 0x81; });
    EXPECT_EQ(0, m_pComm->WriteToDPSlave(3, 1, abyOutputs, &m_eError));
    EXPECT_EQ(DPERR_BOARD_81, m_eError);
    EXPECT_EQ(1, CountCalls("BoardWriteOutput"));
    EXPECT_TRUE(Traced("Mova: CDPCommunication: ***** Writing (addr 3) data to KX7310 failed ! "
                       "(Reason = 0x81)\n"));

    m_board.Then("BoardWriteOutput", [](SBoardRequest& r) { r.bySlaveState = 5; });
    EXPECT_EQ(0, m_pComm->WriteToDPSlave(3, 1, abyOutputs, &m_eError));
    EXPECT_EQ(DPERR_SLAVE_STATE_5, m_eError);

    m_board.Then("BoardWriteOutput", [](SBoardRequest& r) { r.byMasterState = 0x00; });
    EXPECT_EQ(0, m_pComm->WriteToDPSlave(3, 1, abyOutputs, &m_eError));
    EXPECT_EQ(DPERR_MASTER_OFFLINE, m_eError);
    EXPECT_TRUE(Traced("Mova: CDPCommunication: ***** Writing (addr 3) failed ! Master not "
                       "operational (State = 0x0)\n"));
    EXPECT_EQ(3, CountCalls("BoardWriteOutput"));

    // No bytes to send: refused before the board is asked.
    EXPECT_EQ(0, m_pComm->WriteToDPSlave(3, 1, nullptr, &m_eError));
    EXPECT_EQ(3, CountCalls("BoardWriteOutput"));
}

TEST_F(DPCommExchangeTest, ConnectionTestWithTheMasterOfflineStillRefreshesTheTable)
{
    Open();
    m_board.m_byMasterMode = 0x00;
    m_board.m_slaves[4].byState = 2;
    EXPECT_EQ(0, m_pComm->TestDPConnections(m_params.aSlaves, &m_eError));
    EXPECT_EQ(DPERR_MASTER_OFFLINE, m_eError);
    for (int nAddr : {3, 4, 5})
        EXPECT_EQ(42, +m_params.aSlaves[nAddr].wState);
    EXPECT_TRUE(Traced("Mova: CDPCommunication: ***** Testing failed ! Master not operational "
                       "(State = 0x0)\n"));
}

TEST_F(DPCommExchangeTest, ConnectionTestWithADeadSlaveFailsWithoutAnErrorNumber)
{
    Open();
    m_board.m_slaves[5].byState = 0;
    EXPECT_EQ(0, m_pComm->TestDPConnections(m_params.aSlaves, &m_eError));
    EXPECT_EQ(DPERR_NONE, m_eError);
    EXPECT_EQ(40, +m_params.aSlaves[5].wState);
    EXPECT_EQ(43, +m_params.aSlaves[4].wState);
    EXPECT_TRUE(Traced("Mova: CDPCommunication: Connection to Slave (L2Addr = 5) disturbed !\n"));
}

TEST_F(DPCommExchangeTest, ConnectionTestThatCannotReadStatesLeavesTheTable)
{
    Open();
    m_params.aSlaves[3].wState = 1234;
    m_board.Then("BoardReadSlaveStates", [](SBoardRequest& r) { r.wError = 0x94; });
    EXPECT_EQ(0, m_pComm->TestDPConnections(m_params.aSlaves, &m_eError));
    EXPECT_EQ(DPERR_BOARD_94, m_eError);
    EXPECT_EQ(1234, +m_params.aSlaves[3].wState);
}

TEST_F(DPCommExchangeTest, ConnectionTestRetriggersAnExpiredWatchdog)
{
    Open(10);
    m_board.Then("BoardReadSlaveStates", [](SBoardRequest& r) { r.byFlags = 0x20; });
    EXPECT_EQ(1, m_pComm->TestDPConnections(m_params.aSlaves, &m_eError));
    EXPECT_THAT(m_board.CallNames(), ElementsAre("BoardReadSlaveStates", "BoardSetWatchdog"));
}

} // namespace
