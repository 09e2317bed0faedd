// korix-gsd as people run it: the demo's three slaves come out of their GSD files with
// exactly the bytes of dp/demo/bus.json; refusals and usage errors end with their exit codes.
#include "dp/files/BusFiles.h"

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

namespace
{

const std::string kDemo = std::string(SOURCE_DIR) + "/dp/demo/";

struct SRun
{
    int nExit = -1;
    std::string strOutput;
};

SRun RunTool(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), KORIX_GSD);
    testsupport::CChildProcess tool(arguments, testsupport::teErrorOutput::Merged);
    SRun run;
    run.strOutput = tool.ReadAll();
    run.nExit = tool.Wait();
    return run;
}

// The demo's bus comes up from its GSD files alone: the same slaves, byte for byte, as the bus
// file typed by hand.
TEST(KorixGsd, TheDemoBusFromGsdFilesAloneIsTheBusTypedByHand)
{
    std::string strText, strError;
    dp::SMasterConfig typed, fromGsd;
    ASSERT_TRUE(dp::ReadTextFile(kDemo + "bus.json", strText, strError) &&
                dp::ParseBusFile(strText, typed, strError))
        << strError;
    ASSERT_TRUE(dp::ReadTextFile(kDemo + "bus-gsd.json", strText, strError) &&
                dp::ParseBusFile(strText, fromGsd, strError, dp::FolderOf(kDemo + "bus-gsd.json")))
        << strError;
    ASSERT_EQ(fromGsd.slaves.size(), typed.slaves.size());
    for (std::size_t i = 0; i < typed.slaves.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(fromGsd.slaves[i].byAddress, typed.slaves[i].byAddress);
        EXPECT_EQ(fromGsd.slaves[i].wIdent, typed.slaves[i].wIdent);
        EXPECT_EQ(fromGsd.slaves[i].abyConfig, typed.slaves[i].abyConfig);
        EXPECT_EQ(fromGsd.slaves[i].abyUserPrm, typed.slaves[i].abyUserPrm);
        EXPECT_EQ(fromGsd.slaves[i].byInputLength, typed.slaves[i].byInputLength);
        EXPECT_EQ(fromGsd.slaves[i].byOutputLength, typed.slaves[i].byOutputLength);
        EXPECT_EQ(fromGsd.slaves[i].dwWatchdogMs, typed.slaves[i].dwWatchdogMs);
    }
}

TEST(KorixGsd, EntriesOfTheDemoSlavesMatchTheDemoBusFile)
{
    std::string strText, strError;
    dp::SMasterConfig demo;
    ASSERT_TRUE(dp::ReadTextFile(kDemo + "bus.json", strText, strError) &&
                dp::ParseBusFile(strText, demo, strError))
        << strError;
    ASSERT_EQ(demo.slaves.size(), 3u);
    const std::string strBaud = std::to_string(demo.bus.dwBaudRate);
    const std::string k64 = "64 bytes in/out, consistent";
    const std::vector<std::vector<std::string>> commands = {
        {"entry", kDemo + "gsd/loopback8.gsd", "--address", "3", "--baud-rate", strBaud},
        {"entry", kDemo + "gsd/sensor8.gsd", "--address", "4", "--baud-rate", strBaud, "--module",
         "8 bytes in", "--module", "4 bytes out"},
        {"entry", kDemo + "gsd/loopback244.gsd", "--address", "5", "--baud-rate", strBaud,
         "--module", k64, "--module", k64, "--module", k64, "--module",
         "52 bytes in/out, consistent"}};
    for (std::size_t i = 0; i < commands.size(); ++i)
    {
        const SRun run = RunTool(commands[i]);
        ASSERT_EQ(run.nExit, 0) << run.strOutput;
        // The printed entry is a slave of a bus file as the master reads it.
        dp::SMasterConfig built;
        ASSERT_TRUE(dp::ParseBusFile("{ \"baud_rate\": " + strBaud + ", \"master_address\": 2, " +
                                         "\"slaves\": [ " + run.strOutput + " ] }",
                                     built, strError))
            << strError << "\n"
            << run.strOutput;
        const dp::SSlaveConfig& expected = demo.slaves[i];
        const dp::SSlaveConfig& slave = built.slaves.at(0);
        EXPECT_EQ(slave.byAddress, expected.byAddress);
        EXPECT_EQ(slave.wIdent, expected.wIdent);
        EXPECT_EQ(slave.abyConfig, expected.abyConfig);
        EXPECT_EQ(slave.abyUserPrm, expected.abyUserPrm);
        EXPECT_EQ(slave.byInputLength, expected.byInputLength);
        EXPECT_EQ(slave.byOutputLength, expected.byOutputLength);
    }
}

TEST(KorixGsd, ShowsAFileAndEndsWithItsExitCodes)
{
    const SRun show = RunTool({"show", kDemo + "gsd/sensor8.gsd"});
    EXPECT_EQ(show.nExit, 0);
    EXPECT_NE(show.strOutput.find("  Ident_Number 0x5678 (22136)\n"), std::string::npos)
        << show.strOutput;
    EXPECT_NE(show.strOutput.find("  \"Counter, 2 words in\": 4 in, 0 out; config 51; 3 "
                                  "parameter bytes (line 77)\n"),
              std::string::npos)
        << show.strOutput;
    EXPECT_NE(show.strOutput.find("  1 \"Counter period\": Unsigned8, default 0 \"10 ms\", "
                                  "allowed 0-2 (line 61)\n      0 = \"10 ms\"\n"),
              std::string::npos)
        << show.strOutput;

    const SRun refused = RunTool({"entry", kDemo + "gsd/sensor8.gsd", "--address", "4", "--module",
                                  "Counter, 2 words in", "--set", "Counter period=1 min"});
    EXPECT_EQ(refused.nExit, 1);
    EXPECT_EQ(refused.strOutput, "korix-gsd: " + kDemo +
                                     "gsd/sensor8.gsd:61: \"Counter period\": \"1 min\" is not a "
                                     "number nor one of the parameter's texts\n");
    const SRun usage = RunTool({"entry", kDemo + "gsd/sensor8.gsd", "--address", "126"});
    EXPECT_EQ(usage.nExit, 2) << usage.strOutput;
    EXPECT_EQ(RunTool({"entry", kDemo + "gsd/sensor8.gsd", "--address", "4", "--set", "x"}).nExit,
              2);
}

// A compact station whose own parameters (a constant and one field at its default) take
// three bytes; it declares room for nMost.
std::string WriteValve(const std::string& strDir, int nMost)
{
    const std::string strFile = strDir + "valve" + std::to_string(nMost) + ".gsd";
    std::ofstream(strFile) << "#Profibus_DP\n"
                              "Model_Name = \"Valve\"\n"
                              "Ident_Number = 0x0B12\n"
                              "Station_Type = 0\n"
                              "Max_User_Prm_Data_Len = "
                           << nMost
                           << "\n"
                              "ExtUserPrmData = 1 \"Mode\"\n"
                              "Unsigned8 5 0-9\n"
                              "EndExtUserPrmData\n"
                              "Ext_User_Prm_Data_Const(0) = 0x80, 0x00, 0x0C\n"
                              "Ext_User_Prm_Data_Ref(1) = 1\n"
                              "Module = \"1 byte in\" 0x10\n"
                              "EndModule\n";
    return strFile;
}

class KorixGsdShow : public testing::Test
{
protected:
    void SetUp() override
    {
        m_strDir = testing::TempDir() + "korixgsd-" + std::to_string(getpid()) + "/";
        ASSERT_EQ(system(("mkdir -p " + m_strDir).c_str()), 0);
    }
    void TearDown() override { (void)system(("rm -rf " + m_strDir).c_str()); }

    std::string m_strDir;
};

TEST_F(KorixGsdShow, TheStationsOwnParameterBytesAreShownAsTheDefaultsGiveThem)
{
    const SRun show = RunTool({"show", WriteValve(m_strDir, 3)});
    EXPECT_EQ(show.nExit, 0) << show.strOutput;
    EXPECT_NE(show.strOutput.find("\n  station's own user parameters: 3 bytes, by default 80 05 "
                                  "0C\n"),
              std::string::npos)
        << show.strOutput;
    // The bytes the master sends are those.
    const SRun entry = RunTool({"entry", WriteValve(m_strDir, 3), "--address", "6"});
    EXPECT_EQ(entry.nExit, 0) << entry.strOutput;
    EXPECT_NE(entry.strOutput.find("\"user_prm\": \"80 05 0C\""), std::string::npos)
        << entry.strOutput;
}

TEST_F(KorixGsdShow, AStationWhoseOwnParametersPassItsMaximumIsAnError)
{
    // The master refuses every slave of this station: show says so, with the bytes, and ends
    // as the tool's other refusals do.
    const std::string strFile = WriteValve(m_strDir, 2);
    const SRun show = RunTool({"show", strFile});
    EXPECT_EQ(show.nExit, 1) << show.strOutput;
    EXPECT_NE(show.strOutput.find("  station's own user parameters: 3 bytes, by default 80 05 "
                                  "0C\n"),
              std::string::npos)
        << show.strOutput;
    EXPECT_NE(show.strOutput.find("korix-gsd: " + strFile +
                                  ":5: the station's own 3 bytes of user parameter data are more "
                                  "than Max_User_Prm_Data_Len 2: the master refuses every slave "
                                  "of this station\n"),
              std::string::npos)
        << show.strOutput;
    EXPECT_EQ(RunTool({"entry", strFile, "--address", "6"}).strOutput,
              "korix-gsd: " + strFile +
                  ":5: 3 bytes of user parameter data, more than Max_User_Prm_Data_Len 2\n");
}

} // namespace
