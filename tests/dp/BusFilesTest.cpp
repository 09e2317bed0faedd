// The bus file and the slave file: defaults, and refusals that name the place.
#include "dp/BusFiles.h"

#include <gtest/gtest.h>

namespace
{

std::string BusError(const std::string& strText)
{
    dp::SMasterConfig config;
    std::string strError;
    EXPECT_FALSE(dp::ParseBusFile(strText, config, strError));
    return strError;
}

std::string SlaveError(const std::string& strText)
{
    std::vector<dp::SSlaveDefinition> slaves;
    std::string strError;
    EXPECT_FALSE(dp::ParseSlaveFile(strText, slaves, strError));
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

TEST(SlaveFile, GeneratorsStayInsideTheImages)
{
    std::vector<dp::SSlaveDefinition> slaves;
    std::string strError;
    ASSERT_TRUE(
        dp::ParseSlaveFile(R"({ "slaves": [ { "address": 3, "ident": 4660, "config": "17 23",
        "inputs": "01 02", "generators": [ { "kind": "loopback", "offset": 4, "length": 4, "source": 0 },
                                         { "kind": "loopback", "offset": 0, "length": 2 } ] } ] })",
                           slaves, strError))
        << strError;
    ASSERT_EQ(slaves.size(), 1u);
    EXPECT_EQ(slaves[0].byOutputLength, 4);
    EXPECT_EQ(slaves[0].aGenerators[0].bySource, 0);
    EXPECT_EQ(slaves[0].aGenerators[1].bySource, 0); // defaults to the offset
    EXPECT_EQ(slaves[0].abyInitialInputs, (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "17 23",
        "generators": [ { "kind": "loopback", "offset": 4, "length": 4, "source": 1 } ] } ] })"),
              "slaves[0].generators[0].source: output bytes 1..4 reach beyond the output length 4");
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "13",
        "generators": [ { "kind": "counter", "offset": 2, "length": 4 } ] } ] })"),
              "slaves[0].generators[0].length: bytes 2..5 are not inside the input length 4");
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "13",
        "generators": [ { "kind": "square", "offset": 0, "length": 1 } ] } ] })"),
              "slaves[0].generators[0].kind: must be \"loopback\", \"counter\", \"sine\", "
              "\"random\" or \"constant\"");
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "13",
        "generators": [ { "kind": "sine", "offset": 0, "length": 2, "amplitude": 32768 } ] } ] })"),
              "slaves[0].generators[0].amplitude: does not fit 2 signed bytes");
}

} // namespace
