// Plants: the default one and its moving inputs, plants from JSON files with each kind of
// generator, and files that are refused with their problem named while the board keeps its
// plant.
#include "tests/sim/SimTestSupport.h"

#include "sim/common/PlantFields.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace simtest
{
namespace
{

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

class SimPlantTest : public CBoardTest
{
protected:
    korix::SControlResult Load(const std::string& strText)
    {
        return korix::LoadPlantText(m_byBoard, strText.c_str(), "test plant");
    }

    std::vector<std::uint8_t> Inputs(SHandle handle, std::uint8_t byAddress)
    {
        SBoardRequest read = Call(BoardReadInput, MakeRequest(handle, byAddress));
        EXPECT_EQ(0, read.wError);
        return DataOf(read);
    }
};

TEST_F(SimPlantTest, DefaultPlantHasItsThreeSlaves)
{
    auto pSnapshot = Snapshot();
    const korix::SPlant& plant = pSnapshot->sState.sPlant;
    EXPECT_EQ(0xC0, plant.byMasterMode);
    EXPECT_STREQ("default", plant.szSource);
    int nSlaves = 0;
    for (const korix::SBoardSlave& slave : plant.aSlaves)
        nSlaves += slave.byPresent;
    EXPECT_EQ(3, nSlaves);
    const korix::SBoardSlave& loopback = plant.aSlaves[3];
    EXPECT_EQ(8, loopback.byInputLength);
    EXPECT_EQ(8, loopback.byOutputLength);
    const korix::SBoardSlave& large = plant.aSlaves[5];
    EXPECT_EQ(244, large.byInputLength);
    EXPECT_EQ(244, large.byOutputLength);
    const korix::SBoardSlave& live = plant.aSlaves[4];
    EXPECT_EQ(8, live.byInputLength);
    EXPECT_EQ(4, live.byOutputLength);
    for (std::uint8_t byAddress : {3, 4, 5})
        EXPECT_THAT(plant.aSlaves[byAddress].byState, ::testing::AnyOf(2, 3));
}

TEST_F(SimPlantTest, DefaultLiveSlaveCountsTenMillisecondTicksAndSwingsASine)
{
    CFakeClock clock(5000);
    ASSERT_TRUE(korix::ResetBoard(m_byBoard).bOk); // the generators' time starts now
    SHandle handle = Register({});
    clock.Advance(2500); // a quarter of the sine's 10 s period
    std::vector<std::uint8_t> abyInputs = Inputs(handle, kLiveSlave);
    EXPECT_EQ(250, abyInputs[0] << 8 | abyInputs[1]);
    EXPECT_EQ(10000, abyInputs[2] << 8 | abyInputs[3]);
    EXPECT_EQ(2, abyInputs[4] << 8 | abyInputs[5]);
    clock.Advance(5000); // three quarters
    abyInputs = Inputs(handle, kLiveSlave);
    EXPECT_EQ(750, abyInputs[0] << 8 | abyInputs[1]);
    EXPECT_EQ(-10000, static_cast<std::int16_t>(abyInputs[2] << 8 | abyInputs[3]));
}

TEST_F(SimPlantTest, EachGeneratorKindFillsItsBytes)
{
    CFakeClock clock;
    ASSERT_TRUE(Load(R"({"master_mode": 128, "slaves": [
        {"address": 0, "input_length": 16, "output_length": 4, "state": 3,
         "inputs": "EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE",
         "generators": [
           {"kind": "constant", "offset": 0, "length": 3, "value": 66051},
           {"kind": "counter", "offset": 3, "length": 1, "period_ms": 100, "step": 3,
            "start": 250},
           {"kind": "sine", "offset": 4, "length": 1, "period_ms": 400, "amplitude": 100,
            "center": 20},
           {"kind": "loopback", "offset": 5, "length": 2, "source": 2},
           {"kind": "random", "offset": 8, "length": 4, "seed": 7}]}]})")
                    .bOk);
    SHandle handle = Register({0});
    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(handle, 0, {0xA0, 0xA1, 0xA2, 0xA3})).wError);
    clock.Advance(200); // two counter steps, half a sine period
    std::vector<std::uint8_t> abyFirst = Inputs(handle, 0);
    ASSERT_EQ(16u, abyFirst.size());
    EXPECT_THAT(std::vector<std::uint8_t>(abyFirst.begin(), abyFirst.begin() + 8),
                ElementsAre(0x01, 0x02, 0x03, 0 /* (250 + 6) mod 256 */, 20, 0xA2, 0xA3, 0xEE));
    EXPECT_THAT(std::vector<std::uint8_t>(abyFirst.begin() + 12, abyFirst.end()),
                ElementsAre(0xEE, 0xEE, 0xEE, 0xEE))
        << "bytes without a generator keep what they were given";
    clock.Advance(100); // three quarters of the sine
    std::vector<std::uint8_t> abySecond = Inputs(handle, 0);
    EXPECT_EQ(static_cast<std::uint8_t>(-80), abySecond[4]);
    EXPECT_NE(std::vector<std::uint8_t>(abyFirst.begin() + 8, abyFirst.begin() + 12),
              std::vector<std::uint8_t>(abySecond.begin() + 8, abySecond.begin() + 12))
        << "random bytes change from read to read";
    EXPECT_EQ(0x80, Call(BoardReadInput, MakeRequest(handle, 0)).byMasterState);
}

TEST_F(SimPlantTest, InputsSetByHandStayWhereNoGeneratorDrives)
{
    SHandle handle = Register({});
    std::uint8_t abyBytes[] = {0x11, 0x22};
    korix::SControlResult result = korix::SetInputBytes(m_byBoard, 4, 6, abyBytes, 2);
    ASSERT_TRUE(result.bOk);
    EXPECT_THAT(result.szMessage, HasSubstr("overwrite")) << "byte 6 is driven by a generator";
    EXPECT_TRUE(korix::LoadPlantText(
                    m_byBoard,
                    R"({"slaves": [{"address": 9, "input_length": 4, "output_length": 0}]})",
                    "plain")
                    .bOk);
    ASSERT_TRUE(korix::SetInputBytes(m_byBoard, 9, 2, abyBytes, 2).bOk);
    EXPECT_THAT(Inputs(handle, 9), ElementsAre(0, 0, 0x11, 0x22));
    EXPECT_FALSE(korix::SetInputBytes(m_byBoard, 9, 3, abyBytes, 2).bOk) << "beyond the inputs";
    EXPECT_FALSE(korix::SetInputBytes(m_byBoard, 4, 0, abyBytes, 2).bOk) << "no slave 4 now";
}

struct SBadPlant
{
    const char* pszName;
    const char* pszText;
    const char* pszMessage;
};

const std::string kSlave3 = R"({"address": 3, "input_length": 8, "output_length": 8)";

const SBadPlant kBadPlants[] = {
    {"NotJson", "{\"slaves\": [\n  {\"address\": 3,,}]}", "line 2, column 17: "},
    {"Truncated", "{\"slaves\": [", "line 1, column 13: "},
    {"NotAnObject", "[1, 2]", "the plant must be a JSON object"},
    {"NoSlaves", "{}", "\"slaves\" is missing"},
    {"UnknownKey", "{\"slaves\": [], \"master\": 1}", "master: unknown key"},
    {"AddressText", R"({"slaves": [{"address": "3", "input_length": 1, "output_length": 1}]})",
     "slaves[0].address: must be an integer from 0 to 125"},
    {"AddressTooHigh", R"({"slaves": [{"address": 126, "input_length": 1, "output_length": 1}]})",
     "slaves[0].address: must be an integer from 0 to 125"},
    {"AddressNegative", R"({"slaves": [{"address": -1, "input_length": 1, "output_length": 1}]})",
     "slaves[0].address: must be an integer from 0 to 125"},
    {"LengthFraction", R"({"slaves": [{"address": 1, "input_length": 1.5, "output_length": 1}]})",
     "slaves[0].input_length: must be an integer from 0 to 244"},
    {"InputsTooLong", R"({"slaves": [{"address": 1, "input_length": 245, "output_length": 1}]})",
     "slaves[0].input_length: must be an integer from 0 to 244"},
    {"OutputsTooLong", R"({"slaves": [{"address": 1, "input_length": 1, "output_length": 300}]})",
     "slaves[0].output_length: must be an integer from 0 to 244"},
    {"MissingLength", R"({"slaves": [{"address": 1, "input_length": 1}]})",
     "slaves[0]: \"output_length\" is missing"},
    {"DuplicateAddress",
     R"({"slaves": [{"address": 1, "input_length": 1, "output_length": 1},
                    {"address": 2, "input_length": 1, "output_length": 1},
                    {"address": 1, "input_length": 2, "output_length": 2}]})",
     "slaves[2].address: 1 is already used by slaves[0]"},
    {"HexOverLength",
     R"({"slaves": [{"address": 1, "input_length": 2, "output_length": 1, "inputs": "010203"}]})",
     "slaves[0].inputs: 3 bytes is more than the input length 2"},
    {"HexBroken",
     R"({"slaves": [{"address": 1, "input_length": 2, "output_length": 1, "outputs": "0x1"}]})",
     "slaves[0].outputs: must be a string of hex byte pairs"},
    {"OffsetBeyond",
     R"({"slaves": [{"address": 0, "input_length": 1, "output_length": 0}, {"address": 1,
       "input_length": 1, "output_length": 0}, {"address": 2, "input_length": 8,
       "output_length": 0, "generators": [{"kind": "counter", "offset": 8, "length": 1}]}]})",
     "slaves[2].generators[0].offset: beyond the input length 8"},
    {"RangeBeyond",
     R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 0,
       "generators": [{"kind": "random", "offset": 6, "length": 3}]}]})",
     "slaves[0].generators[0].length: bytes 6..8 reach beyond the input length 8"},
    {"LoopbackBeyondOutputs",
     R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 4,
       "generators": [{"kind": "loopback", "offset": 0, "length": 8}]}]})",
     "slaves[0].generators[0].source: output bytes 0..7 reach beyond the output length 4"},
    {"Overlap",
     R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 0, "generators": [
       {"kind": "constant", "offset": 0, "length": 4, "value": 1},
       {"kind": "counter", "offset": 3, "length": 2}]}]})",
     "slaves[0].generators[1]: bytes 3..4 overlap generators[0]"},
    {"UnknownKind",
     R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 0,
       "generators": [{"kind": "ramp", "offset": 0, "length": 1}]}]})",
     "slaves[0].generators[0].kind: unknown kind \"ramp\""},
    {"KeyOfAnotherKind",
     R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 0,
       "generators": [{"kind": "random", "offset": 0, "length": 1, "step": 2}]}]})",
     "slaves[0].generators[0].step: unknown key"},
    {"ConstantTooLarge",
     R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 0,
       "generators": [{"kind": "constant", "offset": 0, "length": 1, "value": 256}]}]})",
     "slaves[0].generators[0].value: must be an integer from 0 to 255"},
    {"SineOutOfRange",
     R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 0, "generators": [
       {"kind": "sine", "offset": 0, "length": 1, "amplitude": 100, "center": 50}]}]})",
     "slaves[0].generators[0].amplitude: center 50 +/- amplitude 100 leaves the range"},
    {"CounterTooLong",
     R"({"slaves": [{"address": 2, "input_length": 16, "output_length": 0,
       "generators": [{"kind": "counter", "offset": 0, "length": 9}]}]})",
     "slaves[0].generators[0].length: a counter is 1 to 8 bytes long"},
    {"RepeatedAddressKey",
     R"({"slaves": [{"address": 3, "address": 9, "input_length": 1, "output_length": 1}]})",
     "slaves[0].address: the key is given twice"},
    {"RepeatedSlavesKey",
     R"({"slaves": [{"address": 3, "input_length": 1, "output_length": 1}], "slaves": []})",
     "slaves: the key is given twice"},
    {"RepeatedKindKey",
     R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 0, "comment": "x",
       "generators": [{"kind": "constant", "offset": 0, "length": 1, "value": 1},
                      {"kind": "counter", "offset": 1, "length": 1, "kind": "random"}]}]})",
     "slaves[0].generators[1].kind: the key is given twice"},
    {"CommentNotText", R"({"slaves": [], "comment": {"author": "x"}})",
     "comment: must be a string"},
    {"SlaveCommentNotText",
     R"({"slaves": [{"address": 2, "input_length": 1, "output_length": 0, "comment": 7}]})",
     "slaves[0].comment: must be a string"},
    {"ZeroPeriod",
     R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 0,
       "generators": [{"kind": "counter", "offset": 0, "length": 1, "period_ms": 0}]}]})",
     "slaves[0].generators[0].period_ms: must be at least 1"},
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const SBadPlant& plant, std::ostream* pOut)
{
    *pOut << plant.pszName;
}

class SimBadPlantTest : public SimPlantTest, public ::testing::WithParamInterface<SBadPlant>
{
};

TEST_P(SimBadPlantTest, IsRefusedWithItsPlaceAndTheBoardKeepsItsPlant)
{
    ASSERT_TRUE(Load("{\"master_mode\": 64, \"slaves\": [" + kSlave3 + "}]}").bOk);
    auto pBefore = Snapshot();

    korix::SControlResult result = Load(GetParam().pszText);
    EXPECT_FALSE(result.bOk);
    EXPECT_THAT(result.szMessage, HasSubstr(std::string("test plant: ") + GetParam().pszMessage));

    auto pAfter = Snapshot();
    EXPECT_EQ(0x40, pAfter->sState.sPlant.byMasterMode);
    EXPECT_EQ(0, std::memcmp(&pBefore->sState.sPlant, &pAfter->sState.sPlant,
                             sizeof pBefore->sState.sPlant));
}

INSTANTIATE_TEST_SUITE_P(SimPlantFiles, SimBadPlantTest, ::testing::ValuesIn(kBadPlants),
                         [](const auto& info) { return std::string(info.param.pszName); });

// A long key or kind is quoted short, so that the message keeps its end (the message has room
// for 511 characters).
TEST_F(SimPlantTest, ALongKeyOrKindIsQuotedShort)
{
    const std::string strLong(1000, 'r');
    korix::SControlResult result =
        Load(R"({"slaves": [{"address": 2, "input_length": 8, "output_length": 0,
                 "generators": [{"kind": ")" +
             strLong + R"(", "offset": 0, "length": 1}]}]})");
    EXPECT_FALSE(result.bOk);
    EXPECT_THAT(result.szMessage,
                HasSubstr("kind: unknown kind \"" + strLong.substr(0, korix::kMaxQuotedBytes) +
                          "... (1000 bytes)\" (constant, counter, sine, loopback or random)"));
    result = Load("{\"" + strLong + "\\n\": 1, \"slaves\": []}");
    EXPECT_FALSE(result.bOk);
    EXPECT_THAT(result.szMessage, HasSubstr("... (1001 bytes): unknown key"));
}

TEST_F(SimPlantTest, FilesAreLoadedByPathAndMissingOnesRefused)
{
    std::string strPath = ::testing::TempDir() + TestPrefix() + "_plant.json";
    {
        std::ofstream file(strPath);
        file << R"({"slaves": [{"address": 125, "input_length": 2, "output_length": 2,
                   "inputs": "BEEF", "state": 5}]})";
    }
    korix::SControlResult result = korix::LoadPlantFile(m_byBoard, strPath.c_str());
    std::remove(strPath.c_str());
    ASSERT_TRUE(result.bOk) << result.szMessage;
    auto pSnapshot = Snapshot();
    EXPECT_STREQ(strPath.c_str(), pSnapshot->sState.sPlant.szSource);
    EXPECT_EQ(5, pSnapshot->sState.sPlant.aSlaves[125].byState);
    EXPECT_THAT(std::vector<std::uint8_t>(pSnapshot->sState.sPlant.aSlaves[125].abyInput,
                                          pSnapshot->sState.sPlant.aSlaves[125].abyInput + 2),
                ElementsAreArray({0xBE, 0xEF}));

    result = korix::LoadPlantFile(m_byBoard, strPath.c_str());
    EXPECT_FALSE(result.bOk);
    EXPECT_THAT(result.szMessage, HasSubstr("cannot open"));
}

} // namespace
} // namespace simtest
