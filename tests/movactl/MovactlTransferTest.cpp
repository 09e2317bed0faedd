// test, read and write against the simulated board's default plant, its loopback slaves and
// injected faults; the board's own view of the outputs is the referee.
#include "tests/movactl/MovactlRun.h"

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;

namespace movactltest
{
namespace
{

using TBytes = std::vector<std::uint8_t>;

TEST_F(MovactlTest, Test_DefaultPlant_EverySlaveConnectedWithItsLearnedLengths)
{
    SRun run = RunMovactl({"test"});
    EXPECT_EQ(0, run.nExitCode);
    EXPECT_THAT(Rows(run.strOutput),
                ElementsAre("slave in out status result", "3 8 8 42 connected",
                            "4 8 4 43 connected", "5 244 244 42 connected",
                            "master: operational (a read of slave 3 went through)"));
}

TEST_F(MovactlTest, Test_DisturbedAndMissingSlaves_NamedInWords_ExitOne)
{
    ASSERT_TRUE(korix::SetSlaveState(1, 4, 4).bOk);
    // Slave 6 is not on the board; listed first, slave 3's lengths sit in another table entry
    // than its status.
    SRun run = RunMovactl({"test", "--slaves", "6,3,4"});
    EXPECT_EQ(1, run.nExitCode);
    EXPECT_THAT(Rows(run.strOutput),
                ElementsAre("slave in out status result", "6 0 0 40 no slave at address 6",
                            "3 8 8 42 connected", "4 8 4 44 slave state 4 (44)",
                            "master: operational (a read of slave 3 went through)"));

    SRun quiet = RunMovactl({"test", "--quiet"});
    EXPECT_EQ(1, quiet.nExitCode);
    EXPECT_THAT(Rows(quiet.strOutput), ElementsAre("movactl: slave 4: slave state 4 (44)"));
}

TEST_F(MovactlTest, Test_BoardOption_ChoosesTheBoard)
{
    ASSERT_TRUE(korix::ResetBoard(2).bOk);
    ASSERT_TRUE(korix::SetSlaveState(2, 3, 5).bOk);
    SRun second = RunMovactl({"test", "--board", "2", "--slaves", "3"});
    EXPECT_EQ(1, second.nExitCode);
    EXPECT_THAT(Rows(second.strOutput), Contains("3 8 8 45 slave state 5 (45)"));
    EXPECT_EQ(0, RunMovactl({"test", "--slaves", "3"}).nExitCode);
}

TEST_F(MovactlTest, WriteThenRead_LoopbackSlave3_ValuesBitsSwapAndOutputs)
{
    SRun write = RunMovactl(
        {"write", "3:0:16=0x1234:swap", "3:2:16=0x1234", "3:4:8=240", "3:5.3:1=1", "3:5.10:1=1"});
    EXPECT_EQ(0, write.nExitCode);
    EXPECT_THAT(Rows(write.strOutput), Contains("3:0:16=0x1234:swap done"));
    EXPECT_EQ(BoardOutputs(3), (TBytes{0x12, 0x34, 0x34, 0x12, 0xF0, 0x08, 0x04, 0x00}));

    SRun read = RunMovactl({"read", "3:0:16:swap", "3:2:16", "3:0:32:swap", "3:4:8", "3:5.3:1",
                            "3:5.2:1", "3:6.2:1", "3:0:64:out"});
    EXPECT_EQ(0, read.nExitCode);
    EXPECT_THAT(Rows(read.strOutput),
                ElementsAre("variable value hex result", "3:0:16:swap 4660 0x1234 done",
                            "3:2:16 4660 0x1234 done", "3:0:32:swap 305411090 0x12343412 done",
                            "3:4:8 240 0xF0 done", "3:5.3:1 1 done", "3:5.2:1 0 done",
                            "3:6.2:1 1 done",
                            "3:0:64:out 1135727097426962 0x000408F012343412 done"));
}

TEST_F(MovactlTest, Write_KeepsTheOutputsItDoesNotName)
{
    EXPECT_EQ(0, RunMovactl({"write", "3:0:64=0x1122334455667788"}).nExitCode);
    EXPECT_EQ(0, RunMovactl({"write", "--quiet", "3:2:8=0xAB", "3:7.0:1=0"}).nExitCode);
    EXPECT_EQ(BoardOutputs(3), (TBytes{0x88, 0x77, 0xAB, 0x55, 0x44, 0x33, 0x22, 0x10}));
}

// 12 bits are the two whole bytes the library reads and writes: what the read shows and what
// the write sets are those 16 bits, both ways alike.
TEST_F(MovactlTest, TwelveBits_ReadAndWrittenAsTheTwoBytesTheLibraryMoves)
{
    EXPECT_EQ(0, RunMovactl({"write", "3:0:16=0xFFFF", "3:2:8=0x5A"}).nExitCode);
    SRun read = RunMovactl({"read", "3:0:12"});
    EXPECT_EQ(0, read.nExitCode) << read.strOutput;
    EXPECT_THAT(Rows(read.strOutput),
                ElementsAre("movactl: note: 3:0:12 is 2 whole bytes (16 bits): the library reads "
                            "and writes 16 bits for 12, and so does movactl",
                            "variable value hex result", "3:0:12 65535 0xFFFF done"));

    SRun write = RunMovactl({"write", "--quiet", "3:0:12=4095"});
    EXPECT_EQ(0, write.nExitCode) << write.strOutput;
    EXPECT_THAT(write.strOutput, HasSubstr("3:0:12 is 2 whole bytes"));
    EXPECT_EQ(BoardOutputs(3), (TBytes{0xFF, 0x0F, 0x5A, 0, 0, 0, 0, 0}));
    SRun back = RunMovactl({"read", "--quiet", "3:0:12:out"});
    EXPECT_THAT(Rows(back.strOutput), Contains("4095"));

    SRun whole = RunMovactl({"write", "3:0:12=65535"});
    EXPECT_EQ(0, whole.nExitCode) << whole.strOutput;
    EXPECT_EQ(BoardOutputs(3), (TBytes{0xFF, 0xFF, 0x5A, 0, 0, 0, 0, 0}));
}

// A script reads one value per line: a failed variable leaves its line empty and says why on
// standard error, so that no failure is taken for a value.
TEST_F(MovactlTest, ReadQuiet_FailureOnStandardErrorNotAmongTheValues)
{
    EXPECT_EQ(0, RunMovactl({"write", "3:0:16=0x0201"}).nExitCode);
    std::vector<std::string> aArgs{MOVACTL_PATH, "read", "--quiet", "3:0:8", "3:300:8", "3:1:8"};
    testsupport::CChildProcess values(aArgs, testsupport::teErrorOutput::Own);
    ASSERT_TRUE(values.IsRunning());
    EXPECT_EQ("1\n\n2\n", values.ReadAll(60000));
    EXPECT_EQ(1, values.Wait(60000));

    SRun both = RunMovactl({"read", "--quiet", "3:0:8", "3:300:8", "3:1:8"});
    EXPECT_EQ(1, both.nExitCode);
    EXPECT_EQ("1\n\nmovactl: 3:300:8: outside the image (-963)\n2\n", both.strOutput);
}

TEST_F(MovactlTest, LongValues_HexByteStringsBothWays)
{
    EXPECT_EQ(0, RunMovactl({"write", "5:0:80=0x0102030405060708090a"}).nExitCode);
    TBytes abyOutputs = BoardOutputs(5);
    ASSERT_EQ(244u, abyOutputs.size());
    EXPECT_EQ(TBytes(abyOutputs.begin(), abyOutputs.begin() + 11),
              (TBytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0}));

    SRun read = RunMovactl({"read", "--quiet", "5:0:80", "5:1:16"});
    EXPECT_EQ(0, read.nExitCode);
    EXPECT_THAT(Rows(read.strOutput), ElementsAre("0x0102030405060708090A", "770"));
}

TEST_F(MovactlTest, RecordsOutsideTheImage_FailAloneAndExitOne)
{
    SRun read = RunMovactl({"read", "4:7:8", "4:7:16", "4:3:8:out", "4:4:8:out"});
    EXPECT_EQ(1, read.nExitCode);
    EXPECT_THAT(Rows(read.strOutput),
                ElementsAre("variable value hex result", "4:7:8 90 0x5A done",
                            "4:7:16 outside the image (-963)", "4:3:8:out 0 0x00 done",
                            "4:4:8:out outside the image (-963)"));

    SRun write = RunMovactl({"write", "3:8:8=1", "3:0:8=5"});
    EXPECT_EQ(1, write.nExitCode);
    EXPECT_THAT(Rows(write.strOutput),
                ElementsAre("variable result", "3:8:8=1 outside the image (-963)", "3:0:8=5 done"));
    EXPECT_EQ(5, BoardOutputs(3).at(0));
}

TEST_F(MovactlTest, BoardFaults_ResultsInWords_ExitOne)
{
    ASSERT_TRUE(korix::SetSlaveState(1, 4, 4).bOk);
    SRun disturbed = RunMovactl({"read", "--quiet", "4:7:8"});
    EXPECT_EQ(1, disturbed.nExitCode);
    EXPECT_THAT(Rows(disturbed.strOutput), ElementsAre("", "movactl: 4:7:8: slave state 4 (44)"));

    ASSERT_TRUE(korix::SetMasterMode(1, 0x40).bOk);
    SRun stopped = RunMovactl({"read", "3:0:8"});
    EXPECT_EQ(1, stopped.nExitCode);
    EXPECT_THAT(Rows(stopped.strOutput), Contains("3:0:8 master not operational (51)"));

    ASSERT_TRUE(korix::ResetBoard(1).bOk);
    ASSERT_TRUE(korix::InjectError(1, korix::OpBoardWriteOutput, 0x81, 1).bOk);
    SRun refused = RunMovactl({"write", "3:0:8=7", "3:9:8=7"});
    EXPECT_EQ(1, refused.nExitCode);
    EXPECT_THAT(Rows(refused.strOutput),
                ElementsAre("variable result", "3:0:8=7 board error 0x81 (2)",
                            "3:9:8=7 board error 0x81 (2)"));
}

TEST_F(MovactlTest, Write_OutputsNotReadable_NothingWritten)
{
    ASSERT_TRUE(korix::SetSlaveState(1, 3, 4).bOk);
    SRun run = RunMovactl({"write", "3:0:8=0x77"});
    EXPECT_EQ(1, run.nExitCode);
    EXPECT_THAT(run.strOutput, HasSubstr("reading back the outputs of slave 3 failed: slave "
                                         "state 4 (44); nothing was written"));
    EXPECT_EQ(0, BoardOutputs(3).at(0));
}

} // namespace
} // namespace movactltest
