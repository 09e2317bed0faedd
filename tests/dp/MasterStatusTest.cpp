// The master's status block: the writer's block read back, and the reader against blocks that
// lie (short, shrunk, wrong magic or version, counts beyond their maximum, strings without
// their NUL), against a FIFO or a folder under the name, against a writer that is in the
// middle of an update or keeps updating, against a master that is gone and against a block
// that names a process which does not serve the board. The writer against a hard link under
// its name and, in a child process of its own, against its block cut short under it or its
// death amid an update. The block and the board are real shared memory files under a prefix
// of the test's own.
#include "tests/dp/ScriptedLine.h"
#include "tests/support/BoardLeftovers.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/posix/TestUsers.h"

#include "dp/master/BoardLink.h"
#include "dp/master/DpMaster.h"
#include "dp/master/MasterStatusWriter.h"
#include "dp/station/FdlStation.h"
#include "dp/status/MasterStatusFile.h"
#include "dp/status/MasterStatusReader.h"
#include "dp/status/MasterStatusText.h"
#include "platform/Clock.h"
#include "sim/BoardLock.h"
#include "sim/Registrations.h"
#include "sim/common/ProcessIdentity.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

namespace dptest
{
namespace
{

using testing::HasSubstr;
using testing::Not;

constexpr std::uint8_t kBoard = 7;

// A master of three slaves on a scripted line that never runs a cycle: what the writer takes
// from it is its configuration and its initial status.
struct SIdleMaster
{
    SIdleMaster()
    {
        config.byMasterAddress = 2;
        dp::DefaultBusParameters(1500000, config.bus);
        for (std::uint8_t byAddress : {3, 4, 5})
        {
            dp::SSlaveConfig slave;
            slave.byAddress = byAddress;
            slave.wIdent = static_cast<std::uint16_t>(0x1200 + byAddress);
            slave.abyConfig = {0x17};
            slave.byInputLength = 8;
            slave.byOutputLength = 8;
            config.slaves.push_back(slave);
        }
        master = std::make_unique<dp::CDpMaster>(line, config);
    }

    CScriptedLine line{1500000};
    dp::SMasterConfig config;
    std::unique_ptr<dp::CDpMaster> master;
};

// This process as the board's serving master, registered as korix-dpmaster registers itself.
struct SServedBoard
{
    explicit SServedBoard(std::uint8_t byBoard) : link(byBoard, *bus.master, "test") {}
    bool Attach()
    {
        std::string strError;
        return link.Attach(strError);
    }

    SIdleMaster bus;
    dp::CBoardLink link;
};

bool Eventually(const std::function<bool()>& condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

class MasterStatusTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_strPrefix = testsupport::UniqueName("korixstatus");
        testsupport::SetEnvironmentValue("KORIXSIM_PREFIX", s_strPrefix.c_str());
    }
    static void TearDownTestSuite() { testsupport::RemoveBoardLeftovers(s_strPrefix); }

    void SetUp() override
    {
        ASSERT_TRUE(dp::MakeStatusName(kBoard, m_strName));
        m_strPath = "/dev/shm" + m_strName;
        RemovePath();
    }
    void TearDown() override { RemovePath(); }

    void RemovePath()
    {
        ::unlink(m_strPath.c_str());
        ::rmdir(m_strPath.c_str());
    }

    // A block a live master (this process) could have written, with three slaves.
    static std::vector<std::uint8_t> GoodBlock(std::uint32_t dwSlaves = 3)
    {
        std::vector<std::uint8_t> abyBlock(dp::StatusBlockSize(dwSlaves));
        dp::SStatusHeader header{};
        header.dwMagic = dp::kStatusMagic;
        header.dwVersion = dp::kStatusVersion;
        header.dwSize = static_cast<std::uint32_t>(abyBlock.size());
        header.dwSequence = 42;
        const korix::SProcessIdentity self = korix::CurrentProcess();
        header.nPid = self.nPid;
        header.dwStartLow = static_cast<std::uint32_t>(self.qwStartTime);
        header.dwStartHigh = static_cast<std::uint32_t>(self.qwStartTime >> 32);
        SetUpdated(header, dp::WallClockMs());
        header.byBoard = kBoard;
        header.byMode = MasterOperate;
        header.dwBaudRate = 1500000;
        std::strcpy(header.szPort, "/dev/ttyS0");
        header.dwSlaveCount = dwSlaves;
        std::memcpy(abyBlock.data(), &header, sizeof header);
        for (std::uint32_t i = 0; i < dwSlaves; ++i)
        {
            dp::SStatusSlave slave{};
            slave.byAddress = static_cast<std::uint8_t>(i < 3 ? 3 + i : i);
            slave.byState = SlaveDataExchange;
            slave.wIdent = 0x1234;
            std::memcpy(abyBlock.data() + sizeof header + i * sizeof slave, &slave, sizeof slave);
        }
        return abyBlock;
    }
    static void SetUpdated(dp::SStatusHeader& header, std::uint64_t qwMs)
    {
        header.dwUpdatedLow = static_cast<std::uint32_t>(qwMs);
        header.dwUpdatedHigh = static_cast<std::uint32_t>(qwMs >> 32);
    }
    static dp::SStatusHeader& Header(std::vector<std::uint8_t>& abyBlock)
    {
        return *reinterpret_cast<dp::SStatusHeader*>(abyBlock.data());
    }
    static dp::SStatusSlave& SlaveOf(std::vector<std::uint8_t>& abyBlock, std::size_t nIndex)
    {
        return reinterpret_cast<dp::SStatusSlave*>(abyBlock.data() +
                                                   sizeof(dp::SStatusHeader))[nIndex];
    }

    void WriteFile(const std::vector<std::uint8_t>& abyBytes)
    {
        std::ofstream file(m_strPath, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(abyBytes.data()),
                   static_cast<std::streamsize>(abyBytes.size()));
        ASSERT_TRUE(file.good());
    }

    static inline std::string s_strPrefix;
    std::string m_strName;
    std::string m_strPath;
};

TEST_F(MasterStatusTest, TheWritersBlockReadsBackLiveAndAfterItsEndAsGoneWithNothingLive)
{
    SServedBoard served(kBoard);
    ASSERT_TRUE(served.Attach());
    SIdleMaster& bus = served.bus;
    const std::string strLongPort(300, 'p');
    dp::CMasterStatusWriter writer;
    std::string strError;
    ASSERT_TRUE(writer.Open(kBoard, *bus.master, strLongPort, 1499000, strError)) << strError;

    dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
    ASSERT_EQ(status.eStatus, dp::teMasterStatus::Live) << status.strWhy;
    EXPECT_EQ(status.header.nPid, korix::CurrentProcessId());
    EXPECT_EQ(status.header.dwBaudRate, 1500000u);
    EXPECT_EQ(status.header.dwActualRate, 1499000u);
    EXPECT_EQ(status.header.byMasterAddress, 2);
    // A port name longer than its field is cut, and still ends in its NUL.
    EXPECT_EQ(std::string(status.header.szPort), strLongPort.substr(0, dp::kStatusPortSize - 1));
    ASSERT_EQ(status.aSlaves.size(), 3u);
    EXPECT_EQ(status.aSlaves[1].byAddress, 4);
    EXPECT_EQ(status.aSlaves[1].wIdent, 0x1204);
    EXPECT_STREQ(status.aSlaves[1].szReason, bus.master->Slave(1).strProblem.c_str());
    EXPECT_LT(status.qwAgeMs, 60000u);
    const std::string strLive = dp::FormatMasterStatus(status);
    EXPECT_THAT(strLive, HasSubstr("DP master: running, process " +
                                   std::to_string(korix::CurrentProcessId())));
    EXPECT_THAT(strLive, HasSubstr(", busy 0, answers in doubt 0, skipped bytes 0,"));
    EXPECT_THAT(strLive, HasSubstr("  slave 4: not reachable (" + bus.master->Slave(1).strProblem +
                                   "); ident 0x1204, 8 in"));

    // Updates come at most every interval.
    EXPECT_TRUE(writer.UpdateIfDue(*bus.master, 1000));
    EXPECT_FALSE(writer.UpdateIfDue(*bus.master, 1000 + dp::kStatusIntervalMs - 1));
    EXPECT_TRUE(writer.UpdateIfDue(*bus.master, 1000 + dp::kStatusIntervalMs));

    writer.End(*bus.master);
    status = dp::ReadMasterStatus(kBoard);
    ASSERT_EQ(status.eStatus, dp::teMasterStatus::Gone);
    const std::string strGone = dp::FormatMasterStatus(status);
    EXPECT_THAT(strGone, testing::MatchesRegex("DP master: gone since [0-9.]+ s \\(process [0-9]+ "
                                               "ended; its last status is not shown\\)\n"));
}

TEST_F(MasterStatusTest, TheRingOfTheMastersStationReadsBack)
{
    SServedBoard served(kBoard);
    ASSERT_TRUE(served.Attach());
    SIdleMaster& bus = served.bus;
    dp::SStationConfig config;
    config.byAddress = 2;
    config.bus = bus.config.bus;
    config.byHighestAddress = 9;
    config.dwTargetRotationBits = 3000;
    config.dwGapFactor = 1;
    dp::CFdlStation station(bus.line, config);
    // A slave at 7 answers the GAP maintenance's FDL status.
    bus.line.SetResponder(
        [&](const dp::STelegram& request, std::uint64_t qwEndNs)
        {
            if (request.eFrame == dp::teFrame::Sd1 && request.byDa == 7)
                bus.line.Put(qwEndNs + bus.line.BitNs(20), Sd1(2, 7, 0x00));
        });
    // Alone on a silent line: it claims the token and goes round its gap, once an address.
    station.SetStopCheck([&] { return station.Counters().dwGapPolls >= 20; });
    ASSERT_TRUE(station.Run());

    dp::CMasterStatusWriter writer;
    writer.SetStation(&station);
    std::string strError;
    ASSERT_TRUE(writer.Open(kBoard, *bus.master, "port", 0, strError)) << strError;
    const dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
    ASSERT_EQ(status.eStatus, dp::teMasterStatus::Live) << status.strWhy;
    const dp::SStatusRing& ring = status.header.ring;
    EXPECT_EQ(ring.byHighestAddress, 9);
    EXPECT_EQ(ring.dwTokensClaimed, 1u);
    EXPECT_EQ(ring.dwTokensReceived, station.Counters().dwTokensReceived);
    EXPECT_EQ(ring.dwTargetRotationUs, 2000u);
    EXPECT_EQ(ring.abyStations[2], dp::StatusStationMasterInRing);
    EXPECT_EQ(ring.abyStations[7], dp::StatusStationSlave);
    EXPECT_EQ(ring.abyStations[8], dp::StatusStationUnknown);
    const std::string strText = dp::FormatMasterStatus(status);
    EXPECT_THAT(strText, HasSubstr("  ring: station 2 in the ring, HSA 9; rotation last "));
    EXPECT_THAT(strText, HasSubstr("target 2.000 ms"));
    EXPECT_THAT(strText, HasSubstr(", lost 0, claimed 1,"));
    EXPECT_THAT(strText, HasSubstr("  active stations (LAS): 2; found by the GAP maintenance: 7 "
                                   "slave\n"));
}

TEST_F(MasterStatusTest, AMasterThatNoLongerRunsIsGoneWithItsAge)
{
    std::vector<std::uint8_t> abyBlock = GoodBlock();
    // This process's id with another start time: a process that once had the id.
    Header(abyBlock).dwStartLow += 1;
    SetUpdated(Header(abyBlock), dp::WallClockMs() - 12500);
    WriteFile(abyBlock);
    const dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
    ASSERT_EQ(status.eStatus, dp::teMasterStatus::Gone);
    EXPECT_EQ(dp::FormatMasterStatus(status),
              "DP master: gone since 12 s (process " + std::to_string(Header(abyBlock).nPid) +
                  " no longer runs; its last status is not shown)\n");

    // The same block with this process's own start time, serving the board, is live; a live
    // master whose status is old is said to hang.
    SServedBoard served(kBoard);
    ASSERT_TRUE(served.Attach());
    Header(abyBlock).dwStartLow -= 1;
    WriteFile(abyBlock);
    const dp::SMasterStatus live = dp::ReadMasterStatus(kBoard);
    ASSERT_EQ(live.eStatus, dp::teMasterStatus::Live);
    EXPECT_THAT(dp::FormatMasterStatus(live),
                HasSubstr("status of 12 s ago (the master has not updated it since: it may hang)"));
}

TEST_F(MasterStatusTest, NothingUnderTheNameIsNoMaster)
{
    const dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
    EXPECT_EQ(status.eStatus, dp::teMasterStatus::None);
    EXPECT_EQ(status.strWhy, "no DP master has served board 7");
}

TEST_F(MasterStatusTest, AFifoOrAFolderUnderTheNameIsRefusedWithoutBlocking)
{
    // A plain open of a FIFO would wait for a writer for ever.
    ASSERT_EQ(::mkfifo(m_strPath.c_str(), 0600), 0);
    dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
    EXPECT_EQ(status.eStatus, dp::teMasterStatus::Refused);
    EXPECT_THAT(status.strWhy, HasSubstr("not a plain file"));
    ::unlink(m_strPath.c_str());

    ASSERT_EQ(::mkdir(m_strPath.c_str(), 0700), 0);
    status = dp::ReadMasterStatus(kBoard);
    EXPECT_EQ(status.eStatus, dp::teMasterStatus::Refused);
    EXPECT_THAT(status.strWhy, HasSubstr("not a plain file"));

    // Nor does the writer take either for its block.
    SIdleMaster bus;
    dp::CMasterStatusWriter writer;
    std::string strError;
    EXPECT_FALSE(writer.Open(kBoard, *bus.master, "port", 0, strError));
}

// /dev/shm is everybody's: a block another user placed under our name could say anything.
TEST_F(MasterStatusTest, AnotherUsersFileUnderTheNameIsRefused)
{
    testsupport::STestUser other;
    std::string strWhyNot;
    if (geteuid() != 0 || !testsupport::GetTestUser(1, other, strWhyNot))
        GTEST_SKIP() << (strWhyNot.empty() ? "needs root to give a file away" : strWhyNot);
    WriteFile(GoodBlock());
    ASSERT_EQ(::chown(m_strPath.c_str(), other.nUid, other.nGid), 0);
    const dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
    EXPECT_EQ(status.eStatus, dp::teMasterStatus::Refused);
    EXPECT_THAT(status.strWhy, HasSubstr("another user's file"));
    SIdleMaster bus;
    dp::CMasterStatusWriter writer;
    std::string strError;
    EXPECT_FALSE(writer.Open(kBoard, *bus.master, "port", 0, strError));
    EXPECT_THAT(strError, HasSubstr("not a plain file of this user"));
}

struct SLie
{
    const char* pszWhat;
    std::function<void(std::vector<std::uint8_t>&)> pfnSpoil;
    const char* pszWhy;
};

TEST_F(MasterStatusTest, BlocksThatLieAreRefusedWithTheirFault)
{
    using Block = std::vector<std::uint8_t>;
    const SLie aLies[] = {
        {"empty", [](Block& b) { b.clear(); }, "too short for a status block (0 bytes)"},
        {"short header", [](Block& b) { b.resize(100); },
         "too short for a status block (100 bytes)"},
        {"wrong magic", [](Block& b) { Header(b).dwMagic ^= 1; }, "magic number wrong"},
        {"other version", [](Block& b) { Header(b).dwVersion = 1; },
         "a status block of version 1, not 2"},
        {"other board", [](Block& b) { Header(b).byBoard = 8; }, "the status block of board 8"},
        {"too many slaves",
         [](Block& b)
         {
             Header(b).dwSlaveCount = 127;
             Header(b).dwSize = static_cast<std::uint32_t>(dp::StatusBlockSize(127));
         },
         "slave count 127 beyond 126"},
        {"a huge count", [](Block& b) { Header(b).dwSlaveCount = 0xFFFFFFFFu; },
         "slave count 4294967295 beyond 126"},
        {"size field beside the count", [](Block& b) { Header(b).dwSize += 1024; },
         "does not fit 3 slaves"},
        {"file shorter than its slaves", [](Block& b) { b.resize(dp::StatusBlockSize(2) + 10); },
         "shorter (2510 bytes) than it says (3524)"},
        {"end mark", [](Block& b) { Header(b).byEnded = 7; }, "its end mark is 7"},
        {"port without NUL",
         [](Block& b) { std::memset(Header(b).szPort, 'x', dp::kStatusPortSize); },
         "its port name is not terminated"},
        {"reason without NUL",
         [](Block& b) { std::memset(SlaveOf(b, 2).szReason, 'r', dp::kStatusReasonSize); },
         "slave entry 2: its reason is not terminated"},
        {"words without NUL",
         [](Block& b) { std::memset(SlaveOf(b, 0).szDiagWords, 'w', dp::kStatusWordsSize); },
         "slave entry 0: its diagnosis words are not terminated"},
        {"diagnosis too long", [](Block& b) { SlaveOf(b, 1).byDiagLength = 245; },
         "slave entry 1: diagnosis length 245 beyond 244"},
        {"address beyond the bus", [](Block& b) { SlaveOf(b, 1).byAddress = 200; },
         "slave entry 1: address 200 beyond 125"},
        {"ring state", [](Block& b) { Header(b).ring.byState = 5; }, "ring state 5 unknown"},
        {"ring fault", [](Block& b) { Header(b).ring.byFault = 3; }, "ring fault 3 unknown"},
        {"ring beyond 126", [](Block& b) { Header(b).ring.byHighestAddress = 127; },
         "highest station address 127 beyond 126"},
        {"live list", [](Block& b) { Header(b).ring.abyStations[90] = 5; },
         "station 90 of an unknown kind 5"},
    };
    for (const SLie& lie : aLies)
    {
        SCOPED_TRACE(lie.pszWhat);
        std::vector<std::uint8_t> abyBlock = GoodBlock();
        lie.pfnSpoil(abyBlock);
        WriteFile(abyBlock);
        const dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
        EXPECT_EQ(status.eStatus, dp::teMasterStatus::Refused);
        EXPECT_THAT(status.strWhy, HasSubstr(lie.pszWhy));
        EXPECT_THAT(dp::FormatMasterStatus(status),
                    testing::StartsWith("DP master: status not readable: "));
    }
    // The good block itself passes, and a file longer than the block is no fault.
    SServedBoard served(kBoard);
    ASSERT_TRUE(served.Attach());
    std::vector<std::uint8_t> abyGood = GoodBlock();
    abyGood.resize(abyGood.size() + 4096);
    WriteFile(abyGood);
    EXPECT_EQ(dp::ReadMasterStatus(kBoard).eStatus, dp::teMasterStatus::Live);
}

TEST_F(MasterStatusTest, AWriterInTheMiddleOfAnUpdateIsReportedAsChanging)
{
    // The block names this process, which serves the board and lives: it may be amid an update.
    SServedBoard served(kBoard);
    ASSERT_TRUE(served.Attach());
    std::vector<std::uint8_t> abyBlock = GoodBlock();
    Header(abyBlock).dwSequence = 43;
    WriteFile(abyBlock);
    const dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
    EXPECT_EQ(status.eStatus, dp::teMasterStatus::Changing);
    EXPECT_THAT(dp::FormatMasterStatus(status), HasSubstr("status changing, try again"));

    // A new master takes the block over and makes it readable again.
    dp::CMasterStatusWriter writer;
    std::string strError;
    ASSERT_TRUE(writer.Open(kBoard, *served.bus.master, "port", 0, strError)) << strError;
    EXPECT_EQ(dp::ReadMasterStatus(kBoard).eStatus, dp::teMasterStatus::Live);
}

// A writer that keeps changing the block under the sequence count, each update all of one
// value: a reader must never take a copy that mixes two updates.
TEST_F(MasterStatusTest, ReadsDuringUpdatesNeverMixTwoUpdates)
{
    SServedBoard served(kBoard);
    ASSERT_TRUE(served.Attach());
    std::vector<std::uint8_t> abyBlock = GoodBlock(dp::kStatusMaxSlaves);
    dp::CStatusBlockFile file;
    std::string strError;
    ASSERT_TRUE(file.Create(m_strName, abyBlock.data(), abyBlock.size(), strError)) << strError;

    std::atomic<bool> bStop{false};
    std::thread writer(
        [&]
        {
            for (std::uint32_t dwRound = 1; !bStop.load(); ++dwRound)
            {
                Header(abyBlock).dwGlobalControls = dwRound;
                for (std::uint32_t i = 0; i < dp::kStatusMaxSlaves; ++i)
                    SlaveOf(abyBlock, i).counters.dwExchanges = dwRound;
                file.Publish(abyBlock.data(), abyBlock.size());
                // Room for readers between updates; the updates themselves are as fast as
                // they come.
                if (dwRound % 8 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    int nTaken = 0, nMixed = 0;
    std::string strUnexpected;
    for (int i = 0; i < 300 && strUnexpected.empty(); ++i)
    {
        const dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
        if (status.eStatus == dp::teMasterStatus::Changing)
            continue;
        if (status.eStatus != dp::teMasterStatus::Live)
            strUnexpected = status.strWhy;
        ++nTaken;
        for (const dp::SStatusSlave& slave : status.aSlaves)
            nMixed += slave.counters.dwExchanges != status.header.dwGlobalControls;
    }
    bStop = true;
    writer.join();
    EXPECT_EQ(strUnexpected, "");
    EXPECT_EQ(nMixed, 0);
    EXPECT_GT(nTaken, 0);
}

// Whatever another process of ours links under the block's name (the board's own shared
// state, say) is no block: the writer puts a block of its own in its place and leaves the
// linked file as it was.
TEST_F(MasterStatusTest, AHardLinkUnderTheNameIsReplacedAndTheFileItLinksLeftAlone)
{
    const std::string strOther = "/dev/shm/" + s_strPrefix + ".other";
    const std::vector<std::uint8_t> abyOther(64 * 1024, 0xA5);
    {
        std::ofstream other(strOther, std::ios::binary | std::ios::trunc);
        other.write(reinterpret_cast<const char*>(abyOther.data()),
                    static_cast<std::streamsize>(abyOther.size()));
        ASSERT_TRUE(other.good());
    }
    ASSERT_EQ(::link(strOther.c_str(), m_strPath.c_str()), 0);

    SServedBoard served(kBoard);
    ASSERT_TRUE(served.Attach());
    dp::CMasterStatusWriter writer;
    std::string strError;
    ASSERT_TRUE(writer.Open(kBoard, *served.bus.master, "port", 0, strError)) << strError;
    writer.Update(*served.bus.master);

    std::ifstream other(strOther, std::ios::binary);
    const std::vector<std::uint8_t> abyAfter((std::istreambuf_iterator<char>(other)),
                                             std::istreambuf_iterator<char>());
    EXPECT_TRUE(abyAfter == abyOther) << "the linked file holds " << abyAfter.size() << " bytes";
    struct stat st = {};
    ASSERT_EQ(::stat(strOther.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u) << "the block's name still links the other file";
    EXPECT_EQ(dp::ReadMasterStatus(kBoard).eStatus, dp::teMasterStatus::Live);
    ::unlink(strOther.c_str());
}

// A block that names a running process is no running master unless that process serves the
// board: a host, or any other process of ours, may write a block in the master's name.
TEST_F(MasterStatusTest, ABlockNamingALiveProcessThatDoesNotServeTheBoardIsNoRunningMaster)
{
    std::vector<std::uint8_t> abyBlock = GoodBlock(); // names this process, which runs
    WriteFile(abyBlock);
    const std::string strNotServing =
        "process " + std::to_string(korix::CurrentProcessId()) + " does not serve board 7";
    // No board at all yet.
    dp::SMasterStatus status = dp::ReadMasterStatus(kBoard);
    EXPECT_EQ(status.eStatus, dp::teMasterStatus::Gone);
    EXPECT_THAT(dp::FormatMasterStatus(status), HasSubstr(strNotServing));

    // This process registered at the board as a host, not as its master.
    {
        korix::CBoardLock lock(kBoard);
        ASSERT_NE(lock.State(), nullptr);
        const std::uint8_t abyModes[kBoardSlaveCount] = {};
        ASSERT_GE(korix::AddRegistration(*lock.State(), korix::CurrentProcess(), abyModes,
                                         platform::ReadTickCount()),
                  0);
    }
    status = dp::ReadMasterStatus(kBoard);
    EXPECT_EQ(status.eStatus, dp::teMasterStatus::Gone);
    const std::string strText = dp::FormatMasterStatus(status);
    EXPECT_THAT(strText, HasSubstr(strNotServing));
    for (const char* pszLive : {"running", "bus: ", "slave 3:"})
        EXPECT_THAT(strText, Not(HasSubstr(pszLive)));

    // Held odd, such a block is no master amid an update either.
    Header(abyBlock).dwSequence = 43;
    WriteFile(abyBlock);
    status = dp::ReadMasterStatus(kBoard);
    EXPECT_EQ(status.eStatus, dp::teMasterStatus::Gone);
    EXPECT_THAT(dp::FormatMasterStatus(status), HasSubstr(strNotServing));

    // Once this process serves the board, its block is its master's.
    Header(abyBlock).dwSequence = 44;
    WriteFile(abyBlock);
    SServedBoard served(kBoard);
    ASSERT_TRUE(served.Attach());
    EXPECT_EQ(dp::ReadMasterStatus(kBoard).eStatus, dp::teMasterStatus::Live);
}

// A writer in a process of its own that serves the board as korix-dpmaster does and updates
// its block until it is killed; bDieAmidUpdate: it holds the count odd instead, as a master
// killed amid an update leaves it. The test process must not have opened the board itself:
// the child would share its board lock.
class CChildWriter
{
public:
    CChildWriter(std::uint8_t byBoard, bool bDieAmidUpdate)
    {
        m_nPid = ::fork();
        if (m_nPid == 0)
            RunChild(byBoard, bDieAmidUpdate);
    }
    ~CChildWriter()
    {
        if (m_nPid > 0 && !m_bReaped)
        {
            ::kill(m_nPid, SIGKILL);
            ::waitpid(m_nPid, nullptr, 0);
        }
    }
    CChildWriter(const CChildWriter&) = delete;
    CChildWriter& operator=(const CChildWriter&) = delete;

    pid_t Pid() const { return m_nPid; }

    // False once the child has ended; m_nStatus then says how.
    bool IsRunning()
    {
        if (!m_bReaped && ::waitpid(m_nPid, &m_nStatus, WNOHANG) == m_nPid)
            m_bReaped = true;
        return !m_bReaped;
    }
    std::string HowItEnded() const
    {
        if (WIFSIGNALED(m_nStatus))
            return std::string("killed by signal ") + strsignal(WTERMSIG(m_nStatus));
        return "exit code " + std::to_string(WEXITSTATUS(m_nStatus));
    }
    void Kill()
    {
        ::kill(m_nPid, SIGKILL);
        ::waitpid(m_nPid, &m_nStatus, 0);
        m_bReaped = true;
    }

private:
    [[noreturn]] static void RunChild(std::uint8_t byBoard, bool bDieAmidUpdate)
    {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        SServedBoard served(byBoard);
        dp::CMasterStatusWriter writer;
        std::string strError, strName;
        if (!served.Attach() || !writer.Open(byBoard, *served.bus.master, "child", 0, strError) ||
            !dp::MakeStatusName(byBoard, strName))
            ::_exit(3);
        if (bDieAmidUpdate)
        {
            const int fd = ::open(("/dev/shm" + strName).c_str(), O_WRONLY);
            const std::uint32_t dwOdd = 1001;
            if (fd < 0 ||
                ::pwrite(fd, &dwOdd, sizeof dwOdd, offsetof(dp::SStatusHeader, dwSequence)) != 4)
                ::_exit(4);
            for (;;)
                ::pause();
        }
        for (std::uint64_t qwMs = 0;; qwMs += dp::kStatusIntervalMs)
        {
            writer.UpdateIfDue(*served.bus.master, qwMs);
            ::usleep(1000);
        }
    }

    pid_t m_nPid = -1;
    int m_nStatus = 0;
    bool m_bReaped = false;
};

TEST_F(MasterStatusTest, ABlockCutShortUnderItsWriterDoesNotEndTheWriter)
{
    constexpr std::uint8_t byBoard = 8;
    std::string strName;
    ASSERT_TRUE(dp::MakeStatusName(byBoard, strName));
    CChildWriter child(byBoard, false);
    ASSERT_GT(child.Pid(), 0);
    dp::SMasterStatus status;
    auto isChildsLiveBlock = [&]
    {
        status = dp::ReadMasterStatus(byBoard);
        return status.eStatus == dp::teMasterStatus::Live && status.header.nPid == child.Pid();
    };
    ASSERT_TRUE(Eventually([&] { return isChildsLiveBlock() || !child.IsRunning(); }));
    ASSERT_TRUE(child.IsRunning()) << child.HowItEnded();
    const std::uint32_t dwSequence = status.header.dwSequence;

    ASSERT_EQ(::truncate(("/dev/shm" + strName).c_str(), 0), 0);
    // The writer goes on, and its next updates make the block whole again.
    EXPECT_TRUE(Eventually(
        [&] {
            return (isChildsLiveBlock() && status.header.dwSequence > dwSequence) ||
                   !child.IsRunning();
        }));
    EXPECT_TRUE(child.IsRunning()) << child.HowItEnded();
}

TEST_F(MasterStatusTest, AWriterKilledAmidAnUpdateIsGoneNotChangingForEver)
{
    constexpr std::uint8_t byBoard = 9;
    CChildWriter child(byBoard, true);
    ASSERT_GT(child.Pid(), 0);
    // Alive and serving the board, it may be busy with its block.
    ASSERT_TRUE(Eventually(
        [&]
        {
            return dp::ReadMasterStatus(byBoard).eStatus == dp::teMasterStatus::Changing ||
                   !child.IsRunning();
        }));
    ASSERT_TRUE(child.IsRunning()) << child.HowItEnded();

    child.Kill();
    const dp::SMasterStatus status = dp::ReadMasterStatus(byBoard);
    EXPECT_EQ(status.eStatus, dp::teMasterStatus::Gone);
    EXPECT_THAT(dp::FormatMasterStatus(status),
                testing::MatchesRegex("DP master: gone since [0-9.]+ s \\(process " +
                                      std::to_string(child.Pid()) +
                                      " no longer runs; its last status is not shown\\)\n"));
}

TEST(MasterStatusText, AgesReadAsPeopleSayThem)
{
    EXPECT_EQ(dp::AgeText(0), "0.0 s");
    EXPECT_EQ(dp::AgeText(9949), "9.9 s");
    EXPECT_EQ(dp::AgeText(12999), "12 s");
    EXPECT_EQ(dp::AgeText(184000), "3 min 4 s");
    EXPECT_EQ(dp::AgeText(7500000), "2 h 5 min");
    EXPECT_EQ(dp::AgeText(3 * 86400000ull + 4 * 3600000ull), "3 d 4 h");
}

} // namespace
} // namespace dptest
