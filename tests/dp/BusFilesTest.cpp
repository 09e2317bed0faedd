// The bus file and the slave file: defaults, and refusals that name the place.
#include "dp/files/BusFiles.h"
#include "dp/files/TargetRotation.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace
{

std::string BusError(const std::string& strText)
{
    dp::SMasterConfig config;
    std::string strError;
    EXPECT_FALSE(dp::ParseBusFile(strText, config, strError));
    return strError;
}

TEST(BusFile, DefaultsFollowTheBaudRate)
{
    dp::SMasterConfig config;
    std::string strError;
    ASSERT_TRUE(dp::ParseBusFile(R"({ "baud_rate": 12000000,
        "slaves": [ { "address": 7, "ident": 4660, "config": "17 27", "watchdog_ms": 200 } ] })",
                                 config, strError))
        << strError;
    EXPECT_EQ(config.byMasterAddress, 1);
    EXPECT_EQ(config.bus.dwSlotTime, 1000u);
    EXPECT_EQ(config.bus.dwRetryLimit, 4u);
    ASSERT_EQ(config.slaves.size(), 1u);
    EXPECT_EQ(config.slaves[0].byInputLength, 8);
    EXPECT_EQ(config.slaves[0].byOutputLength, 8);
    EXPECT_EQ(config.slaves[0].dwWatchdogMs, 200u);

    ASSERT_TRUE(dp::ParseBusFile(R"({ "baud_rate": 93750, "master_address": 2,
        "timing": { "slot_time": 300, "retry_limit": 3 }, "slaves": [] })",
                                 config, strError))
        << strError;
    EXPECT_EQ(config.bus.dwSlotTime, 300u);
    EXPECT_EQ(config.bus.dwMaxTsdr, 60u); // the rate's default
    EXPECT_EQ(config.bus.dwRetryLimit, 3u);
}

TEST(BusFile, TheRingKeysAndTheTargetRotationTimeTheSlavesNeed)
{
    dp::SMasterConfig config;
    std::string strError;
    ASSERT_TRUE(dp::ParseBusFile(R"({ "baud_rate": 1500000, "slaves": [] })", config, strError))
        << strError;
    EXPECT_EQ(config.byHighestAddress, 126);
    EXPECT_EQ(config.dwGapFactor, 10u);
    const std::uint32_t dwNoSlaves = config.dwTargetRotationBits;
    EXPECT_EQ(dwNoSlaves, dp::DefaultTargetRotationBits(config));
    EXPECT_GE(dwNoSlaves, dp::kMinTargetRotationBits);

    // Each slave's exchange widens the default: 8 bytes each way at 1.5 Mbit/s.
    ASSERT_TRUE(dp::ParseBusFile(R"({ "baud_rate": 1500000, "slaves": [
        { "address": 7, "ident": 1, "config": "17 27" },
        { "address": 8, "ident": 1, "config": "17 27" } ] })",
                                 config, strError))
        << strError;
    const std::uint32_t dwSlaveBits =
        dp::IdleTime1Bits(config.bus) + 2 * 17 * 11 + config.bus.dwMaxTsdr;
    EXPECT_EQ(config.dwTargetRotationBits, dwNoSlaves + 2 * 2 * dwSlaveBits);

    ASSERT_TRUE(dp::ParseBusFile(R"({ "baud_rate": 1500000, "master_address": 3,
        "highest_station_address": 31, "target_rotation_time": 50000, "gap_factor": 4,
        "slaves": [] })",
                                 config, strError))
        << strError;
    EXPECT_EQ(config.byHighestAddress, 31);
    EXPECT_EQ(config.dwTargetRotationBits, 50000u);
    EXPECT_EQ(config.dwGapFactor, 4u);

    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "master_address": 9,
        "highest_station_address": 8, "slaves": [] })"),
              "highest_station_address: below master_address 9: the master would be outside its "
              "own ring");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "target_rotation_time": 100, "slaves": [] })"),
              "target_rotation_time: must be at least 256 bit times");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "gap_factor": 0, "slaves": [] })"),
              "gap_factor: must be from 1 to 100");
    EXPECT_FALSE(BusError(R"({ "baud_rate": 19200, "gap_factor": 101, "slaves": [] })").empty());
    EXPECT_FALSE(BusError(R"({ "baud_rate": 19200, "highest_station_address": 127, "slaves": [] })")
                     .empty());
}

TEST(BusFile, RefusalsNameThePlace)
{
    EXPECT_EQ(BusError(R"({ "slaves": [] })"), "\"baud_rate\" is missing");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [], "speed": 1 })"),
              "speed: unknown key");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [
        { "address": 3, "ident": 1, "config": "17" },
        { "address": 3, "ident": 1, "config": "17" } ] })"),
              "slaves[1].address: 3 is already used by slaves[0]");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [
        { "address": 3, "ident": 1, "config": "17 27", "input_length": 4 } ] })"),
              "slaves[0].input_length: 4, but the configuration bytes give 8");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [ { "address": 3, "ident": 1 } ] })"),
              "slaves[0]: \"config\" is missing");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [
        { "address": 1, "ident": 1, "config": "17" } ] })"),
              "slaves[0].address: 1 is the master's address");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [
        { "address": 3, "ident": 1, "config": "17 C2 43" } ] })"),
              "slaves[0].config: byte 1: special identifier runs past the end");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "timing": { "slot_time": 50 }, "slaves": [] })"),
              "timing.slot_time: must exceed max_tsdr 60: an answer may take that long to start");
    EXPECT_EQ(BusError("{ \"baud_rate\": 19200,\n  \"slaves\": [ } }"),
              "line 2, column 15: syntax error while parsing value - unexpected '}'; expected "
              "'[', '{', or a literal");
}

// "observe": another master's slave, only read: what would go into its Set_Prm is refused in
// words, its configuration still gives its lengths, and it is read-only on the board.
TEST(BusFile, AnObservedSlaveNeedsNoParametersAndRefusesThem)
{
    dp::SMasterConfig config;
    std::string strError;
    ASSERT_TRUE(dp::ParseBusFile(R"({ "baud_rate": 19200, "slaves": [
        { "address": 3, "ident": 1, "config": "13 21", "observe": true },
        { "address": 4, "ident": 1, "config": "17", "user_prm": "01", "observe": false },
        { "address": 5, "ident": 1, "config": "17" } ] })",
                                 config, strError))
        << strError;
    ASSERT_EQ(config.slaves.size(), 3u);
    EXPECT_TRUE(config.slaves[0].bObserve);
    EXPECT_TRUE(config.slaves[0].bReadOnly);
    EXPECT_EQ(config.slaves[0].byInputLength, 4);
    EXPECT_EQ(config.slaves[0].byOutputLength, 2);
    EXPECT_FALSE(config.slaves[1].bObserve || config.slaves[1].bReadOnly);
    EXPECT_FALSE(config.slaves[2].bObserve || config.slaves[2].bReadOnly);

    const std::string strRefused = "an observed slave is never parametrised by this master: its "
                                   "owner sets its parameters, watchdog and group";
    for (const char* pszKey : {"user_prm", "watchdog_ms", "group"})
    {
        const std::string strValue = std::string(pszKey) == "user_prm" ? "\"01\"" : "1";
        EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [ { "address": 3, "ident": 1,
            "config": "17", "observe": true, ")" +
                           std::string(pszKey) + "\": " + strValue + " } ] }"),
                  "slaves[0]." + std::string(pszKey) + ": " + strRefused);
    }
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [
        { "address": 3, "ident": 1, "config": "17", "observe": 1 } ] })"),
              "slaves[0].observe: must be true or false");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [
        { "address": 3, "ident": 1, "observe": true } ] })"),
              "slaves[0]: \"config\" is missing");
}

// What a file must be before its text is read: a FIFO would hold the master in the open until
// a writer came, and a folder reads as no text at all.
// A file may hold a megabyte in one key or value; the message quotes a short prefix of it, with
// control characters spelt out, and stays one line.
TEST(BusFile, RefusalsQuoteAShortPrefixOfWhatTheFileHolds)
{
    const std::string strHuge(1000000, 'k');
    const std::string strSlave = R"("address": 7, "config": "17 27")";
    struct
    {
        std::string strText;
        std::string strStart; // the message's start
        std::string strEnd;   // and its end
    } cases[] = {
        {"{ \"" + strHuge + "\": 1, \"slaves\": [] }", "kkkkk", "... (1000000 bytes): unknown key"},
        {"{ \"baud_rate\": 1500000, \"slaves\": [ { " + strSlave + ", \"" + strHuge + "\": 1 } ] }",
         "slaves[0].kkk", "... (1000000 bytes): unknown key"},
        {"{ \"baud_rate\": 1500000, \"slaves\": [ { " + strSlave + ", \"ident\": \"" + strHuge +
             "\" } ] }",
         "slaves[0].ident: \"kkk",
         "... (1000000 bytes)\" is no ident number (0 to 65535, or "
         "0x0000 to 0xFFFF)"},
        {"{ \"baud_rate\": 1500000, \"slaves\": [ { " + strSlave +
             ", \"gsd\": \"x.gsd\", \"modules\": [\"" + strHuge + "\"] } ] }",
         "slaves[0].modules[0]: \"kkk", "... (1000000 bytes)\" is longer than any module's name"},
        {"{ \"baud_rate\": 1500000, \"slaves\": [ { " + strSlave +
             ", \"gsd\": \"x.gsd\", \"parameters\": { \"" + strHuge + "\": 1 } } ] }",
         "slaves[0].parameters.kkk", "... (1000000 bytes): is longer than any parameter's name"},
        {"{ \"baud_rate\": 1500000, \"slaves\": [ { " + strSlave + ", \"gsd\": \"" + strHuge +
             "\" } ] }",
         "slaves[0].gsd: \"kkk", "... (1000000 bytes)\" is longer than a path can be"},
        {"{ \"a\\u001b[2J\": 1, \"slaves\": [] }", "a\\x1B[2J: unknown key", "unknown key"},
    };
    for (const auto& c : cases)
    {
        const std::string strError = BusError(c.strText);
        EXPECT_LT(strError.size(), 200u) << strError.substr(0, 300);
        EXPECT_EQ(strError.rfind(c.strStart, 0), 0u) << strError.substr(0, 300);
        EXPECT_GE(strError.size(), c.strEnd.size());
        EXPECT_EQ(strError.substr(strError.size() - std::min(strError.size(), c.strEnd.size())),
                  c.strEnd)
            << strError.substr(0, 300);
    }
}

TEST(BusFile, OnlyPlainFilesAreRead)
{
    const std::string strDir = testing::TempDir() + "busfile-" + std::to_string(getpid());
    ASSERT_EQ(mkdir(strDir.c_str(), 0700), 0);
    const std::string strFifo = strDir + "/bus.fifo";
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    const std::string strPlain = strDir + "/bus.json";
    std::ofstream(strPlain) << R"({ "baud_rate": 19200, "slaves": [] })";

    std::string strText, strError;
    EXPECT_FALSE(dp::ReadTextFile(strFifo, strText, strError));
    EXPECT_EQ(strError, strFifo + ": a FIFO, not a plain file");
    EXPECT_FALSE(dp::ReadTextFile(strDir, strText, strError));
    EXPECT_EQ(strError, strDir + ": a folder, not a plain file");
    EXPECT_FALSE(dp::ReadTextFile(strDir + "/missing.json", strText, strError));
    EXPECT_EQ(strError, strDir + "/missing.json: No such file or directory");
    EXPECT_TRUE(dp::ReadTextFile(strPlain, strText, strError)) << strError;
    EXPECT_EQ(strText, R"({ "baud_rate": 19200, "slaves": [] })");

    std::remove(strFifo.c_str());
    std::remove(strPlain.c_str());
    rmdir(strDir.c_str());
}

TEST(BusFile, KeysGivenTwiceAndNulBytesAreRefused)
{
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "slaves": [
        { "address": 3, "ident": 1, "config": "17", "address": 4 } ] })"),
              "slaves[0].address: the key is given twice");
    EXPECT_EQ(BusError(R"({ "baud_rate": 19200, "baud_rate": 9600, "slaves": [] })"),
              "baud_rate: the key is given twice");
    // Whatever follows a NUL would otherwise be dropped without a word.
    EXPECT_EQ(BusError(std::string("{ \"baud_rate\": 19200, \"slaves\": [] }\n") + '\0' + "{ junk"),
              "line 2, column 1: a NUL byte; the file must be text");
    EXPECT_EQ(BusError(std::string("{ \"baud_rate\": 19200,") + '\0' + " \"slaves\": [] }"),
              "line 1, column 22: a NUL byte; the file must be text");
}

} // namespace
