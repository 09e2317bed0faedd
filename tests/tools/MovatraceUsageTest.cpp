// What movatrace and tracedemo make of their command lines.
#include "tests/tools/ToolTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::HasSubstr;
using testing::StartsWith;
using tooltest::RunProgram;

namespace
{

using Args = std::vector<std::string>;

Args WithProgram(const char* pszProgram, Args args)
{
    args.insert(args.begin(), pszProgram);
    return args;
}

class MovatraceBadArgumentsTest : public testing::TestWithParam<Args>
{
};

TEST_P(MovatraceBadArgumentsTest, IsAUsageError)
{
    auto result = RunProgram(WithProgram(MOVATRACE_PATH, GetParam()));
    EXPECT_EQ(2, result.nExitCode) << result.strOutput;
    EXPECT_THAT(result.strOutput, StartsWith("movatrace: "));
    EXPECT_THAT(result.strOutput, HasSubstr("Try 'movatrace --help'"));
}

INSTANTIATE_TEST_SUITE_P(Window, MovatraceBadArgumentsTest,
                         testing::Values(Args{"--bogus"}, Args{"TraceWindow"}, Args{"--class"},
                                         Args{"--class", ""}, Args{"--class", "A", "--class=A"},
                                         Args{"--log"}, Args{"--log="}, Args{"--grep", "(unclosed"},
                                         Args{"--grep", "a", "--grep", "b"}, Args{"--pid"},
                                         Args{"--pid", "0"}, Args{"--pid", "12x"},
                                         Args{"--source=maybe"}));

INSTANTIATE_TEST_SUITE_P(Commands, MovatraceBadArgumentsTest,
                         testing::Values(Args{"level"}, Args{"level", ""},
                                         Args{"level", "S", "1", "2"}, Args{"level", "S", "32768"},
                                         Args{"level", "S", "-32769"}, Args{"level", "S", "1x"},
                                         Args{"level", "S", ""}, Args{"level", "S", "0x10"},
                                         Args{"sessions", "extra"},
                                         Args{"--class", "X", "level", "S"},
                                         Args{"sessions", "--source"}));

TEST(MovatraceUsageTest, HelpAnywhereExitsZeroWithUsage_EachCommandWithItsOwn)
{
    for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"--class", "X", "--help"}})
    {
        auto result = RunProgram(WithProgram(MOVATRACE_PATH, args));
        EXPECT_EQ(0, result.nExitCode) << args.back();
        EXPECT_THAT(result.strOutput, HasSubstr("Usage: movatrace [OPTIONS] [SUBCOMMAND]\n"));
        EXPECT_THAT(result.strOutput, HasSubstr("--source"));
    }
    auto level = RunProgram({MOVATRACE_PATH, "level", "--help"});
    EXPECT_EQ(0, level.nExitCode);
    EXPECT_THAT(level.strOutput, HasSubstr("Usage: movatrace level [OPTIONS] NAME [LEVEL]\n"));
    auto sessions = RunProgram({MOVATRACE_PATH, "sessions", "-h"});
    EXPECT_EQ(0, sessions.nExitCode);
    EXPECT_THAT(sessions.strOutput, HasSubstr("Usage: movatrace sessions [OPTIONS]\n"));
}

// The edges of the level range are levels, not usage errors; the session is what is missing.
TEST(MovatraceUsageTest, LevelRangeEdgesAreAccepted)
{
    std::string name = testsupport::UniqueName("NoSuchSession");
    for (const char* pszLevel : {"-32768", "32767"})
    {
        auto result = RunProgram({MOVATRACE_PATH, "level", name, pszLevel});
        EXPECT_EQ(1, result.nExitCode) << pszLevel << ": " << result.strOutput;
    }
}

class TracedemoBadArgumentsTest : public testing::TestWithParam<Args>
{
};

TEST_P(TracedemoBadArgumentsTest, IsAUsageError)
{
    auto result = RunProgram(WithProgram(TRACEDEMO_PATH, GetParam()));
    EXPECT_EQ(2, result.nExitCode) << result.strOutput;
    EXPECT_THAT(result.strOutput, HasSubstr("Try 'tracedemo --help'"));
}

INSTANTIATE_TEST_SUITE_P(All, TracedemoBadArgumentsTest,
                         testing::Values(Args{"--bogus", "1"}, Args{"--name"}, Args{"--name", ""},
                                         Args{"--class", ""}, Args{"--level", "40000"},
                                         Args{"--level", "x"}, Args{"--lines", "-1"},
                                         Args{"--lines", "3x"}, Args{"--interval-ms", "-5"},
                                         Args{"--stamp", "sometimes"}));

TEST(TracedemoUsageTest, HelpExitsZeroWithUsage)
{
    auto result = RunProgram({TRACEDEMO_PATH, "--lines", "2", "--help"});
    EXPECT_EQ(0, result.nExitCode);
    EXPECT_THAT(result.strOutput, HasSubstr("Usage: tracedemo [OPTIONS]\n"));
}

} // namespace
