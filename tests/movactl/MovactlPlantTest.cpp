// What a commissioning engineer relies on: which slaves the board has, whether the master
// works, values as their types through the loopback slave, and reads over several slaves. The
// board's own view of the outputs is the referee.
#include "tests/movactl/MovactlRun.h"

#include <algorithm>
#include <cctype>

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

namespace movactltest
{
namespace
{

using TBytes = std::vector<std::uint8_t>;

// The connection test reads only the slave states, which the board reports whatever the
// master's mode: every slave shows as connected. Only a read tells.
TEST_F(MovactlTest, Test_MasterNotOperational_SaidAndExitOne)
{
    ASSERT_TRUE(korix::SetMasterMode(1, 0x00).bOk);
    SRun offline = RunMovactl({"test"});
    EXPECT_EQ(1, offline.nExitCode);
    EXPECT_THAT(Rows(offline.strOutput),
                ElementsAre("slave in out status result", "3 8 8 42 connected",
                            "4 8 4 43 connected", "5 244 244 42 connected",
                            "master: not operational (mode 0x00, offline): a read of slave 3 "
                            "answered master not operational (50); reads and writes fail until "
                            "the master operates"));

    ASSERT_TRUE(korix::SetMasterMode(1, 0x40).bOk);
    SRun quiet = RunMovactl({"test", "--quiet", "--slaves", "4"});
    EXPECT_EQ(1, quiet.nExitCode);
    EXPECT_THAT(Rows(quiet.strOutput),
                ElementsAre("movactl: master: not operational (mode 0x40, stop): a read of slave "
                            "4 answered master not operational (51); reads and writes fail until "
                            "the master operates"));

    // Clear counts as operational.
    ASSERT_TRUE(korix::SetMasterMode(1, 0x80).bOk);
    SRun clear = RunMovactl({"test", "--quiet"});
    EXPECT_EQ(0, clear.nExitCode) << clear.strOutput;
    EXPECT_EQ("", clear.strOutput);
}

TEST_F(MovactlTest, Test_MasterCannotBeLearned_SaidAndExitOne)
{
    // No slave exchanges data: nothing to read from, and the test cannot vouch for the master.
    ASSERT_TRUE(korix::SetSlaveState(1, 3, 0).bOk);
    SRun none = RunMovactl({"test", "--slaves", "3"});
    EXPECT_EQ(1, none.nExitCode);
    EXPECT_THAT(Rows(none.strOutput),
                Contains("master: unknown, no slave exchanges data to read from"));

    // The board offline as a dead master leaves it: the connection test carries the mode.
    ASSERT_TRUE(korix::SetMasterMode(1, 0x00).bOk);
    SRun offline = RunMovactl({"test", "--slaves", "3"});
    EXPECT_EQ(1, offline.nExitCode);
    EXPECT_THAT(Rows(offline.strOutput),
                ElementsAre("slave in out status result", "3 8 8 40 master not operational (50)",
                            "master: not operational (mode 0x00, offline): the connection test "
                            "answered master not operational (50)"));
}

// The slave states come from the board whatever the master's mode: scan says what test says
// of the master, and fails as test does.
TEST_F(MovactlTest, Scan_MasterOffline_SaidAndExitOne)
{
    ASSERT_TRUE(korix::SetMasterMode(1, 0x00).bOk);
    SRun scan = RunMovactl({"scan"});
    EXPECT_EQ(1, scan.nExitCode);
    EXPECT_THAT(Rows(scan.strOutput),
                ElementsAre("slave in out status state",
                            "3 8 8 42 slave state 2 (42), exchanging data",
                            "4 8 4 43 slave state 3 (43), exchanging data",
                            "5 244 244 42 slave state 2 (42), exchanging data",
                            "master: not operational (mode 0x00, offline): a read of slave 3 "
                            "answered master not operational (50); reads and writes fail until "
                            "the master operates"));

    SRun quiet = RunMovactl({"scan", "--quiet"});
    EXPECT_EQ(1, quiet.nExitCode);
    EXPECT_THAT(Rows(quiet.strOutput),
                ElementsAre("3", "4", "5",
                            "movactl: master: not operational (mode 0x00, offline): a read of "
                            "slave 3 answered master not operational (50); reads and writes "
                            "fail until the master operates"));
}

TEST_F(MovactlTest, Scan_ListsTheBoardsSlavesAndTheOtherCommandsUseThem)
{
    ASSERT_TRUE(korix::SetSlaveState(1, 4, 4).bOk);
    SRun scan = RunMovactl({"scan"});
    EXPECT_EQ(0, scan.nExitCode);
    EXPECT_THAT(Rows(scan.strOutput),
                ElementsAre("slave in out status state",
                            "3 8 8 42 slave state 2 (42), exchanging data",
                            "4 8 4 44 slave state 4 (44)",
                            "5 244 244 42 slave state 2 (42), exchanging data",
                            "master: operational (a read of slave 3 went through)"));

    // Another plant on board 2: the commands follow the board, not the default plant.
    ASSERT_TRUE(korix::LoadPlantText(2,
                                     R"({"slaves": [
                                          {"address": 125, "input_length": 3, "output_length": 0,
                                           "state": 3, "inputs": "0a0b0c"},
                                          {"address": 7, "input_length": 0, "output_length": 2}]})",
                                     "test")
                    .bOk);
    SRun other = RunMovactl({"scan", "--board", "2"});
    EXPECT_EQ(0, other.nExitCode) << other.strOutput;
    EXPECT_THAT(Rows(other.strOutput),
                ElementsAre("slave in out status state",
                            "7 0 2 42 slave state 2 (42), exchanging data",
                            "125 3 0 43 slave state 3 (43), exchanging data",
                            "master: operational (a read of slave 7 went through)"));
    SRun addresses = RunMovactl({"scan", "--board", "2", "--quiet"});
    EXPECT_THAT(Rows(addresses.strOutput), ElementsAre("7", "125"));

    // The slave without inputs is probed through its outputs.
    SRun test = RunMovactl({"test", "--board", "2"});
    EXPECT_EQ(0, test.nExitCode) << test.strOutput;
    EXPECT_THAT(Rows(test.strOutput),
                ElementsAre("slave in out status result", "7 0 2 42 connected",
                            "125 3 0 43 connected",
                            "master: operational (a read of slave 7 went through)"));

    SRun read = RunMovactl({"read", "--board", "2", "125:1:i16:swap", "3:0:8", "4:0:8"});
    EXPECT_EQ(1, read.nExitCode);
    EXPECT_THAT(Rows(read.strOutput),
                ElementsAre("movactl: no slave at address 3", "movactl: no slave at address 4"));
    SRun write = RunMovactl({"write", "--board", "2", "3:0:8=1"});
    EXPECT_EQ(1, write.nExitCode);
    EXPECT_THAT(Rows(write.strOutput), ElementsAre("movactl: no slave at address 3"));
    SRun there = RunMovactl({"read", "--board", "2", "--quiet", "125:1:u16:swap", "7:0:8:out"});
    EXPECT_EQ(0, there.nExitCode);
    EXPECT_THAT(Rows(there.strOutput), ElementsAre("2828", "0"));

    ASSERT_TRUE(korix::LoadPlantText(2, R"({"slaves": []})", "test").bOk);
    SRun empty = RunMovactl({"scan", "--board", "2"});
    EXPECT_EQ(1, empty.nExitCode);
    EXPECT_THAT(empty.strOutput, HasSubstr("movactl: board 2 reports no slaves"));
    SRun emptyTest = RunMovactl({"test", "--board", "2"});
    EXPECT_EQ(1, emptyTest.nExitCode);
    EXPECT_THAT(emptyTest.strOutput, HasSubstr("movactl: board 2 reports no slaves"));
    ASSERT_TRUE(korix::ResetBoard(2).bOk);
}

// Slave 3 loops its outputs back to its inputs: what is written as a type reads back through
// the inputs as the same value, with and without :swap.
TEST_F(MovactlTest, SignedAndFloat_RoundTripThroughTheLoopbackSlave)
{
    SRun write = RunMovactl({"write", "3:0:i8=-128", "3:1:i8=127", "3:2:i16=-100", "3:4:f32=-1.5"});
    EXPECT_EQ(0, write.nExitCode) << write.strOutput;
    EXPECT_EQ(BoardOutputs(3), (TBytes{0x80, 0x7F, 0x9C, 0xFF, 0x00, 0x00, 0xC0, 0xBF}));
    SRun read = RunMovactl({"read", "3:0:i8", "3:1:i8", "3:2:i16", "3:4:f32", "3:2:16"});
    EXPECT_EQ(0, read.nExitCode);
    EXPECT_THAT(Rows(read.strOutput),
                ElementsAre("variable value hex result", "3:0:i8 -128 0x80 done",
                            "3:1:i8 127 0x7F done", "3:2:i16 -100 0xFF9C done",
                            "3:4:f32 -1.5 0xBFC00000 done", "3:2:16 65436 0xFF9C done"));

    // Big-endian in the image.
    EXPECT_EQ(0, RunMovactl({"write", "3:0:i32=-2:swap", "3:4:f32=0.1:swap"}).nExitCode);
    EXPECT_EQ(BoardOutputs(3), (TBytes{0xFF, 0xFF, 0xFF, 0xFE, 0x3D, 0xCC, 0xCC, 0xCD}));
    SRun swapped = RunMovactl({"read", "--quiet", "3:0:i32:swap", "3:4:f32:swap", "3:0:i32"});
    EXPECT_THAT(Rows(swapped.strOutput), ElementsAre("-2", "0.1", "-16777217"));

    // 64 bits: the extremes of i64 and a double, both ways round.
    EXPECT_EQ(0, RunMovactl({"write", "3:0:i64=-9223372036854775808:swap"}).nExitCode);
    EXPECT_EQ(BoardOutputs(3), (TBytes{0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_THAT(Rows(RunMovactl({"read", "--quiet", "3:0:i64:swap", "3:0:i64"}).strOutput),
                ElementsAre("-9223372036854775808", "128"));
    EXPECT_EQ(0, RunMovactl({"write", "3:0:f64=-2.5e-300"}).nExitCode);
    EXPECT_THAT(Rows(RunMovactl({"read", "--quiet", "3:0:f64", "3:0:f64:out"}).strOutput),
                ElementsAre("-2.5e-300", "-2.5e-300"));
    EXPECT_EQ(0, RunMovactl({"write", "3:0:f64=0.1:swap"}).nExitCode);
    EXPECT_EQ(BoardOutputs(3), (TBytes{0x3F, 0xB9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A}));
    EXPECT_THAT(Rows(RunMovactl({"read", "--quiet", "3:0:f64:swap"}).strOutput),
                ElementsAre("0.1"));

    // A value out of the type's range is refused before anything reaches the board.
    SRun refused = RunMovactl({"write", "3:0:i16=40000"});
    EXPECT_EQ(2, refused.nExitCode);
    EXPECT_THAT(refused.strOutput, HasSubstr("'40000' is not a value of type i16"));
    EXPECT_EQ(0x3F, BoardOutputs(3).at(0));
}

TEST_F(MovactlTest, SeveralSlaves_OneBatchEachReportedTogetherInTheGivenOrder)
{
    EXPECT_EQ(0, RunMovactl({"write", "5:10:i16=-7"}).nExitCode);
    SRun read = RunMovactl({"read", "4:7:8", "5:10:i16", "3:8:8", "4:7:i8", "5:0:8:out"});
    EXPECT_EQ(1, read.nExitCode);
    EXPECT_THAT(Rows(read.strOutput),
                ElementsAre("variable value hex result", "4:7:8 90 0x5A done",
                            "5:10:i16 -7 0xFFF9 done", "3:8:8 outside the image (-963)",
                            "4:7:i8 90 0x5A done", "5:0:8:out 0 0x00 done"));

    // One slave's failure stays its own.
    ASSERT_TRUE(korix::SetSlaveState(1, 5, 4).bOk);
    SRun watch = RunMovactl({"watch", "5:10:i16", "4:7:8", "--count", "2", "--interval", "20"});
    EXPECT_EQ(1, watch.nExitCode);
    std::vector<std::string> aRows = Rows(watch.strOutput);
    // Rows start with the round's time; the closing summary names the first fault too.
    auto CountEnding = [&](const std::string& strEnd)
    {
        return std::count_if(aRows.begin(), aRows.end(),
                             [&](const std::string& strRow)
                             {
                                 return !strRow.empty() && std::isdigit(strRow[0]) &&
                                        testing::Matches(testing::EndsWith(" " + strEnd))(strRow);
                             });
    };
    EXPECT_EQ(2, CountEnding("4:7:8 90 0x5A done"));
    EXPECT_EQ(2, CountEnding("5:10:i16 slave state 4 (44)"));
    EXPECT_THAT(watch.strOutput, Not(HasSubstr("round 3")));
}

} // namespace
} // namespace movactltest
