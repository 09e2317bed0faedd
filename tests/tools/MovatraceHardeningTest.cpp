// movatrace against what a careless or hostile party on the machine can do: patterns that make
// a backtracking matcher spin or overflow, an output that nobody reads, connections that say
// nothing, and files under a session's name that are not a usable block.
#include "tests/tools/ToolTestSupport.h"

#include <chrono>
#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

#if !defined(_WIN32)
#include "tests/platform/posix/LevelBlockPath.h"
#include "tests/support/posix/TestUsers.h"

#include <fcntl.h>
#include <unistd.h>
#endif

using testing::HasSubstr;
using testing::StartsWith;
using tooltest::RunProgram;
using tooltest::StartMovatrace;

namespace
{

#if defined(_WIN32)

TEST(MovatraceGrepTest, IsRefusedInABuildWithoutRE2)
{
    auto result = RunProgram({MOVATRACE_PATH, "--grep", "a"});
    EXPECT_EQ(2, result.nExitCode);
    EXPECT_THAT(result.strOutput, HasSubstr("--grep: not available in this build"));
}

#else

using tooltest::CRawSender;

std::string NestedGroups(int nDepth)
{
    return std::string(static_cast<std::size_t>(nDepth), '(') + "a" +
           std::string(static_cast<std::size_t>(nDepth), ')');
}

class MovatraceHardeningTest : public testing::Test
{
protected:
    std::string m_class = testsupport::UniqueName("HdWin");
};

// A pattern that makes a backtracking matcher run for ever on a short line; the window must
// answer every line all the same, matching or not.
TEST_F(MovatraceHardeningTest, GrepWithAnExplosivePatternStillAnswersEveryLine)
{
    auto pWindow = StartMovatrace({"--class", m_class, "--grep", "(.|.)*Q"});
    ASSERT_TRUE(pWindow);
    for (const char* pszLine : {"a line of forty characters without the q\n", "then a Q\n"})
    {
        CRawSender sender(m_class);
        ASSERT_TRUE(sender.IsConnected());
        ASSERT_TRUE(sender.SendPacket(pszLine));
        EXPECT_EQ(CRawSender::Answered, sender.AwaitAnswer(5000)) << pszLine;
    }
    std::string line;
    ASSERT_TRUE(pWindow->ReadLine(line));
    EXPECT_EQ("then a Q", line);
    pWindow->Kill(SIGTERM);
    EXPECT_EQ(0, pWindow->Wait());
}

TEST(MovatraceGrepTest, PatternsThatDoNotCompileWithinTheLimitsAreUsageErrors)
{
    for (const std::string& pattern :
         {NestedGroups(30000) + "(", std::string("(?:a{1000}){1000}"), std::string("(unclosed")})
    {
        auto result = RunProgram({MOVATRACE_PATH, "--grep", pattern});
        EXPECT_EQ(2, result.nExitCode) << pattern.substr(0, 40);
        EXPECT_THAT(result.strOutput, StartsWith("movatrace: --grep: '"));
    }
}

// A window whose output nobody reads is stuck in a write; a stop request still ends it, with
// the status of a window that was stopped.
TEST_F(MovatraceHardeningTest, StopsPromptlyWhileStuckWritingToAnUnreadOutput)
{
    auto pWindow = StartMovatrace({"--class", m_class});
    ASSERT_TRUE(pWindow);
    const std::string packet = std::string(250, 'x') + "\n";
    bool bStuck = false;
    // A pipe holds 64 KiB: a few hundred lines fill it.
    for (int i = 0; i < 4000 && !bStuck; ++i)
    {
        CRawSender sender(m_class);
        ASSERT_TRUE(sender.IsConnected());
        ASSERT_TRUE(sender.SendPacket(packet));
        bStuck = sender.AwaitAnswer(300) == CRawSender::NoAnswer;
    }
    ASSERT_TRUE(bStuck) << "the output never filled up";
    pWindow->Kill(SIGTERM);
    EXPECT_EQ(0, pWindow->Wait(5000));
}

// A window held up longer than the idle limit (its output is not read for a while) still serves
// a connection whose line came in meanwhile: that connection was not idle, the window was.
TEST_F(MovatraceHardeningTest, ALineThatCameWhileTheWindowWasHeldUpIsServed)
{
    auto pWindow = StartMovatrace({"--class", m_class});
    ASSERT_TRUE(pWindow);
    CRawSender early(m_class);
    ASSERT_TRUE(early.IsConnected());
    {
        // Answered, so the window has accepted the early connection too.
        CRawSender first(m_class);
        ASSERT_TRUE(first.SendPacket("first\n"));
        ASSERT_EQ(CRawSender::Answered, first.AwaitAnswer(5000));
    }
    const std::string packet = std::string(250, 'y') + "\n";
    std::vector<std::unique_ptr<CRawSender>> senders;
    bool bStuck = false;
    for (int i = 0; i < 4000 && !bStuck; ++i)
    {
        senders.push_back(std::make_unique<CRawSender>(m_class));
        ASSERT_TRUE(senders.back()->SendPacket(packet));
        bStuck = senders.back()->AwaitAnswer(300) == CRawSender::NoAnswer;
    }
    ASSERT_TRUE(bStuck) << "the output never filled up";
    std::this_thread::sleep_for(std::chrono::milliseconds(2500)); // past the idle limit
    ASSERT_TRUE(early.SendPacket("late but there\n"));
    std::string line;
    bool bSeen = false;
    while (!bSeen && pWindow->ReadLine(line, 5000))
        bSeen = line == "late but there";
    EXPECT_TRUE(bSeen);
    EXPECT_EQ(CRawSender::Answered, early.AwaitAnswer(5000));
}

// Connections that send nothing: each is closed after the idle limit, and however many there
// are, a sender that comes after them is served at once.
TEST_F(MovatraceHardeningTest, SilentConnectionsAreClosedAndDoNotStarveASender)
{
    auto pWindow = StartMovatrace({"--class", m_class});
    ASSERT_TRUE(pWindow);
    std::vector<std::unique_ptr<CRawSender>> silent;
    for (int i = 0; i < 600; ++i)
    {
        silent.push_back(std::make_unique<CRawSender>(m_class));
        ASSERT_TRUE(silent.back()->IsConnected()) << i;
    }
    CRawSender sender(m_class);
    ASSERT_TRUE(sender.IsConnected());
    ASSERT_TRUE(sender.SendPacket("after the crowd\n"));
    EXPECT_EQ(CRawSender::Answered, sender.AwaitAnswer(5000));
    std::string line;
    ASSERT_TRUE(pWindow->ReadLine(line));
    EXPECT_EQ("after the crowd", line);

    // The last silent one was let in: the window ends it once it has idled too long.
    EXPECT_EQ(CRawSender::HungUp, silent.back()->AwaitAnswer(10000));
}

// A process of ours holds a read lock on an empty file under a session's name: a mapping of it
// would fault at the first read.
class MovatraceShortBlockTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_fd = open(m_path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        ASSERT_GE(m_fd, 0);
        flock lock{};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_len = 1;
        ASSERT_EQ(0, fcntl(m_fd, F_OFD_SETLK, &lock));
    }
    void TearDown() override
    {
        if (m_fd >= 0)
            close(m_fd);
        unlink(m_path.c_str());
    }

    std::string m_name = testsupport::UniqueName("HdShort");
    std::string m_path = platformtest::LevelBlockPath(geteuid(), m_name);
    int m_fd = -1;
};

TEST_F(MovatraceShortBlockTest, SessionsSkipsItSayingWhy_LevelRefusesIt)
{
    const std::string why = m_path + " is held open but only 0 bytes long, not a level block";
    auto sessions = RunProgram({MOVATRACE_PATH, "sessions"});
    EXPECT_EQ(0, sessions.nExitCode);
    EXPECT_THAT(sessions.strOutput, HasSubstr("movatrace: skipping '" + m_name + "': " + why));

    for (auto args : {std::vector<std::string>{MOVATRACE_PATH, "level", m_name},
                      std::vector<std::string>{MOVATRACE_PATH, "level", m_name, "5"}})
    {
        auto level = RunProgram(args);
        EXPECT_EQ(1, level.nExitCode);
        EXPECT_EQ("movatrace: cannot use trace session '" + m_name + "': " + why + "\n",
                  level.strOutput);
    }
}

TEST(MovatraceSquatTest, LevelNamesAFileOfAnotherUserAndItsOwner)
{
    testsupport::STestUser other;
    std::string strWhyNot;
    if (!testsupport::GetTestUser(2, other, strWhyNot))
        GTEST_SKIP() << strWhyNot;
    std::string name = testsupport::UniqueName("HdSquat");
    std::string path = platformtest::LevelBlockPath(geteuid(), name);
    if (path.rfind("/dev/shm/", 0) != 0)
        GTEST_SKIP() << "this user's blocks live in a private directory, where nobody can squat";
    testsupport::CChildProcess squatter(testsupport::AsUser(other, {"/usr/bin/touch", path}));
    ASSERT_EQ(0, squatter.Wait());

    auto level = RunProgram({MOVATRACE_PATH, "level", name});
    EXPECT_EQ(1, level.nExitCode);
    EXPECT_EQ("movatrace: cannot use trace session '" + name + "': " + path + " belongs to user '" +
                  other.strName + "' (uid " + std::to_string(other.nUid) + ")\n",
              level.strOutput);
    unlink(path.c_str());
}

#endif

} // namespace
