// movatrace as a trace window: what it shows, logs and filters, and how it starts and stops.
#include "platform/TraceWindowHost.h"
#include "tests/tools/ToolTestSupport.h"

#include <csignal>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

using testing::HasSubstr;
using testing::Not;
using tooltest::SendLine;
using tooltest::StartMovatrace;

namespace
{

std::string TempPath(const char* pszPrefix)
{
    return testing::TempDir() + testsupport::UniqueName(pszPrefix) + ".log";
}

std::string ReadFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& strPath, const std::string& strText)
{
    std::ofstream(strPath, std::ios::binary) << strText;
}

std::string NextLine(testsupport::CChildProcess& child)
{
    std::string line;
    return child.ReadLine(line) ? line : "<nothing>";
}

class MovatraceWindowTest : public testing::Test
{
protected:
    void TearDown() override { std::remove(m_log.c_str()); }

    std::string m_class = testsupport::UniqueName("MtWin");
    std::string m_log = TempPath("movatrace");
};

TEST_F(MovatraceWindowTest, OneClass_LinesShowAsReceived)
{
    auto pWindow = StartMovatrace({"--class", m_class});
    ASSERT_TRUE(pWindow);
    ASSERT_TRUE(SendLine(m_class, "A 09:05:03,007 ERROR   failure 7\n"));
    ASSERT_TRUE(SendLine(m_class, "without a line end"));
    ASSERT_TRUE(SendLine(m_class, "  0000: 01 6f 6b\n"));

    // Not a terminal: no colour, no class in front.
    EXPECT_EQ("A 09:05:03,007 ERROR   failure 7", NextLine(*pWindow));
    EXPECT_EQ("without a line end", NextLine(*pWindow));
    EXPECT_EQ("  0000: 01 6f 6b", NextLine(*pWindow));
}

TEST_F(MovatraceWindowTest, SeveralClasses_EachLineShowsItsClass)
{
    std::string second = m_class + "Proto";
    auto pWindow = StartMovatrace({"--class", m_class, "--class", second});
    ASSERT_TRUE(pWindow);
    ASSERT_TRUE(SendLine(second, "from the second\n"));
    ASSERT_TRUE(SendLine(m_class, "from the first\n"));

    EXPECT_EQ("[" + second + "] from the second", NextLine(*pWindow));
    EXPECT_EQ("[" + m_class + "] from the first", NextLine(*pWindow));
}

TEST_F(MovatraceWindowTest, LogGetsTheLinesAsReceived_AppendedAndWrittenBeforeTheAnswer)
{
    WriteFile(m_log, "from an earlier run\n");
    std::string second = m_class + "Two";
    auto pWindow = StartMovatrace({"--log", m_log, "--class", m_class, "--class", second});
    ASSERT_TRUE(pWindow);

    ASSERT_TRUE(SendLine(m_class, "one\n"));
    // The answer came after the line was written: it is in the file already.
    EXPECT_EQ("from an earlier run\none\n", ReadFile(m_log));
    ASSERT_TRUE(SendLine(second, "two, no line end"));
    ASSERT_TRUE(SendLine(m_class, "three\n"));
    EXPECT_EQ("from an earlier run\none\ntwo, no line endthree\n", ReadFile(m_log));
}

TEST_F(MovatraceWindowTest, GrepFiltersScreenAndLogAlike)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the Windows build has no RE2 and therefore no --grep";
#endif
    auto pWindow = StartMovatrace({"--class", m_class, "--log", m_log, "--grep", "^keep \\d$"});
    ASSERT_TRUE(pWindow);
    for (const char* pszLine : {"keep 1\n", "keep 22\n", "do not keep 3\n", "keep 4\n"})
        ASSERT_TRUE(SendLine(m_class, pszLine));

    EXPECT_EQ("keep 1", NextLine(*pWindow));
    EXPECT_EQ("keep 4", NextLine(*pWindow));
    EXPECT_EQ("keep 1\nkeep 4\n", ReadFile(m_log));
}

#if defined(_WIN32)
TEST_F(MovatraceWindowTest, SourceAndPidAreRefused_AWindowMessageDoesNotSayWhoSentIt)
{
    for (const char* pszOption : {"--source", "--pid=1"})
    {
        auto result = tooltest::RunProgram({MOVATRACE_PATH, "--class", m_class, pszOption});
        EXPECT_EQ(2, result.nExitCode) << pszOption;
        EXPECT_THAT(result.strOutput, HasSubstr(": not available here"));
    }
}
#else
// The sender in front, as this test process and its tracedemo children show it.
std::string Sender(int nPid, const char* pszProgram)
{
    return "[" + std::to_string(nPid) + " " + pszProgram + "] ";
}

const char* const kTestProgram = "tools_tests";

class MovatraceSourceTest : public MovatraceWindowTest
{
protected:
    // Runs one tracedemo round into m_class to its end; its process id. Every line of it has
    // been handled by the window when it ends: the tracer waits for each line's answer.
    int RunDemo(const std::string& strName)
    {
        auto pDemo = tooltest::StartMerged({TRACEDEMO_PATH, "--name", strName, "--class", m_class,
                                            "--stamp", "none", "--lines", "1"});
        const int nPid = pDemo->GetPid();
        EXPECT_EQ(0, pDemo->Wait());
        return nPid;
    }

    // The demo's lines at level 0: its session's start and date lines, one round, the end.
    static constexpr int kDemoLines = 6;
};

TEST_F(MovatraceSourceTest, SourceShowsEachSendersPidAndProgram_OnScreenAndInTheLog)
{
    auto pWindow = StartMovatrace({"--class", m_class, "--source", "--log", m_log});
    ASSERT_TRUE(pWindow);
    const int nFirst = RunDemo(testsupport::UniqueName("SrcA"));
    ASSERT_TRUE(SendLine(m_class, "from the test\n"));
    const int nSecond = RunDemo(testsupport::UniqueName("SrcB"));
    ASSERT_NE(nFirst, nSecond);

    const std::string first = Sender(nFirst, "tracedemo");
    const std::string second = Sender(nSecond, "tracedemo");
    const std::string test = Sender(testsupport::CurrentProcessId(), kTestProgram);
    std::vector<std::string> expected;
    for (int i = 0; i < kDemoLines; ++i)
        expected.push_back(first);
    expected.push_back(test + "from the test");
    for (int i = 0; i < kDemoLines; ++i)
        expected.push_back(second);
    std::vector<std::string> shown;
    for (const std::string& strExpected : expected)
    {
        shown.push_back(NextLine(*pWindow));
        // The demo's lines themselves are tracedemo's business; their sender is ours.
        EXPECT_EQ(strExpected, shown.back().substr(0, strExpected.size()));
    }
    // The log has the same sender in front of each line as received.
    std::string strLog;
    for (const std::string& line : shown)
        strLog += line + "\n";
    EXPECT_EQ(strLog, ReadFile(m_log));
}

TEST_F(MovatraceSourceTest, PidKeepsOnlyThatProcesssLines)
{
    const int nTest = testsupport::CurrentProcessId();
    auto pWindow = StartMovatrace({"--class", m_class, "--source", "--pid", std::to_string(nTest)});
    ASSERT_TRUE(pWindow);
    RunDemo(testsupport::UniqueName("PidDemo"));
    ASSERT_TRUE(SendLine(m_class, "only mine\n"));
    // Had the demo's lines passed, they would come first: the window shows lines in order.
    EXPECT_EQ(Sender(nTest, kTestProgram) + "only mine", NextLine(*pWindow));
}

TEST_F(MovatraceSourceTest, GrepSeesTheLineAsPrinted_SenderAndClassIncluded)
{
    std::string second = m_class + "Two";
    auto pWindow =
        StartMovatrace({"--class", m_class, "--class", second, "--source", "--grep",
                        "^\\[\\d+ " + std::string(kTestProgram) + "\\] \\[" + second + "\\] keep"});
    ASSERT_TRUE(pWindow);
    ASSERT_TRUE(SendLine(m_class, "keep, but to the first class\n"));
    ASSERT_TRUE(SendLine(second, "keep this\n"));
    ASSERT_TRUE(SendLine(second, "not this\n"));
    ASSERT_TRUE(SendLine(second, "keep that\n"));

    const std::string prefix =
        Sender(testsupport::CurrentProcessId(), kTestProgram) + "[" + second + "] ";
    EXPECT_EQ(prefix + "keep this", NextLine(*pWindow));
    EXPECT_EQ(prefix + "keep that", NextLine(*pWindow));
}
#endif

TEST_F(MovatraceWindowTest, ClassServedByAnotherWindowIsAFailure)
{
    auto pFirst = StartMovatrace({"--class", m_class});
    ASSERT_TRUE(pFirst);
    std::string free = m_class + "Free";
    auto result = tooltest::RunProgram({MOVATRACE_PATH, "--class", free, "--class", m_class});
    EXPECT_EQ(1, result.nExitCode);
    EXPECT_THAT(result.strOutput,
                HasSubstr("class '" + m_class + "' is already served by another trace window"));

    // The first window goes on serving.
    ASSERT_TRUE(SendLine(m_class, "still here\n"));
    EXPECT_EQ("still here", NextLine(*pFirst));
}

TEST_F(MovatraceWindowTest, UnwritableLogIsAFailure)
{
    auto result = tooltest::RunProgram(
        {MOVATRACE_PATH, "--class", m_class, "--log", testing::TempDir() + "no/such/dir/x.log"});
    EXPECT_EQ(1, result.nExitCode);
    EXPECT_THAT(result.strOutput, HasSubstr("cannot open log file"));
}

#if defined(_WIN32)
// POSIX stops a program with a signal that it catches; Windows sends a console control event to
// a process group instead, which a test cannot aim at one child, and TerminateProcess cannot be
// caught at all.
constexpr char kNoStopSignal[] = "Windows has no stop signal that a test can send to one child";
#endif

class MovatraceStopTest : public testing::TestWithParam<int>
{
};

TEST_P(MovatraceStopTest, StopsCleanlyAndGivesTheClassBack)
{
#if defined(_WIN32)
    GTEST_SKIP() << kNoStopSignal;
#else
    std::string strClass = testsupport::UniqueName("MtStop");
    auto pWindow = StartMovatrace({"--class", strClass});
    ASSERT_TRUE(pWindow);
    pWindow->Kill(GetParam());
    EXPECT_EQ(0, pWindow->Wait());
    EXPECT_EQ(platform::teServeResult::Serving,
              platform::CTraceWindowHost().AddClass(strClass.c_str()));
#endif
}

INSTANTIATE_TEST_SUITE_P(Signals, MovatraceStopTest, testing::Values(SIGINT, SIGTERM));

class MovatraceTerminalTest : public testing::Test
{
protected:
#if defined(_WIN32)
    void SetUp() override
    {
        GTEST_SKIP() << "runs movatrace on a POSIX pseudo terminal";
    }
#endif

    // Starts movatrace on a terminal and shows it one error, one warning and one info line.
    std::string ShowOnTerminal(std::vector<std::string> args)
    {
#if defined(_WIN32)
        (void)args;
        return "";
#else
        args.insert(args.begin(), {MOVATRACE_PATH, "--class", m_class});
        tooltest::CTerminalChild window(args);
        EXPECT_THAT(window.ReadUntil("movatrace: serving"), HasSubstr("movatrace: serving"));
        EXPECT_TRUE(SendLine(m_class, "A 09:05:03,007 ERROR   broken\n"));
        EXPECT_TRUE(SendLine(m_class, "A 09:05:03,007 WARNING odd\n"));
        EXPECT_TRUE(SendLine(m_class, "A 09:05:03,007 INFO    plain\n"));
        return window.ReadUntil("plain");
#endif
    }

    std::string m_class = testsupport::UniqueName("MtTty");
};

TEST_F(MovatraceTerminalTest, ErrorsRedAndWarningsYellow)
{
    std::string shown = ShowOnTerminal({});
    EXPECT_THAT(shown, HasSubstr("\x1b[31mA 09:05:03,007 ERROR   broken\x1b[0m\r\n"));
    EXPECT_THAT(shown, HasSubstr("\x1b[33mA 09:05:03,007 WARNING odd\x1b[0m\r\n"));
    EXPECT_THAT(shown, HasSubstr("\nA 09:05:03,007 INFO    plain"));
}

TEST_F(MovatraceTerminalTest, NoColorMeansNoColour)
{
    std::string shown = ShowOnTerminal({"--no-color"});
    EXPECT_THAT(shown, HasSubstr("\nA 09:05:03,007 ERROR   broken\r\n"));
    EXPECT_THAT(shown, Not(HasSubstr("\x1b[")));
}

} // namespace
