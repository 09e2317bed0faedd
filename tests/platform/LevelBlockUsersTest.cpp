// The level block between users and against hostile files: what another user runs or leaves
// behind must not keep our sessions from being created, and a file under our name that is not
// a usable block is named, with its owner, instead of failing without a word.
#include "platform/LevelBlock.h"
#include "tests/platform/PeerProcess.h"
#include "tests/support/TraceCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include "tests/platform/posix/LevelBlockPath.h"
#include "tests/support/posix/TestUsers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

using platformtest::CPeer;
using testing::HasSubstr;

#if !defined(_WIN32)
using testsupport::AsUser;
using testsupport::STestUser;

std::string BlockPath(uid_t nUid, const std::string& strName)
{
    return platformtest::LevelBlockPath(nUid, strName);
}

std::string Obstacle(const std::string& strName)
{
    char szText[400];
    return platform::DescribeLevelBlockObstacle(strName.c_str(), szText, sizeof szText) ? szText
                                                                                        : "";
}

class LevelBlockUsersTest : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string strWhyNot;
        if (!testsupport::GetTestUser(1, m_user1, strWhyNot) ||
            !testsupport::GetTestUser(2, m_user2, strWhyNot))
            GTEST_SKIP() << strWhyNot;
    }

    STestUser m_user1;
    STestUser m_user2;
};

// Another user who runs a host on the same board number has a session of the same name: both
// live side by side, and neither reaches the other's level.
TEST_F(LevelBlockUsersTest, TwoUsersHoldSessionsOfOneNameApart)
{
    std::string name = testsupport::UniqueName("lbUsers");
    CPeer first(AsUser(m_user1, {}), {"create", name});
    ASSERT_EQ(first.Reply(), "created");
    CPeer second(AsUser(m_user2, {}), {"create", name});
    EXPECT_EQ(second.Reply(), "created");
    CPeer opener(AsUser(m_user2, {}), {"open", name});
    ASSERT_EQ(opener.Reply(), "opened");
    EXPECT_EQ(first.Ask("write 11"), "ok");
    EXPECT_EQ(opener.Ask("read"), "level 0") << "user 2 reached the level of user 1";
    EXPECT_EQ(opener.Ask("quit"), "closed");
    EXPECT_EQ(second.Ask("quit"), "closed");
    EXPECT_EQ(first.Ask("quit"), "closed");
}

// A file that another user leaves in /dev/shm under our name cannot be removed by us (the
// directory is sticky). Where that is where our blocks live, Create fails and the file is named
// with its owner, in the tracer's debug output too; with a private runtime directory the file
// is out of the way.
TEST_F(LevelBlockUsersTest, ASquattedFileIsNamedWithItsOwner_AndAPrivateDirectoryAvoidsIt)
{
    std::string name = testsupport::UniqueName("lbSquat");
    std::string path = BlockPath(geteuid(), name);
    if (path.rfind("/dev/shm/", 0) != 0)
        GTEST_SKIP() << "this user's blocks live in a private directory, where nobody can squat";
    testsupport::CChildProcess squatter(AsUser(m_user2, {"/usr/bin/touch", path}));
    ASSERT_EQ(0, squatter.Wait());

    platform::HLevelBlock hBlock = nullptr;
    EXPECT_EQ(platform::teBlockCreate::Failed, platform::CreateLevelBlock(name.c_str(), &hBlock));
    std::string owner = "user '" + m_user2.strName + "' (uid " + std::to_string(m_user2.nUid) + ")";
    EXPECT_EQ(path + " belongs to " + owner, Obstacle(name));
    {
        tracetest::CDebugCapture debug;
        EXPECT_TRUE(tracetest::MakeTracer(name) == nullptr);
        EXPECT_THAT(debug.Lines(), testing::ElementsAre("***** Trace session '" + name +
                                                        "' cannot be created: " + path +
                                                        " belongs to " + owner + "\n"));
    }
    unlink(path.c_str());

    // The same squat against user 1, who has the private directory that a login makes.
    std::string runtime = "/run/user/" + std::to_string(m_user1.nUid);
    struct stat st = {};
    if (stat("/run/user", &st) != 0 || lstat(runtime.c_str(), &st) == 0)
        return; // no place to make one, or a real login's: leave it alone
    testsupport::CChildProcess squatter1(
        AsUser(m_user2, {"/usr/bin/touch",
                         "/dev/shm/movatrace." + std::to_string(m_user1.nUid) + "." + name}));
    ASSERT_EQ(0, squatter1.Wait());
    ASSERT_EQ(0, mkdir(runtime.c_str(), 0700));
    ASSERT_EQ(0, chown(runtime.c_str(), m_user1.nUid, m_user1.nGid));
    const std::string privatePath =
        runtime + "/movatrace." + std::to_string(m_user1.nUid) + "." + name;
    {
        CPeer victim(AsUser(m_user1, {}), {"create", name});
        EXPECT_EQ(victim.Reply(), "created");
        CPeer opener(AsUser(m_user1, {}), {"open", name});
        EXPECT_EQ(opener.Reply(), "opened");
        EXPECT_EQ(0, access(privatePath.c_str(), F_OK));
        EXPECT_EQ(opener.Ask("quit"), "closed");
        EXPECT_EQ(victim.Ask("quit"), "closed");
    }
    EXPECT_NE(0, access(privatePath.c_str(), F_OK)) << "the last holder left the name behind";
    unlink(("/dev/shm/movatrace." + std::to_string(m_user1.nUid) + "." + name).c_str());
    // Another test may run a program as user 1 right now, whose sessions live here too.
    for (int nAttempt = 0; nAttempt < 50 && rmdir(runtime.c_str()) != 0; ++nAttempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}
#endif

// A live file of ours shorter than the level word (a process of ours holds a read lock on an
// empty file) is not a session: opening refuses it instead of mapping it, and it is described.
TEST(LevelBlockShortTest, AHeldEmptyFileIsNoBlockAndIsNamed)
{
#if defined(_WIN32)
    GTEST_SKIP() << "a named file mapping has a size from its creator and no file to shrink";
#else
    std::string name = testsupport::UniqueName("lbShort");
    std::string path = BlockPath(geteuid(), name);
    int fd = open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    flock lock{};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    ASSERT_EQ(0, fcntl(fd, F_OFD_SETLK, &lock));

    EXPECT_EQ(nullptr, platform::OpenLevelBlock(name.c_str()));
    platform::HLevelBlock hBlock = nullptr;
    EXPECT_EQ(platform::teBlockCreate::AlreadyExists,
              platform::CreateLevelBlock(name.c_str(), &hBlock));
    EXPECT_EQ(path + " is held open but only 0 bytes long, not a level block", Obstacle(name));
    close(fd);
    unlink(path.c_str());
    EXPECT_EQ("", Obstacle(name));
#endif
}

} // namespace
