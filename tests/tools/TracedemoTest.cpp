// tracedemo writing through the real tracer to a real movatrace window.
#include "tests/tools/ToolTestSupport.h"

#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <regex>

using testing::HasSubstr;
using testing::IsEmpty;

namespace
{

class TracedemoTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_pWindow = tooltest::StartMovatrace({"--class", m_class});
        ASSERT_TRUE(m_pWindow);
    }

    // Runs tracedemo to its end; what it printed itself.
    std::string RunDemo(std::vector<std::string> args)
    {
        args.insert(args.begin(), {TRACEDEMO_PATH, "--name", m_name, "--class", m_class, "--stamp",
                                   "none", "--interval-ms", "0"});
        auto result = tooltest::RunProgram(args);
        EXPECT_EQ(0, result.nExitCode);
        return result.strOutput;
    }

    // The window's lines up to the session's closing line, without the date and time line
    // whose content changes from run to run.
    std::vector<std::string> SessionLines()
    {
        static const std::regex dateTime(R"(^ INFO    \*{5} \d\d/\d\d/\d{4}: [\d:,]+$)");
        std::vector<std::string> lines;
        std::string line;
        while (m_pWindow->ReadLine(line))
        {
            if (!std::regex_match(line, dateTime))
                lines.push_back(line);
            if (line.find("Closing Trace Session") != std::string::npos)
                break;
        }
        return lines;
    }

    std::string Info(const std::string& text) { return " INFO    " + text; }
    std::string Start()
    {
        return Info("***** Starting Trace Session (Shared Trace '" + m_name + "')");
    }
    std::string Close()
    {
        return Info("***** Closing Trace Session (Shared Trace '" + m_name + "')");
    }

    std::string m_class = testsupport::UniqueName("DemoWin");
    std::string m_name = testsupport::UniqueName("Demo");
    std::unique_ptr<testsupport::CChildProcess> m_pWindow;
};

TEST_F(TracedemoTest, AtLevelZero_ErrorsWarningsAndLevelZeroLinesShow)
{
    EXPECT_THAT(RunDemo({"--lines", "2"}), IsEmpty());
    EXPECT_EQ(SessionLines(),
              (std::vector<std::string>{Start(), " ERROR   TraceDemo 1: an error line (level -2)",
                                        " WARNING TraceDemo 1: a warning line (level -1)",
                                        Info("TraceDemo 1: an info line (level 0)"),
                                        " ERROR   TraceDemo 2: an error line (level -2)",
                                        " WARNING TraceDemo 2: a warning line (level -1)",
                                        Info("TraceDemo 2: an info line (level 0)"), Close()}));
}

TEST_F(TracedemoTest, AtLevel200_EveryLevelAndTheHexDumpShow)
{
    EXPECT_THAT(RunDemo({"--lines", "1", "--level", "200"}), IsEmpty());
    EXPECT_EQ(SessionLines(),
              (std::vector<std::string>{
                  Start(), " ERROR   TraceDemo 1: an error line (level -2)",
                  " WARNING TraceDemo 1: a warning line (level -1)",
                  Info("TraceDemo 1: an info line (level 0)"),
                  Info("TraceDemo 1: an info line (level 1)"),
                  Info("TraceDemo 1: an info line (level 10)"),
                  Info("TraceDemo 1: an info line (level 100)"),
                  "  0000: 4d 6f 76 61 4a 6f 62 00 1f 7f 80 ff 0d 0e 0f 10     MovaJob.........",
                  "  0010: 11 12 13 14 " + std::string(40, ' ') + "....", Close()}));
}

TEST_F(TracedemoTest, BelowErrorLevel_NothingShowsAtAll)
{
    EXPECT_THAT(RunDemo({"--lines", "3", "--level", "-3"}), IsEmpty());
    // Not even the session lines pass; a marker shows the window got nothing else meanwhile.
    ASSERT_TRUE(tooltest::SendLine(m_class, "marker\n"));
    std::string line;
    ASSERT_TRUE(m_pWindow->ReadLine(line));
    EXPECT_EQ("marker", line);
}

TEST_F(TracedemoTest, InterruptedItClosesItsSession_ASecondOneUnderTheNameIsRefused)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no stop signal that a test can send to one child";
#else
    auto pDemo = tooltest::StartTracedemo(*m_pWindow, m_name, m_class,
                                          {"--stamp", "none", "--interval-ms", "50"});
    ASSERT_TRUE(pDemo);
    auto second = tooltest::RunProgram({TRACEDEMO_PATH, "--name", m_name, "--lines", "1"});
    EXPECT_EQ(1, second.nExitCode);
    EXPECT_THAT(second.strOutput, HasSubstr("cannot open trace session '" + m_name + "'"));

    pDemo->Kill(SIGINT);
    EXPECT_EQ(0, pDemo->Wait());
    EXPECT_TRUE(tooltest::SkipPast(*m_pWindow, Close()));
#endif
}

} // namespace
