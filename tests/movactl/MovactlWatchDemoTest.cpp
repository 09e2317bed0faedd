// The commands that run for a while: watch until its count or a stop signal, and the demo.
#include "tests/movactl/MovactlRun.h"

#include <algorithm>
#include <csignal>

using testing::Contains;
using testing::HasSubstr;
using testing::Not;

namespace movactltest
{
namespace
{

TEST_F(MovactlTest, Watch_CountTwo_TwoRoundsAndNoCursorMovesIntoAPipe)
{
    SRun run = RunMovactl({"watch", "4:7:8", "4:0:16:swap", "--count", "2", "--interval", "50"});
    EXPECT_EQ(0, run.nExitCode);
    std::vector<std::string> aRows = Rows(run.strOutput);
    EXPECT_EQ(1, std::count(aRows.begin(), aRows.end(), "round 1, every 50 ms"));
    EXPECT_EQ(1, std::count(aRows.begin(), aRows.end(), "round 2, every 50 ms"));
    // Each row starts with the round's time, to the millisecond.
    EXPECT_EQ(2, std::count_if(aRows.begin(), aRows.end(),
                               [](const std::string& strRow)
                               {
                                   return testing::Matches(MatchesPattern(
                                       "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3} 4:7:8 90 "
                                       "0x5A done"))(strRow);
                               }));
    EXPECT_THAT(run.strOutput, HasSubstr("movactl: watch: 2 rounds, none with a fault"));
    EXPECT_THAT(run.strOutput, Not(HasSubstr("round 3")));
    EXPECT_THAT(run.strOutput, Not(HasSubstr("\x1b[")));
}

TEST_F(MovactlTest, Watch_OnATerminal_EachRoundReplacesTheOneBefore)
{
#if defined(_WIN32)
    GTEST_SKIP() << "runs movactl on a POSIX pseudo terminal";
#else
    std::string strOutput = RunOnTerminal({"watch", "4:7:8", "--count", "3", "--interval", "50"});
    EXPECT_THAT(strOutput, HasSubstr("round 3, every 50 ms"));
    // Heading, table heading and one row: three lines up, and clear from there, twice.
    std::size_t nRedraws = 0;
    for (std::size_t nAt = strOutput.find("\x1b[3A\x1b[J"); nAt != std::string::npos;
         nAt = strOutput.find("\x1b[3A\x1b[J", nAt + 1))
        ++nRedraws;
    EXPECT_EQ(2u, nRedraws);
#endif
}

TEST_F(MovactlTest, Watch_OnATerminalWithPlotZero_NoPlotColumns)
{
#if defined(_WIN32)
    GTEST_SKIP() << "runs movactl on a POSIX pseudo terminal";
#else
    EXPECT_THAT(RunOnTerminal({"watch", "4:7:8", "--count", "1"}), HasSubstr("last 20 rounds"));
    std::string strOutput = RunOnTerminal({"watch", "4:7:8", "--count", "1", "--plot", "0"});
    EXPECT_THAT(strOutput, HasSubstr("round 1, every 500 ms"));
    EXPECT_THAT(strOutput, HasSubstr("4:7:8"));
    EXPECT_THAT(strOutput, Not(HasSubstr("rounds ")));
    EXPECT_THAT(strOutput, Not(HasSubstr("max")));
#endif
}

TEST_F(MovactlTest, Watch_StopSignal_EndsItCleanly)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no stop signal that a test can send to one child";
#else
    for (int nSignal : {SIGINT, SIGTERM})
    {
        SCOPED_TRACE(nSignal);
        auto pWatch = StartMovactl({"watch", "3:0:8", "--interval", "50"});
        std::string strLine;
        // A slow start says so first.
        do
            ASSERT_TRUE(pWatch->ReadLine(strLine, 30000));
        while (strLine.rfind("movactl: wait", 0) == 0);
        EXPECT_EQ("round 1, every 50 ms (Ctrl-C stops)", strLine);
        pWatch->Kill(nSignal);
        EXPECT_EQ(0, pWatch->Wait(30000));
        EXPECT_THAT(pWatch->ReadAll(1000), Not(HasSubstr("Sanitizer")));
    }
#endif
}

TEST_F(MovactlTest, Watch_FailingRecord_ExitOne)
{
    SRun run = RunMovactl({"watch", "3:8:8", "--count", "1"});
    EXPECT_EQ(1, run.nExitCode);
    EXPECT_THAT(Rows(run.strOutput),
                Contains(testing::EndsWith(" 3:8:8 outside the image (-963)")));
}

// A watchdog the rounds cannot meet expires between them and the board zeroes the outputs,
// which the rounds then read as values: said before the first round. One long enough is not.
TEST_F(MovactlTest, Watch_WatchdogShorterThanTheInterval_Warned)
{
    SRun shortDog =
        RunMovactl({"watch", "3:0:8", "--watchdog", "5", "--interval", "300", "--count", "1"});
    EXPECT_THAT(shortDog.strOutput,
                HasSubstr("movactl: warning: the watchdog (--watchdog 5, 50 ms) is not longer "
                          "than the interval of 300 ms"));
    SRun longDog =
        RunMovactl({"watch", "3:0:8", "--watchdog", "100", "--interval", "300", "--count", "1"});
    EXPECT_EQ(0, longDog.nExitCode) << longDog.strOutput;
    EXPECT_THAT(longDog.strOutput, Not(HasSubstr("warning")));
}

TEST_F(MovactlTest, Demo_DefaultPlant_RunsEveryStepToTheEnd)
{
    SRun run = RunMovactl({"demo", "--seconds", "1"});
    EXPECT_EQ(0, run.nExitCode) << run.strOutput;
    std::vector<std::string> aRows = Rows(run.strOutput);
    for (const char* pszStep :
         {"1. Open board 1", "2. Test every connection", "3. Read every slave's inputs",
          "4. Write to the loopback slaves and read back",
          "5. Watch the moving inputs of slave 4 for 1 s", "6. Queue batches and withdraw one",
          "7. Close", "Every step went as the simulated board's default plant promises."})
        EXPECT_THAT(aRows, Contains(pszStep));
    EXPECT_THAT(run.strOutput, HasSubstr("MovaJob1, the\nprotocol object under MovaProto1"));
    // The level hint comes once the sessions exist, not before the board is open.
    std::size_t nHint = run.strOutput.find("'movatrace level MovaJob1 100'");
    EXPECT_NE(std::string::npos, nHint);
    EXPECT_LT(run.strOutput.find("1. Open board 1"), nHint);
    EXPECT_THAT(aRows, Contains("EnumJobQueue offered the waiting batches newest first: C, B, A. "
                                "Our sink answered 1"));
    // The pattern of the loopback step is still there: the withdrawn write of 0xEE never ran.
    EXPECT_EQ(0x12, BoardOutputs(3).at(0));
}

TEST_F(MovactlTest, Demo_BoardNotAsExpected_SaysSoAndExitsOne)
{
    ASSERT_TRUE(korix::SetSlaveState(1, 4, 4).bOk);
    SRun run = RunMovactl({"demo", "--seconds", "1"});
    EXPECT_EQ(1, run.nExitCode);
    EXPECT_THAT(Rows(run.strOutput), Contains("4 8 4 44 slave state 4 (44)"));
    EXPECT_THAT(run.strOutput, HasSubstr("Not every step went as"));
    EXPECT_THAT(run.strOutput, HasSubstr("'korixsim reset --board 1' brings it back"));
    EXPECT_THAT(run.strOutput, HasSubstr("7. Close"));
}

} // namespace
} // namespace movactltest
