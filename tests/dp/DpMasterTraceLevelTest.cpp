// korix-dpmaster's trace session in one process: the level it starts with, from the command
// line through the served board's wiring, read back as movatrace reads it.
#include "tools/dpmaster/EventWriter.h"
#include "tools/dpmaster/Options.h"
#include "tools/dpmaster/ServedBoard.h"

#include "dp/master/BusTrace.h"

#include "trace/TraceApi.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace dptest
{
namespace
{

struct STracerDelete
{
    void operator()(CTracer* pTracer) const { DeleteTracer(pTracer); }
};
using TracerPtr = std::unique_ptr<CTracer, STracerDelete>;

// A board number of this process's own, so that a session of another test run is not taken.
std::string OwnBoard()
{
    return std::to_string(100 + ::getpid() % 150);
}

std::optional<int> Parse(std::vector<std::string> astrArgs, dpmaster::SOptions& options)
{
    astrArgs.insert(astrArgs.begin(), "korix-dpmaster");
    std::vector<const char*> apszArgs;
    for (const std::string& strArg : astrArgs)
        apszArgs.push_back(strArg.c_str());
    return dpmaster::ParseOptions(static_cast<int>(apszArgs.size()), apszArgs.data(), options);
}

class DpMasterTraceLevelTest : public testing::Test
{
protected:
    // The session of a served board wired from the command line, looked at from outside.
    TracerPtr ServeAndAttach(const std::vector<std::string>& astrExtra)
    {
        std::vector<std::string> astrArgs = {"--port",   "/dev/null", "--bus",
                                             "bus.json", "--board",   OwnBoard()};
        astrArgs.insert(astrArgs.end(), astrExtra.begin(), astrExtra.end());
        EXPECT_EQ(Parse(astrArgs, m_options), std::nullopt);
        m_pBoard =
            std::make_unique<dpmaster::CServedBoard>(m_options, m_config, m_output, m_errors);
        return TracerPtr(AttachTracer(("DPMaster" + OwnBoard()).c_str()));
    }

    int m_fdNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    dpmaster::CEventWriter m_output{m_fdNull, "test: ", "standard output"};
    dpmaster::CEventWriter m_errors{m_fdNull, "test: ", "standard error"};
    dpmaster::SOptions m_options;
    dp::SMasterConfig m_config;
    std::unique_ptr<dpmaster::CServedBoard> m_pBoard;

    void TearDown() override
    {
        m_pBoard.reset();
        ::close(m_fdNull);
    }
};

TEST_F(DpMasterTraceLevelTest, TheSessionStartsAtTheLevelTheCommandLineGives)
{
    TracerPtr pSession = ServeAndAttach({"--trace-level", "200"});
    ASSERT_TRUE(pSession);
    EXPECT_EQ(TraceLevelEnabled(pSession.get(), dp::kTraceTelegrams), 1);
    EXPECT_EQ(TraceLevelEnabled(pSession.get(), dp::kTraceTelegrams + 1), 0);
}

TEST_F(DpMasterTraceLevelTest, WithoutTheOptionNothingOfTheBusPasses)
{
    TracerPtr pSession = ServeAndAttach({});
    ASSERT_TRUE(pSession);
    EXPECT_EQ(TraceLevelEnabled(pSession.get(), 0), 1);
    EXPECT_EQ(TraceLevelEnabled(pSession.get(), dp::kTraceStates), 0);
}

TEST(DpMasterOptionsTest, ATraceLevelThatIsNoLevelIsAUsageError)
{
    for (const char* pszLevel : {"x", "32768", "0x10", ""})
    {
        dpmaster::SOptions options;
        EXPECT_EQ(Parse({"--port", "p", "--bus", "b", "--trace-level", pszLevel}, options),
                  std::optional<int>(2))
            << pszLevel;
    }
    dpmaster::SOptions options;
    EXPECT_EQ(
        Parse({"--port", "p", "--bus", "b", "--trace-level", "-5", "--rs485", "off"}, options),
        std::nullopt);
    EXPECT_EQ(options.nTraceLevel, -5);
    EXPECT_EQ(options.eRs485, dp::teRs485::Off);
}

} // namespace
} // namespace dptest
