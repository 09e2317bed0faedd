// The master against the slave simulator, each on one end of a pseudo-terminal pair: the
// start-up, cyclic exchange, refusals, every fault the simulator can put in, and the modes.
#include "tests/dp/DpBusFixture.h"

#include "dp/services/DpServices.h"

#include <gmock/gmock.h>

#include <cstring>
#include <string>
#include <thread>

namespace dptest
{
namespace
{

using testing::HasSubstr;
using testing::StartsWith;

std::string ReplaceOnce(std::string strText, const std::string& strOld, const std::string& strNew)
{
    std::size_t nAt = strText.find(strOld);
    EXPECT_NE(nAt, std::string::npos) << strOld;
    if (nAt != std::string::npos)
        strText.replace(nAt, strOld.size(), strNew);
    return strText;
}

class DpMasterTest : public CDpBusTest
{
};

TEST_F(DpMasterTest, StartsEverySlaveAndExchangesData)
{
    StartBus(kThreeSlaves, kThreeSlavesBus);
    ASSERT_TRUE(RunUntil([this] { return AllExchanging(); }));

    // Slave 3 loops its outputs back, slave 5 all 244 bytes.
    const std::uint8_t abyOut3[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    m_pMaster->SetOutputs(static_cast<std::size_t>(m_pMaster->FindSlave(3)), abyOut3, 8);
    std::uint8_t abyOut5[244];
    for (int i = 0; i < 244; ++i)
        abyOut5[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    m_pMaster->SetOutputs(static_cast<std::size_t>(m_pMaster->FindSlave(5)), abyOut5, 244);
    RunCycles(2);
    EXPECT_EQ(std::memcmp(Slave(3).abyInputs, abyOut3, 8), 0);
    EXPECT_EQ(std::memcmp(Slave(5).abyInputs, abyOut5, 244), 0);
    EXPECT_EQ(Command("outputs 3"), "ok 01 02 03 04 05 06 07 08");
    EXPECT_THAT(Command("state 3"), HasSubstr("data exchange master 2"));

    // Slave 4 counts in its first two bytes and keeps the rest as given.
    std::uint16_t wBefore =
        static_cast<std::uint16_t>(Slave(4).abyInputs[0] << 8 | Slave(4).abyInputs[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    RunCycles(1);
    std::uint16_t wAfter =
        static_cast<std::uint16_t>(Slave(4).abyInputs[0] << 8 | Slave(4).abyInputs[1]);
    EXPECT_NE(wBefore, wAfter);
    EXPECT_EQ(Slave(4).abyInputs[7], 0x66);

    // Inputs set in the slave arrive.
    EXPECT_THAT(Command("input 4 2 a1 b2"), StartsWith("ok"));
    RunCycles(1);
    EXPECT_EQ(Slave(4).abyInputs[2], 0xA1);
    EXPECT_EQ(Slave(4).abyInputs[3], 0xB2);

    EXPECT_GT(Slave(3).counters.dwExchanges, 0u);
    EXPECT_EQ(Slave(3).counters.dwNoAnswer, 0u);
    EXPECT_EQ(Slave(3).counters.dwBadAnswers, 0u);
    EXPECT_EQ(Slave(3).counters.dwRestarts, 0u);
    // The diagnosis read at the start-up says: parameterised by master 2, ident 0x1234.
    ASSERT_GE(Slave(3).byDiagLength, dp::kDiagFixedBytes);
    EXPECT_EQ(Slave(3).abyDiag[3], 2);
    EXPECT_EQ(Slave(3).abyDiag[4], 0x12);
    EXPECT_EQ(Slave(3).abyDiag[5], 0x34);
    EXPECT_NE(Slave(3).abyDiag[1] & dp::kDiag2WatchdogOn, 0); // watchdog_ms 2000 was sent
}

TEST_F(DpMasterTest, SlavesRefuseWrongIdentParametersAndConfiguration)
{
    std::string strBus = ReplaceOnce(kThreeSlavesBus, R"("ident": 4660, "user_prm": "01 02")",
                                     R"("ident": 4661, "user_prm": "01 02")");
    strBus = ReplaceOnce(strBus, R"("ident": 22136, "config": "17 23")",
                         R"("ident": 22136, "user_prm": "99", "config": "17 23")");
    // Same lengths as the slave's, other identifiers: 4 words of outputs and 4 of inputs is
    // not 8 bytes of outputs and 8 of inputs in a real slave's eyes.
    strBus = ReplaceOnce(strBus, R"("config": "C0 BF BF C0 BF BF C0 BF BF C0 B3 B3")",
                         R"("config": "C0 BF BF C0 BF BF C0 BF BF C0 B3 B3 00")");
    StartBus(kThreeSlaves, strBus);
    ASSERT_TRUE(RunUntil(
        [this]
        {
            return Slave(3).eState == SlaveConfigFault && Slave(4).eState == SlaveConfigFault &&
                   Slave(5).eState == SlaveConfigFault;
        }));
    EXPECT_EQ(Slave(3).strProblem, "ident number 0x1234, expected 0x1235");
    EXPECT_EQ(Slave(4).strProblem, "parameters refused");
    EXPECT_NE(Slave(4).abyDiag[0] & dp::kDiag1PrmFault, 0);
    EXPECT_EQ(Slave(5).strProblem, "configuration refused");
    EXPECT_NE(Slave(5).abyDiag[0] & dp::kDiag1ConfigFault, 0);
    EXPECT_THAT(Command("state 4"), HasSubstr("waiting for parameters"));
    // They are tried again and again, and refuse again and again.
    const std::uint32_t dwRestarts = Slave(4).counters.dwRestarts;
    ASSERT_TRUE(RunUntil([&] { return Slave(4).counters.dwRestarts > dwRestarts; }));
    EXPECT_EQ(Slave(4).eState, SlaveConfigFault);
}

TEST_F(DpMasterTest, ASilentSlaveIsRetriedAndRestartedWhenItAnswersAgain)
{
    StartBus(kThreeSlaves, kThreeSlavesBus);
    ASSERT_TRUE(RunUntil([this] { return AllExchanging(); }));
    EXPECT_THAT(Command("silent 4 on"), StartsWith("ok"));
    ASSERT_TRUE(RunUntil([this] { return Slave(4).eState == SlaveNotReachable; }));
    EXPECT_GE(Slave(4).counters.dwRetries, 1u); // the bus's retry limit at 1.5 Mbit/s is 1
    EXPECT_GE(Slave(4).counters.dwNoAnswer, 1u);
    // The others go on meanwhile.
    EXPECT_EQ(Slave(3).eState, SlaveDataExchange);
    const std::uint32_t dwExchanges = Slave(3).counters.dwExchanges;
    RunCycles(3);
    EXPECT_GT(Slave(3).counters.dwExchanges, dwExchanges);

    EXPECT_THAT(Command("silent 4 off"), StartsWith("ok"));
    ASSERT_TRUE(RunUntil([this] { return Slave(4).eState == SlaveDataExchange; }));
    EXPECT_GE(Slave(4).counters.dwRestarts, 1u);
}

TEST_F(DpMasterTest, AWrongCheckSumCostsARetryOnly)
{
    StartBus(kThreeSlaves, kThreeSlavesBus);
    ASSERT_TRUE(RunUntil([this] { return AllExchanging(); }));
    const std::uint32_t dwRetries = Slave(3).counters.dwRetries;
    EXPECT_THAT(Command("corrupt 3 1"), StartsWith("ok"));
    RunCycles(3);
    EXPECT_EQ(Slave(3).counters.dwRetries, dwRetries + 1);
    EXPECT_EQ(Slave(3).eState, SlaveDataExchange);
    EXPECT_EQ(Slave(3).counters.dwRestarts, 0u);
    EXPECT_GE(m_pMaster->ParserCounters().dwBadCheckSums, 1u);
    // Two in a row exceed the retry limit of 1: the slave is started anew.
    EXPECT_THAT(Command("corrupt 3 2"), StartsWith("ok"));
    RunCycles(1);
    EXPECT_EQ(Slave(3).eState, SlaveNotReachable);
    ASSERT_TRUE(RunUntil([this] { return Slave(3).eState == SlaveDataExchange; }));
}

TEST_F(DpMasterTest, DiagnosisIsReadWhenTheSlaveFlagsIt)
{
    StartBus(kThreeSlaves, kThreeSlavesBus);
    ASSERT_TRUE(RunUntil([this] { return AllExchanging(); }));
    const std::uint32_t dwDiagnoses = Slave(4).counters.dwDiagnoses;
    EXPECT_THAT(Command("diag 4 on"), StartsWith("ok"));
    ASSERT_TRUE(RunUntil([this] { return Slave(4).eState == SlaveDiagnosisPending; }));
    EXPECT_EQ(Slave(4).counters.dwDiagnoses, dwDiagnoses + 1);
    ASSERT_EQ(Slave(4).byDiagLength, dp::kDiagFixedBytes + 3);
    EXPECT_NE(Slave(4).abyDiag[0] & dp::kDiag1ExtDiag, 0);
    EXPECT_EQ(Slave(4).abyDiag[6], 0x03); // the device block's header: 3 bytes
    // Data keeps flowing while the diagnosis is pending.
    const std::uint32_t dwExchanges = Slave(4).counters.dwExchanges;
    RunCycles(2);
    EXPECT_GT(Slave(4).counters.dwExchanges, dwExchanges);
    EXPECT_THAT(Command("diag 4 off"), StartsWith("ok"));
    ASSERT_TRUE(RunUntil([this] { return Slave(4).eState == SlaveDataExchange; }));
    EXPECT_EQ(Slave(4).byDiagLength, dp::kDiagFixedBytes);
}

TEST_F(DpMasterTest, ClearModeSendsZerosAndOperateTheOutputsAgain)
{
    StartBus(kThreeSlaves, kThreeSlavesBus);
    ASSERT_TRUE(RunUntil([this] { return AllExchanging(); }));
    const std::uint8_t abyOut[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    m_pMaster->SetOutputs(static_cast<std::size_t>(m_pMaster->FindSlave(3)), abyOut, 8);
    RunCycles(1);
    EXPECT_EQ(Command("outputs 3"), "ok 09 09 09 09 09 09 09 09");
    const std::uint32_t dwGlobal = m_pMaster->Counters().dwGlobalControls;
    m_pMaster->SetMode(MasterClear);
    RunCycles(1);
    EXPECT_EQ(m_pMaster->Counters().dwGlobalControls, dwGlobal + 1);
    EXPECT_EQ(Command("outputs 3"), "ok 00 00 00 00 00 00 00 00");
    EXPECT_EQ(Slave(3).abyInputs[0], 0); // looped back
    m_pMaster->SetMode(MasterOperate);
    RunCycles(1);
    EXPECT_EQ(Command("outputs 3"), "ok 09 09 09 09 09 09 09 09");
    // Offline: no traffic at all, so the slaves' exchange counts stand still.
    m_pMaster->SetMode(MasterOffline);
    std::string strBefore = Command("state 3");
    RunCycles(3);
    EXPECT_EQ(Command("state 3"), strBefore);
}

TEST_F(DpMasterTest, TheSlavesWatchdogDropsItWhenTheMasterFallsSilent)
{
    // Slave 3 has a DP watchdog of 2 s in the bus file; make it 100 ms.
    StartBus(kThreeSlaves,
             ReplaceOnce(kThreeSlavesBus, R"("watchdog_ms": 2000)", R"("watchdog_ms": 100)"));
    ASSERT_TRUE(RunUntil([this] { return AllExchanging(); }));
    const std::uint8_t abyOut[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    m_pMaster->SetOutputs(static_cast<std::size_t>(m_pMaster->FindSlave(3)), abyOut, 8);
    RunCycles(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The slave noticed and set its outputs to 0; the master finds it waiting for parameters
    // and starts it again.
    EXPECT_THAT(Command("state 3"), HasSubstr("waiting for parameters"));
    EXPECT_EQ(Command("outputs 3"), "ok 00 00 00 00 00 00 00 00");
    ASSERT_TRUE(RunUntil([this] { return AllExchanging() && Slave(3).counters.dwRestarts >= 1; }));
    RunCycles(1);
    EXPECT_EQ(Command("outputs 3"), "ok 07 07 07 07 07 07 07 07");
}

TEST_F(DpMasterTest, OwnTelegramsEchoedByTheAdapterAreSkipped)
{
    StartBus(kThreeSlaves, kThreeSlavesBus);
    EXPECT_EQ(Command("echo on"), "ok echo on");
    ASSERT_TRUE(RunUntil([this] { return AllExchanging(); }));
    const std::uint8_t abyOut[8] = {1, 1, 2, 3, 5, 8, 13, 21};
    m_pMaster->SetOutputs(static_cast<std::size_t>(m_pMaster->FindSlave(3)), abyOut, 8);
    EXPECT_TRUE(RunUntil([&] { return std::memcmp(Slave(3).abyInputs, abyOut, 8) == 0; }));
    EXPECT_GT(m_pMaster->LineCounters().dwEchoes, 0u);
    // An echo taken for an answer, or for a wrong one, would restart the slave. (A repetition
    // may come of a busy machine's late answer, so repetitions prove nothing here.)
    EXPECT_EQ(Slave(3).counters.dwRestarts, 0u);
    EXPECT_EQ(Slave(3).counters.dwBadAnswers, 0u);
}

} // namespace
} // namespace dptest
