#include "platform/LevelBlock.h"
#include "tests/platform/CounterFile.h"
#include "tests/platform/PeerProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include "tests/platform/posix/LevelBlockPath.h"

#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

using platform::teBlockCreate;
using platformtest::CPeer;

struct SBlockCloser
{
    void operator()(platform::SLevelBlock* hBlock) const { platform::CloseLevelBlock(hBlock); }
};
using UniqueBlock = std::unique_ptr<platform::SLevelBlock, SBlockCloser>;

struct SViewUnmapper
{
    void operator()(std::int16_t* pLevel) const { platform::UnmapLevelBlock(pLevel); }
};
using UniqueView = std::unique_ptr<std::int16_t, SViewUnmapper>;

teBlockCreate Create(const std::string& name, UniqueBlock& block)
{
    platform::HLevelBlock hBlock = nullptr;
    teBlockCreate eResult = platform::CreateLevelBlock(name.c_str(), &hBlock);
    block.reset(hBlock);
    return eResult;
}

UniqueBlock Open(const std::string& name)
{
    return UniqueBlock(platform::OpenLevelBlock(name.c_str()));
}

std::vector<std::string> ListLiveBlocks()
{
    std::vector<std::string> names;
    platform::ListLevelBlocks(
        [](const char* pszName, void* pContext)
        { static_cast<std::vector<std::string>*>(pContext)->push_back(pszName); },
        &names);
    return names;
}

bool IsListed(const std::string& name)
{
    std::vector<std::string> names = ListLiveBlocks();
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(PlatformLevelBlock, CreateIsRefusedWhileAnyHolderHasTheName)
{
    std::string name = testsupport::UniqueName("lbExcl");
    CPeer creator({"create", name});
    ASSERT_EQ(creator.Reply(), "created");

    UniqueBlock block;
    EXPECT_EQ(Create(name, block), teBlockCreate::AlreadyExists);
    EXPECT_EQ(block, nullptr);
    UniqueBlock opener = Open(name);
    ASSERT_NE(opener, nullptr);

    // The creator leaves; this process still holds the name as an opener.
    EXPECT_EQ(creator.Ask("quit"), "closed");
    EXPECT_EQ(creator.Wait(), 0);
    EXPECT_EQ(Create(name, block), teBlockCreate::AlreadyExists);

    opener.reset();
    ASSERT_EQ(Create(name, block), teBlockCreate::Created);
    // A second handle in the same process is a holder like any other.
    UniqueBlock second;
    EXPECT_EQ(Create(name, second), teBlockCreate::AlreadyExists);
}

TEST(PlatformLevelBlock, NameIsFreeAndZeroedOnceTheLastHolderReleased)
{
    std::string name = testsupport::UniqueName("lbFree");
    CPeer creator({"create", name});
    ASSERT_EQ(creator.Reply(), "created");
    ASSERT_EQ(creator.Ask("write 77"), "ok");
    EXPECT_EQ(creator.Ask("quit"), "closed");
    EXPECT_EQ(creator.Wait(), 0);

    EXPECT_EQ(Open(name), nullptr);
    EXPECT_FALSE(IsListed(name));
#if !defined(_WIN32)
    // A Win32 mapping has no file that could be left behind.
    struct stat st = {};
    EXPECT_NE(stat(platformtest::LevelBlockPath(geteuid(), name).c_str(), &st), 0)
        << "name left behind";
#endif

    UniqueBlock block;
    ASSERT_EQ(Create(name, block), teBlockCreate::Created);
    UniqueView level(platform::MapLevelBlock(block.get()));
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(*level, 0);
}

TEST(PlatformLevelBlock, KilledHoldersLeaveTheNameFree)
{
    std::string name = testsupport::UniqueName("lbKill");
    {
        CPeer creator({"create", name});
        ASSERT_EQ(creator.Reply(), "created");
        ASSERT_EQ(creator.Ask("write 55"), "ok");
        creator.Kill(SIGKILL);
        EXPECT_EQ(creator.Wait(), 128 + SIGKILL);
    }
    EXPECT_EQ(Open(name), nullptr);
    EXPECT_FALSE(IsListed(name));

    // The leftover of the killed creator is reused, from zero.
    UniqueBlock block;
    ASSERT_EQ(Create(name, block), teBlockCreate::Created);
    UniqueView level(platform::MapLevelBlock(block.get()));
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(*level, 0);
    *level = 9;

    // Now the last holder to go is an opener that gets killed.
    CPeer opener({"open", name});
    ASSERT_EQ(opener.Reply(), "opened");
    level.reset();
    block.reset();
    opener.Kill(SIGKILL);
    EXPECT_EQ(opener.Wait(), 128 + SIGKILL);
    EXPECT_EQ(Open(name), nullptr);
    EXPECT_EQ(Create(name, block), teBlockCreate::Created);
}

TEST(PlatformLevelBlock, OpenerKeepsTheBlockAndSharesTheLevel)
{
    std::string name = testsupport::UniqueName("lbShare");
    CPeer creator({"create", name});
    ASSERT_EQ(creator.Reply(), "created");
    ASSERT_EQ(creator.Ask("write 1234"), "ok");
    CPeer opener({"open", name});
    ASSERT_EQ(opener.Reply(), "opened");
    EXPECT_EQ(opener.Ask("read"), "level 1234");
    EXPECT_EQ(creator.Ask("quit"), "closed");
    EXPECT_EQ(creator.Wait(), 0);

    UniqueBlock block;
    EXPECT_EQ(Create(name, block), teBlockCreate::AlreadyExists);
    UniqueBlock mine = Open(name);
    ASSERT_NE(mine, nullptr);
    UniqueView level(platform::MapLevelBlock(mine.get()));
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(*level, 1234);
    *level = -2;
    EXPECT_EQ(opener.Ask("read"), "level -2");
    EXPECT_EQ(opener.Ask("write 100"), "ok");
    EXPECT_EQ(*level, 100);

    EXPECT_EQ(opener.Ask("quit"), "closed");
    EXPECT_EQ(Create(name, block), teBlockCreate::AlreadyExists);
    level.reset();
    mine.reset();
    EXPECT_EQ(Create(name, block), teBlockCreate::Created);
}

// Rounds on one name, so that most races also meet the name being removed by the round before.
TEST(PlatformLevelBlock, ExactlyOneOfRacingProcessesCreates)
{
    std::string name = testsupport::UniqueName("lbRace");
    std::vector<std::unique_ptr<CPeer>> racers;
    for (int n = 0; n < 3; ++n)
        racers.push_back(std::make_unique<CPeer>(std::initializer_list<std::string>{"race", name}));

    for (int nRound = 0; nRound < 40; ++nRound)
    {
        for (auto& racer : racers)
            racer->WriteLine("go");
        int nCreated = 0;
        for (auto& racer : racers)
        {
            std::string reply = racer->Reply();
            nCreated += reply == "created";
            ASSERT_TRUE(reply == "created" || reply == "exists") << reply;
        }
        ASSERT_EQ(nCreated, 1) << "round " << nRound;
        for (auto& racer : racers)
            racer->WriteLine("close");
        for (auto& racer : racers)
            ASSERT_EQ(racer->Reply(), "closed");
    }
}

// Creators that leave while others arrive: each must find the name either held or free, never
// the file that a leaving holder has just unlinked.
TEST(PlatformLevelBlock, CreatorsNeverOverlapWhileTheNameChangesHands)
{
    std::string name = testsupport::UniqueName("lbChurn");
    std::string counterPath = platformtest::CCounterFile::Create("lbChurnCount");
    ASSERT_NE(counterPath, "");

    std::vector<std::unique_ptr<CPeer>> churners;
    for (int n = 0; n < 3; ++n)
        churners.push_back(std::make_unique<CPeer>(
            std::initializer_list<std::string>{"churn", name, counterPath, "20000"}));
    int nCreated = 0;
    for (auto& churner : churners)
    {
        int nTimes = 0;
        int nDoubles = -1;
        std::string reply = churner->Reply();
        EXPECT_EQ(std::sscanf(reply.c_str(), "done %d %d", &nTimes, &nDoubles), 2) << reply;
        EXPECT_EQ(nDoubles, 0);
        nCreated += nTimes;
    }
    EXPECT_GT(nCreated, 0);
    churners.clear(); // Windows removes no file that a process still maps
    platformtest::CCounterFile::Remove(counterPath);
}

TEST(PlatformLevelBlock, RefusesNamesItCannotCarry)
{
    UniqueBlock block;
    // Names with the path separator of the system's names: on Windows a backslash names a
    // namespace, and a slash is an ordinary character.
#if defined(_WIN32)
    for (const char* pszName : {"a\\b", "", "\\leading"})
#else
    for (const char* pszName : {"a/b", "", "/leading"})
#endif
    {
        EXPECT_EQ(Create(pszName, block), teBlockCreate::Failed) << pszName;
        EXPECT_EQ(Open(pszName), nullptr) << pszName;
    }
    EXPECT_EQ(platform::CreateLevelBlock(nullptr, nullptr), teBlockCreate::Failed);
    platform::HLevelBlock hBlock = nullptr;
    EXPECT_EQ(platform::CreateLevelBlock(nullptr, &hBlock), teBlockCreate::Failed);
    EXPECT_EQ(platform::OpenLevelBlock(nullptr), nullptr);

    std::string tooLong(300, 'x');
    EXPECT_EQ(Create(tooLong, block), teBlockCreate::Failed);
    std::string longName = testsupport::UniqueName("lbLong") + std::string(200, 'y');
    EXPECT_EQ(Create(longName, block), teBlockCreate::Created);
}

TEST(PlatformLevelBlock, ListShowsBlocksOfLiveHoldersOnly)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows cannot list the named objects of a session: ListLevelBlocks "
                    "visits nothing there";
#endif
    std::string peerName = testsupport::UniqueName("lbListPeer");
    std::string ownName = testsupport::UniqueName("lbListOwn");
    std::string deadName = testsupport::UniqueName("lbListDead");
    CPeer holder({"create", peerName});
    ASSERT_EQ(holder.Reply(), "created");
    {
        CPeer killed({"create", deadName});
        ASSERT_EQ(killed.Reply(), "created");
        killed.Kill(SIGKILL);
        killed.Wait();
    }
    UniqueBlock block;
    ASSERT_EQ(Create(ownName, block), teBlockCreate::Created);

    EXPECT_TRUE(IsListed(peerName));
    EXPECT_TRUE(IsListed(ownName));
    EXPECT_FALSE(IsListed(deadName));
    // The stale leftover is no block, whatever the list: it can be created anew.
    UniqueBlock revived;
    EXPECT_EQ(Create(deadName, revived), teBlockCreate::Created);
    EXPECT_EQ(holder.Ask("quit"), "closed");
}

} // namespace

#if !defined(_WIN32)
namespace
{

void CollectName(const char* pszName, void* pContext)
{
    static_cast<std::vector<std::string>*>(pContext)->push_back(pszName);
}

} // namespace
#endif

// /dev/shm is everybody's: something under our name that is not a plain file of ours is never
// taken for a block, and nobody waits on it.
TEST(PlatformLevelBlock, AFifoUnderTheNameIsNoBlock)
{
#if defined(_WIN32)
    GTEST_SKIP() << "a named file mapping has no file in /dev/shm that anybody could replace";
#else
    std::string name = testsupport::UniqueName("lbFifo");
    std::string path = platformtest::LevelBlockPath(geteuid(), name);
    ASSERT_EQ(0, mkfifo(path.c_str(), 0600));

    platform::HLevelBlock hBlock = nullptr;
    EXPECT_EQ(platform::teBlockCreate::Failed, platform::CreateLevelBlock(name.c_str(), &hBlock));
    EXPECT_EQ(nullptr, platform::OpenLevelBlock(name.c_str()));
    std::vector<std::string> names;
    platform::ListLevelBlocks(CollectName, &names);
    EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), name));
    unlink(path.c_str());
#endif
}
