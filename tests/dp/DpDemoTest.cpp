// The demo over a real DP bus, as scripts/demo.sh --dp runs it: korix-dpslave with the demo's
// slaves on a pseudo-terminal, korix-dpmaster with the demo's bus file serving a board of the
// test's own (KORIXSIM_PREFIX), and movactl demo as the host.
#include "tests/sim/SimTestSupport.h"

#include "tests/support/ChildProcess.h"

#include <gmock/gmock.h>

#include <chrono>
#include <thread>

namespace dptest
{
namespace
{

using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

class DpDemoTest : public simtest::CBoardTest
{
protected:
    void SetUp() override
    {
        m_pSlaves = std::make_unique<testsupport::CChildProcess>(
            std::vector<std::string>{DPSLAVE, "--pty", "--slaves", DP_DEMO_DIR "/slaves.json"});
        std::string strLine;
        ASSERT_TRUE(ReadLineStarting(*m_pSlaves, "korix-dpslave: ", strLine));
        const std::string strPeer = strLine.substr(strLine.rfind(" on ") + 4);
        m_pMaster = std::make_unique<testsupport::CChildProcess>(
            std::vector<std::string>{DPMASTER, "--board", std::to_string(m_byBoard), "--port",
                                     strPeer, "--bus", DP_DEMO_DIR "/bus.json"});
        ASSERT_TRUE(ReadLineStarting(*m_pMaster, "korix-dpmaster: serving board", strLine))
            << "the master did not start: " << strLine;
    }

    // Reads the child's lines up to the first that starts with strStart; false when the child
    // ended or said nothing for a while first.
    static bool ReadLineStarting(testsupport::CChildProcess& child, const std::string& strStart,
                                 std::string& strLine)
    {
        for (int nLine = 0; nLine < 20; ++nLine)
        {
            if (!child.ReadLine(strLine))
                return false;
            if (strLine.rfind(strStart, 0) == 0)
                return true;
        }
        return false;
    }

    void TearDown() override
    {
        for (auto* pChild : {m_pMaster.get(), m_pSlaves.get()})
        {
            if (pChild != nullptr)
            {
                pChild->Kill(SIGTERM);
                pChild->Wait();
            }
        }
    }

    // movactl status answers 0 once the master's status block is live and every slave of
    // the demo bus exchanges data; false after a generous deadline.
    bool BusReady()
    {
        const std::vector<std::string> astrStatus = {MOVACTL, "status", "--board",
                                                     std::to_string(m_byBoard)};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end)
        {
            testsupport::SRunResult status = testsupport::RunToEnd(astrStatus);
            if (status.nExitCode == 0 &&
                status.strOutput.find("slave 3: data exchange") != std::string::npos &&
                status.strOutput.find("slave 4: data exchange") != std::string::npos &&
                status.strOutput.find("slave 5: data exchange") != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::unique_ptr<testsupport::CChildProcess> m_pSlaves;
    std::unique_ptr<testsupport::CChildProcess> m_pMaster;
};

// Its last line names the master that served the board, never the simulated plant.
TEST_F(DpDemoTest, TheLastLineSaysThatTheDpMasterServedTheBoard)
{
    ASSERT_TRUE(BusReady());
    testsupport::SRunResult demo = testsupport::RunToEnd(
        {MOVACTL, "demo", "--board", std::to_string(m_byBoard), "--seconds", "1"});
    EXPECT_EQ(demo.nExitCode, 0) << demo.strOutput;
    EXPECT_THAT(demo.strOutput, HasSubstr("\nEvery step went as the DP bus's slaves promise "
                                          "(served by korix-dpmaster).\n"));
    EXPECT_THAT(demo.strOutput, Not(HasSubstr("plant promises")));
}

} // namespace
} // namespace dptest
