// movactl when something on the machine stands in the library's way: a library path that is no
// library, the board's trace session taken by another process or squatted by another user, an
// unusable board prefix, and a board semaphore that cannot be had. Each is said in words a
// person can act on.
#include "tests/movactl/MovactlRun.h"

#include "tests/support/TraceCapture.h"

#include <filesystem>

#if !defined(_WIN32)
#include "tests/platform/posix/LevelBlockPath.h"
#include "tests/support/BoardLeftovers.h"
#include "tests/support/posix/ScopedEnvironment.h"
#include "tests/support/posix/TestUsers.h"

#include <sys/stat.h>
#include <unistd.h>
#endif

using testing::HasSubstr;
using testing::Not;

namespace movactltest
{
namespace
{

// The protocol object of board 1 traces under this name, and cannot open without it.
constexpr char kProtoSession[] = "MovaProto1";

TEST_F(MovactlTest, ASessionHeldByAnotherProcessIsNamed)
{
    tracetest::TracerPtr pHolder = tracetest::MakeTracer(kProtoSession);
    ASSERT_TRUE(pHolder);
    SRun run = RunMovactl({"test"});
    EXPECT_EQ(1, run.nExitCode);
    EXPECT_THAT(run.strOutput,
                HasSubstr("cannot open board 1: OpenJob answered -1: its trace session "
                          "'MovaProto1' is held by another process"));
}

#if !defined(_WIN32)

TEST_F(MovactlTest, ALibraryThatIsNotAPlainFileIsRefused)
{
    std::string fifo = testing::TempDir() + testsupport::UniqueName("movactlFifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    SRun run = RunMovactl({"test", "--lib", fifo});
    EXPECT_EQ(1, run.nExitCode);
    EXPECT_THAT(run.strOutput, HasSubstr("cannot load " + fifo + ": not a plain file"));
    unlink(fifo.c_str());
}

TEST_F(MovactlTest, AnUnusableBoardPrefixIsNamed)
{
    testsupport::CScopedEnvironment prefix("KORIXSIM_PREFIX", "no spaces");
    SRun run = RunMovactl({"test"});
    EXPECT_EQ(1, run.nExitCode);
    EXPECT_THAT(run.strOutput, HasSubstr("OpenJob answered -16: KORIXSIM_PREFIX='no spaces' "
                                         "cannot name a simulated board"));
}

class MovactlOtherUserTest : public MovactlTest
{
protected:
    void SetUp() override
    {
        MovactlTest::SetUp();
        std::string strWhyNot;
        if (!testsupport::GetTestUser(1, m_user1, strWhyNot) ||
            !testsupport::GetTestUser(2, m_user2, strWhyNot))
            GTEST_SKIP() << strWhyNot;
    }

    // Runs argv as user 2 to its end.
    int RunAsUser2(const std::vector<std::string>& argv)
    {
        return testsupport::RunToEnd(testsupport::AsUser(m_user2, argv)).nExitCode;
    }

    testsupport::STestUser m_user1;
    testsupport::STestUser m_user2;
};

// Another user leaves a file where our protocol session's block goes: the failure names it and
// its owner, not a board error.
TEST_F(MovactlOtherUserTest, ASquattedSessionFileIsNamedWithItsOwner)
{
    std::string path = platformtest::LevelBlockPath(geteuid(), kProtoSession);
    if (path.rfind("/dev/shm/", 0) != 0)
        GTEST_SKIP() << "this user's blocks live in a private directory, where nobody can squat";
    ASSERT_EQ(0, RunAsUser2({"/usr/bin/touch", path}));
    SRun run = RunMovactl({"test"});
    unlink(path.c_str());
    EXPECT_EQ(1, run.nExitCode);
    EXPECT_THAT(run.strOutput,
                HasSubstr("OpenJob answered -1: its trace session 'MovaProto1' cannot be "
                          "created: " +
                          path + " belongs to user '" + m_user2.strName + "'"));
    EXPECT_THAT(run.strOutput, Not(HasSubstr("board error 0x80")));
}

// Another user's file where user 1's board semaphore goes: the library runs without it, and
// movactl and korixsim show say so. Run as user 1, on a board of user 1's own.
TEST_F(MovactlOtherUserTest, ExchangesWithoutTheBoardSemaphoreAreWarnedAbout)
{
    std::string semaphore = "/dev/shm/movajob." + std::to_string(m_user1.nUid) + ".SemSyncTest";
    struct stat st = {};
    if (lstat(semaphore.c_str(), &st) == 0)
        GTEST_SKIP() << semaphore << " exists already; the test leaves it alone";
    ASSERT_EQ(0, RunAsUser2({"/usr/bin/touch", semaphore}));
    std::string prefix = testsupport::UniqueName("movactlsem");
    auto run = testsupport::RunToEnd(testsupport::AsUser(
        m_user1, {"/usr/bin/env", "KORIXSIM_PREFIX=" + prefix, MOVACTL_PATH, "test"}));
    auto show = testsupport::RunToEnd(testsupport::AsUser(
        m_user1, {"/usr/bin/env", "KORIXSIM_PREFIX=" + prefix, KORIXSIM_PATH, "show"}));
    unlink(semaphore.c_str());
    testsupport::RemoveBoardLeftovers(prefix);

    EXPECT_EQ(0, run.nExitCode) << run.strOutput;
    EXPECT_THAT(run.strOutput,
                HasSubstr("movactl: warning: the board semaphore \"SemSyncTest\" cannot be "
                          "opened"));
    EXPECT_EQ(0, show.nExitCode) << show.strOutput;
    EXPECT_THAT(show.strOutput, HasSubstr("korixsim: warning: the board semaphore"));
}

#endif

#if defined(_WIN32)
// MovaJob.dll imports the board library KORIX.dll. Without it the loader's error 126 names
// MovaJob.dll, which is there: movactl names the DLL that is missing and where it must be.
TEST_F(MovactlTest, MissingBoardLibrary_NamedWithWhereWindowsLooks)
{
    namespace fs = std::filesystem;
    fs::path builtMovactl = fs::path(MOVACTL_PATH);
    fs::path folder =
        fs::temp_directory_path() /
        ("movactl-alone-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(folder);
    ASSERT_TRUE(fs::create_directories(folder));
    fs::copy_file(builtMovactl, folder / "movactl.exe");
    fs::copy_file(builtMovactl.parent_path() / "MovaJob.dll", folder / "MovaJob.dll");
    testsupport::SRunResult result =
        testsupport::RunToEnd({(folder / "movactl.exe").string(), "scan"}, 60000);
    fs::remove_all(folder);
    EXPECT_EQ(1, result.nExitCode);
    EXPECT_THAT(result.strOutput,
                HasSubstr("MovaJob.dll: KORIX.dll, which it imports, was not found"));
    EXPECT_THAT(result.strOutput, HasSubstr("in the folder of movactl.exe"));
}
#endif

} // namespace
} // namespace movactltest
