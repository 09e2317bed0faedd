// movatrace level and movatrace sessions against the live session of another process.
#include "tests/tools/ToolTestSupport.h"

#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

using testing::HasSubstr;
using testing::Not;
using tooltest::RunProgram;

namespace
{

#if !defined(_WIN32)
// What movatrace sessions lists for strName after the name ("LEVEL  PID PROGRAM, ..."), or ""
// when it lists no such session.
std::string ListedSession(const std::string& strName)
{
    auto result = RunProgram({MOVATRACE_PATH, "sessions"});
    EXPECT_EQ(0, result.nExitCode);
    std::istringstream lines(result.strOutput);
    std::string line;
    while (std::getline(lines, line))
    {
        std::istringstream fields(line);
        std::string name;
        std::string rest;
        fields >> name >> std::ws;
        std::getline(fields, rest);
        if (name == strName)
            return rest;
    }
    return "";
}

// The level that movatrace sessions lists for strName, or "" when it lists no such session.
std::string ListedLevel(const std::string& strName)
{
    std::istringstream fields(ListedSession(strName));
    std::string level;
    fields >> level;
    return level;
}
#endif

class MovatraceLevelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_pWindow = tooltest::StartMovatrace({"--class", m_class});
        ASSERT_TRUE(m_pWindow);
        m_pDemo = tooltest::StartTracedemo(*m_pWindow, m_name, m_class,
                                           {"--level", "0", "--interval-ms", "50"});
        ASSERT_TRUE(m_pDemo);
    }

    std::string m_class = testsupport::UniqueName("LvWin");
    std::string m_name = testsupport::UniqueName("LvDemo");
    std::unique_ptr<testsupport::CChildProcess> m_pWindow;
    std::unique_ptr<testsupport::CChildProcess> m_pDemo;
};

TEST_F(MovatraceLevelTest, ReadsAndSetsTheLevelWhileTheSessionRuns)
{
    auto read = RunProgram({MOVATRACE_PATH, "level", m_name});
    EXPECT_EQ(0, read.nExitCode);
    EXPECT_EQ("0\n", read.strOutput);

    auto set = RunProgram({MOVATRACE_PATH, "level", m_name, "100"});
    EXPECT_EQ(0, set.nExitCode);
    EXPECT_EQ(m_name + ": trace level set from 0 to 100\n", set.strOutput);
    EXPECT_EQ("100\n", RunProgram({MOVATRACE_PATH, "level", m_name}).strOutput);
    // The running demo follows: its entry-level lines now reach the window.
    EXPECT_TRUE(tooltest::SkipPast(*m_pWindow, "an info line (level 100)"));

    EXPECT_EQ(0, RunProgram({MOVATRACE_PATH, "level", m_name, "-32768"}).nExitCode);
    EXPECT_EQ("-32768\n", RunProgram({MOVATRACE_PATH, "level", m_name}).strOutput);
}

TEST_F(MovatraceLevelTest, SessionsListsTheLiveSessionWithItsLevel_UntilItEnds)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows cannot list the named objects of a session (ListLevelBlocks "
                    "visits nothing), and it has no stop signal that a test can send to one child";
#else
    ASSERT_EQ(0, RunProgram({MOVATRACE_PATH, "level", m_name, "-7"}).nExitCode);
    EXPECT_EQ("-7", ListedLevel(m_name));

    m_pDemo->Kill(SIGTERM);
    ASSERT_EQ(0, m_pDemo->Wait());
    EXPECT_EQ("", ListedLevel(m_name));
    auto gone = RunProgram({MOVATRACE_PATH, "level", m_name});
    EXPECT_EQ(1, gone.nExitCode);
    EXPECT_EQ("movatrace: no live trace session named '" + m_name + "'\n", gone.strOutput);
#endif
}

// The demo holds its session; a movatrace level that sets it meanwhile holds it only while it
// runs, and the listing itself is not counted.
TEST_F(MovatraceLevelTest, SessionsNamesTheProcessThatHoldsEachSession)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows cannot list sessions by name, nor tell who holds a named mapping";
#else
    ASSERT_EQ(0, RunProgram({MOVATRACE_PATH, "level", m_name, "3"}).nExitCode);
    EXPECT_EQ("3  " + std::to_string(m_pDemo->GetPid()) + " tracedemo", ListedSession(m_name));
#endif
}

TEST(MovatraceLevelUnknownTest, UnknownSessionIsAFailureForReadingAndSetting)
{
    std::string name = testsupport::UniqueName("Nobody");
    for (auto args : {std::vector<std::string>{MOVATRACE_PATH, "level", name},
                      std::vector<std::string>{MOVATRACE_PATH, "level", name, "5"}})
    {
        auto result = RunProgram(args);
        EXPECT_EQ(1, result.nExitCode);
        EXPECT_EQ("movatrace: no live trace session named '" + name + "'\n", result.strOutput);
    }
}

} // namespace
