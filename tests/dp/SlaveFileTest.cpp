// The slave simulator's slave file: its generators are the board's own (fields, defaults and
// refusals as in plant files), and the text is read by the plant files' reader.
#include "dp/slave/SlaveFile.h"

#include "sim/common/JsonFile.h"

#include <gtest/gtest.h>

namespace
{

std::string SlaveError(const std::string& strText)
{
    std::vector<dp::SSlaveDefinition> slaves;
    std::string strError;
    EXPECT_FALSE(dp::ParseSlaveFile(strText, slaves, strError));
    return strError;
}

TEST(SlaveFile, GeneratorsAreThePlantFilesGenerators)
{
    std::vector<dp::SSlaveDefinition> slaves;
    std::string strError;
    ASSERT_TRUE(dp::ParseSlaveFile(R"({ "slaves": [ { "address": 3, "ident": 4660,
        "config": "17 23", "inputs": "01 02", "generators": [
          { "kind": "loopback", "offset": 4, "length": 4, "source": 0 },
          { "kind": "loopback", "offset": 0, "length": 2 },
          { "kind": "random", "offset": 2, "length": 1 },
          { "kind": "counter", "offset": 3, "length": 1 } ] } ] })",
                                   slaves, strError))
        << strError;
    ASSERT_EQ(slaves.size(), 1u);
    const dp::SSlaveDefinition& slave = slaves[0];
    EXPECT_EQ(slave.byInputLength, 8);
    EXPECT_EQ(slave.byOutputLength, 4);
    EXPECT_EQ(slave.abyInitialInputs, (std::vector<std::uint8_t>{1, 2}));
    ASSERT_EQ(slave.aGenerators.size(), 4u);
    EXPECT_EQ(slave.aGenerators[0].byKind, korix::GenLoopback);
    EXPECT_EQ(slave.aGenerators[0].bySource, 0);
    EXPECT_EQ(slave.aGenerators[1].bySource, 0); // defaults to the offset
    // The board's default seed: 0x9E3779B9 ^ (address << 8) ^ offset.
    EXPECT_EQ(slave.aGenerators[2].dwRandomState, 0x9E3779B9u ^ 0x0300u ^ 2u);
    EXPECT_EQ(slave.aGenerators[3].dwPeriodMs, 10u);
    EXPECT_EQ(slave.aGenerators[3].dwStep, 1u);
}

TEST(SlaveFile, RefusalsNameThePlace)
{
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "17 23",
        "generators": [ { "kind": "loopback", "offset": 4, "length": 4, "source": 1 } ] } ] })"),
              "slaves[0].generators[0].source: output bytes 1..4 reach beyond the output length 4");
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "13",
        "generators": [ { "kind": "counter", "offset": 2, "length": 4 } ] } ] })"),
              "slaves[0].generators[0].length: bytes 2..5 reach beyond the input length 4");
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "13",
        "generators": [ { "kind": "square", "offset": 0, "length": 1 } ] } ] })"),
              "slaves[0].generators[0].kind: unknown kind \"square\" (constant, counter, sine, "
              "loopback or random)");
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "13",
        "generators": [ { "kind": "sine", "offset": 0, "length": 2, "amplitude": 32768 } ] } ] })"),
              "slaves[0].generators[0].amplitude: must be an integer from 0 to 32767");
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "13",
        "generators": [ { "kind": "counter", "offset": 0, "length": 2 },
                        { "kind": "random", "offset": 1, "length": 1 } ] } ] })"),
              "slaves[0].generators[1]: bytes 1..1 overlap generators[0]");
    EXPECT_EQ(SlaveError(R"({ "slaves": [ { "address": 3, "ident": 1, "config": "13",
        "inputs": "00", "inputs": "01" } ] })"),
              "slaves[0].inputs: the key is given twice");
    EXPECT_EQ(SlaveError(std::string(R"({ "slaves": [] })") + '\0' + "trailing"),
              "line 1, column 17: a NUL byte; the file must be text");
}

TEST(JsonFile, DuplicateKeysAreNamedByTheirPlace)
{
    nlohmann::json jRoot;
    std::string strError;
    EXPECT_FALSE(
        korix::ParseJsonText(R"({ "a": [ {}, { "b": { "c": 1, "c": 2 } } ] })", jRoot, strError));
    EXPECT_EQ(strError, "a[1].b.c: the key is given twice");
    // The same key in two objects is no repetition.
    EXPECT_TRUE(
        korix::ParseJsonText(R"({ "a": [ { "c": 1 }, { "c": 2 } ], "c": 3 })", jRoot, strError))
        << strError;
    EXPECT_FALSE(korix::ParseJsonText("", jRoot, strError));
    EXPECT_EQ(strError.rfind("line 1, column 1: ", 0), 0u) << strError;
}

} // namespace
