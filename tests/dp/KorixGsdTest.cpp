// korix-gsd as people run it: the demo's three slaves come out of their GSD files with
// exactly the bytes of dp/demo/bus.json; refusals and usage errors end with their exit codes.
#include "dp/BusFiles.h"

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

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

} // namespace
