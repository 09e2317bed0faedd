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
