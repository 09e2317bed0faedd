// movactl status where no DP master serves the board. The of a running master is tested beside
// korix-dpmaster (tests/dp/DpBoardTest.cpp).
#include "tests/movactl/MovactlRun.h"

using testing::HasSubstr;

namespace movactltest
{
namespace
{

TEST_F(MovactlTest, StatusWithoutAMasterSaysSoAndFails)
{
    const SRun run = RunMovactl({"status", "--board", "9"});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_THAT(run.strOutput, HasSubstr("movactl: no DP master has served board 9 (no status "
                                         "block "));
}

TEST_F(MovactlTest, StatusTakesNoSlaveList)
{
    EXPECT_EQ(RunMovactl({"status", "--help"}).nExitCode, 0);
    const SRun run = RunMovactl({"status", "--slaves", "3"});
    EXPECT_EQ(run.nExitCode, 2);
    EXPECT_THAT(run.strOutput, HasSubstr("not expected"));
}

} // namespace
} // namespace movactltest
