// A board declared for a DP master, with real processes: korixsim declares it, the test is a
// host that opens it before any master runs, then korix-dpslave on a pseudo-terminal and
// korix-dpmaster serve it. Such a board never shows the simulated plant; an undeclared board
// keeps behaving as the other tests show.
#include "tests/dp/DpBusFixture.h"
#include "tests/sim/SimTestSupport.h"

#include <gmock/gmock.h>

#include <chrono>
#include <functional>
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

class DeclaredBoardTest : public simtest::CBoardTest
{
protected:
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

    testsupport::SRunResult Korixsim(const std::vector<std::string>& astrArguments)
    {
        std::vector<std::string> argv = {KORIXSIM};
        argv.insert(argv.end(), astrArguments.begin(), astrArguments.end());
        argv.insert(argv.end(), {"--board", std::to_string(m_byBoard)});
        return testsupport::RunToEnd(argv);
    }

    // The master's shortest cycle, in microseconds, as the command line takes it.
    void StartBus(const std::string& strCycleUs = "500")
    {
        const std::string strSlaveFile = WriteTempFile("declared-slaves.json", kThreeSlaves);
        m_pSlaves = std::make_unique<testsupport::CChildProcess>(
            std::vector<std::string>{DPSLAVE, "--pty", "--slaves", strSlaveFile});
        std::string strLine;
        ASSERT_TRUE(m_pSlaves->ReadLine(strLine));
        const std::string strPeer = strLine.substr(strLine.rfind(" on ") + 4);
        m_pMaster = std::make_unique<testsupport::CChildProcess>(std::vector<std::string>{
            DPMASTER, "--board", std::to_string(m_byBoard), "--port", strPeer, "--bus",
            WriteTempFile("declared-bus.json", kThreeSlavesBus), "--cycle-us", strCycleUs});
        ASSERT_TRUE(m_pMaster->ReadLine(strLine));
        ASSERT_THAT(strLine, testing::StartsWith("korix-dpmaster: serving board"));
    }

    static bool Eventually(const std::function<bool()>& condition)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end)
        {
            if (condition())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    SBoardRequest States(SHandle handle)
    {
        return Call(BoardReadSlaveStates, MakeRequest(handle, 0, 126));
    }

    // Master offline, no slave at all: what a host must see of a board without its master.
    void ExpectMasterOfflineAndNoSlave(SHandle handle)
    {
        SBoardRequest states = States(handle);
        EXPECT_EQ(states.wError, 0);
        EXPECT_EQ(states.byMasterState, 0x00);
        for (std::uint8_t byAddress : {3, 4, 5})
            EXPECT_EQ(states.abyData[byAddress], 0) << "slave " << int(byAddress);
        SBoardRequest read = Call(BoardReadInput, MakeRequest(handle, 3));
        EXPECT_NE(read.wError, 0) << "slave 3 answers without a master";
        EXPECT_EQ(read.byMasterState, 0x00);
    }

    bool AllExchanging(SHandle handle)
    {
        SBoardRequest states = States(handle);
        return states.byMasterState == 0xC0 && states.abyData[3] == 2 && states.abyData[4] == 2 &&
               states.abyData[5] == 2;
    }

    std::unique_ptr<testsupport::CChildProcess> m_pSlaves;
    std::unique_ptr<testsupport::CChildProcess> m_pMaster;
};

TEST_F(DeclaredBoardTest, AHostBeforeTheMasterSeesItOfflineThenTheRealSlaves)
{
    testsupport::SRunResult declare = Korixsim({"declare"});
    ASSERT_EQ(declare.nExitCode, 0) << declare.strOutput;
    EXPECT_THAT(declare.strOutput, HasSubstr("declared for a DP master"));

    const SHandle handle = Register();
    ExpectMasterOfflineAndNoSlave(handle);
    SBoardRequest list = Call(BoardReadSlaveList, MakeRequest(handle));
    ASSERT_EQ(list.wError, 0);
    EXPECT_EQ(list.abyData[3], 0xFF);
    EXPECT_EQ(list.abyData[4], 0xFF);
    // Nothing by hand brings the simulated plant back while the declaration stands.
    EXPECT_EQ(Korixsim({"reset"}).nExitCode, 0);
    ExpectMasterOfflineAndNoSlave(handle);
    testsupport::SRunResult load =
        Korixsim({"load", WriteTempFile("plant.json", R"({ "master_mode": 192, "slaves": [] })")});
    EXPECT_EQ(load.nExitCode, 1);
    EXPECT_THAT(load.strOutput, HasSubstr("declared for a DP master"));
    EXPECT_THAT(Korixsim({"show"}).strOutput, HasSubstr("Declared for a DP master"));

    // The master comes: the host, registered all along, reaches the real slaves.
    StartBus();
    ASSERT_TRUE(Eventually(
        [&]
        {
            SBoardRequest states = States(handle);
            return states.byMasterState == 0xC0 && states.abyData[3] == 2 &&
                   states.abyData[4] == 2 && states.abyData[5] == 2;
        }));
    const std::vector<std::uint8_t> abyOut = {9, 8, 7, 6, 5, 4, 3, 2};
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(handle, 3, abyOut)).wError, 0);
    EXPECT_TRUE(
        Eventually([&] { return DataOf(Call(BoardReadInput, MakeRequest(handle, 3))) == abyOut; }));
}

TEST_F(DeclaredBoardTest, AfterItsMasterEndsTheBoardStaysOfflineUntilUndeclared)
{
    ASSERT_EQ(Korixsim({"declare"}).nExitCode, 0);
    StartBus();
    const SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return States(handle).byMasterState == 0xC0; }));
    m_pMaster->Kill(SIGKILL);
    m_pMaster->Wait();
    EXPECT_EQ(States(handle).byMasterState, 0x00);
    // A reset clears faults and leaves the board offline.
    EXPECT_EQ(Korixsim({"reset"}).nExitCode, 0);
    SBoardRequest states = States(handle);
    EXPECT_EQ(states.byMasterState, 0x00);
    EXPECT_EQ(states.abyData[3], 0);
    EXPECT_EQ(states.abyData[4], 0);

    // Taken back, the board is simulated again: the default plant, master operational.
    testsupport::SRunResult undeclare = Korixsim({"undeclare"});
    ASSERT_EQ(undeclare.nExitCode, 0) << undeclare.strOutput;
    EXPECT_THAT(undeclare.strOutput, HasSubstr("default plant"));
    states = States(handle);
    EXPECT_EQ(states.byMasterState, 0xC0);
    EXPECT_EQ(states.abyData[3], 2);
}

TEST_F(DeclaredBoardTest, DeclaringABoardItsMasterServesKeepsTheMastersPlant)
{
    StartBus();
    const SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return States(handle).byMasterState == 0xC0; }));
    testsupport::SRunResult declare = Korixsim({"declare"});
    ASSERT_EQ(declare.nExitCode, 0);
    EXPECT_THAT(declare.strOutput, HasSubstr("which serves it"));
    // Still the bus's slaves and the master's plant (their states are the bus's business).
    SBoardRequest list = Call(BoardReadSlaveList, MakeRequest(handle));
    ASSERT_EQ(list.wError, 0);
    for (std::uint8_t byAddress : {3, 4, 5})
        EXPECT_NE(list.abyData[byAddress], 0xFF) << "slave " << int(byAddress);
    EXPECT_THAT(Korixsim({"show"}).strOutput, HasSubstr("Plant: korix-dpmaster: "));
}

// A value a host reads as done must be one a slave sent: nothing set by hand on a served board
// may pass for one, not even until the master's next cycle.
TEST_F(DeclaredBoardTest, AServedBoardTakesNoValuesByHandButFaultsOfItsOperations)
{
    // Cycles 0.2 s apart: a value set by hand would stay long enough for the host to read it.
    StartBus("200000");
    const SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return AllExchanging(handle); }));
    const std::vector<std::uint8_t> abyOut = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(Call(BoardWriteOutput, MakeWrite(handle, 3, abyOut)).wError, 0);
    ASSERT_TRUE(
        Eventually([&] { return DataOf(Call(BoardReadInput, MakeRequest(handle, 3))) == abyOut; }));

    const std::string strServed =
        "is served by a DP master (process " + std::to_string(m_pMaster->GetPid()) + ")";
    const std::string strPlant = WriteTempFile("plant.json", R"({ "slaves": [] })");
    for (const std::vector<std::string>& astrCommand :
         std::vector<std::vector<std::string>>{{"set-input", "3", "0", "BDBDBDBDBDBDBDBD"},
                                               {"slave-state", "4", "0"},
                                               {"master-mode", "0"},
                                               {"load", strPlant}})
    {
        testsupport::SRunResult refused = Korixsim(astrCommand);
        EXPECT_EQ(refused.nExitCode, 1) << astrCommand[0];
        EXPECT_THAT(refused.strOutput, HasSubstr(strServed)) << astrCommand[0];
    }
    testsupport::SRunResult reset = Korixsim({"reset"});
    EXPECT_EQ(reset.nExitCode, 0);
    EXPECT_THAT(reset.strOutput, HasSubstr("served by a DP master: its plant is the master's"));
    // Nothing of it reached the host: the slave's own inputs, every slave exchanging.
    EXPECT_THAT(Korixsim({"show"}).strOutput, HasSubstr("Plant: korix-dpmaster: "));
    EXPECT_EQ(DataOf(Call(BoardReadInput, MakeRequest(handle, 3))), abyOut);
    EXPECT_TRUE(AllExchanging(handle));

    // A fault of an operation is a failed call, never a value: still allowed.
    ASSERT_EQ(Korixsim({"fail", "BoardReadInput", "0x85"}).nExitCode, 0);
    EXPECT_EQ(Call(BoardReadInput, MakeRequest(handle, 3)).wError, 0x85);
    EXPECT_EQ(DataOf(Call(BoardReadInput, MakeRequest(handle, 3))), abyOut);
}

TEST_F(DeclaredBoardTest, ADeclaredBoardWithoutItsMasterTakesNoValuesByHand)
{
    ASSERT_EQ(Korixsim({"declare"}).nExitCode, 0);
    const SHandle handle = Register();
    for (const std::vector<std::string>& astrCommand : std::vector<std::vector<std::string>>{
             {"set-input", "3", "0", "BDBD"}, {"slave-state", "3", "2"}, {"master-mode", "0xC0"}})
    {
        testsupport::SRunResult refused = Korixsim(astrCommand);
        EXPECT_EQ(refused.nExitCode, 1) << astrCommand[0];
        EXPECT_THAT(refused.strOutput, HasSubstr("is declared for a DP master, which alone sets"))
            << astrCommand[0];
    }
    ExpectMasterOfflineAndNoSlave(handle);

    // Simulated again, the board takes them.
    ASSERT_EQ(Korixsim({"undeclare"}).nExitCode, 0);
    EXPECT_EQ(Korixsim({"slave-state", "4", "0"}).nExitCode, 0);
    EXPECT_EQ(Korixsim({"master-mode", "0x80"}).nExitCode, 0);
    EXPECT_EQ(Korixsim({"set-input", "5", "0", "A5"}).nExitCode, 0);
    SBoardRequest states = States(handle);
    EXPECT_EQ(states.byMasterState, 0x80);
    EXPECT_EQ(states.abyData[4], 0);
}

} // namespace
} // namespace dptest
