// Two masters for one serial port, as real processes: the second one, for another board, is
// refused before it touches the line, and its message names the first. The first one's lock
// file names it as the system's convention has it, and is gone after a clean stop.
#include "tests/dp/DpBusFixture.h"
#include "tests/sim/SimTestSupport.h"

#include "dp/line/SerialPortLock.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace dptest
{
namespace
{

using testing::HasSubstr;

std::string ReadFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class PortHeldAloneTest : public simtest::CBoardTest
{
};

TEST_F(PortHeldAloneTest, ASecondMasterOnTheSamePortIsRefusedAndTheHolderNamed)
{
    testsupport::CChildProcess slaves(std::vector<std::string>{
        DPSLAVE, "--pty", "--slaves", WriteTempFile("held-slaves.json", kThreeSlaves)});
    std::string strLine;
    ASSERT_TRUE(slaves.ReadLine(strLine));
    const std::string strPort = strLine.substr(strLine.rfind(" on ") + 4);
    const std::string strBus = WriteTempFile("held-bus.json", kThreeSlavesBus);
    const std::string strLockPath =
        dp::CSerialPortLock::DefaultLockDir() + "/" + dp::CSerialPortLock::LockFileName(strPort);

    testsupport::CChildProcess first(std::vector<std::string>{
        DPMASTER, "--board", std::to_string(m_byBoard), "--port", strPort, "--bus", strBus});
    ASSERT_TRUE(first.ReadLine(strLine));
    ASSERT_THAT(strLine, testing::StartsWith("korix-dpmaster: serving board"));
    char szExpected[16];
    std::snprintf(szExpected, sizeof szExpected, "%10d\n", first.GetPid());
    EXPECT_EQ(ReadFile(strLockPath), szExpected);

    // Another board, so that only the port stands in the way.
    const int nOtherBoard = m_byBoard == 255 ? 254 : m_byBoard + 1;
    testsupport::SRunResult second = testsupport::RunToEnd(
        {DPMASTER, "--board", std::to_string(nOtherBoard), "--port", strPort, "--bus", strBus});
    EXPECT_EQ(second.nExitCode, 1);
    EXPECT_THAT(second.strOutput,
                HasSubstr(strPort + " is in use by process " + std::to_string(first.GetPid()) +
                          " (korix-dpmaster) (lock file " + strLockPath + ")"));

    first.Kill(SIGTERM);
    EXPECT_EQ(first.Wait(), 0);
    struct stat status
    {
    };
    EXPECT_NE(::stat(strLockPath.c_str(), &status), 0) << strLockPath << " left behind";
    slaves.Kill(SIGTERM);
    slaves.Wait();
}

} // namespace
} // namespace dptest
