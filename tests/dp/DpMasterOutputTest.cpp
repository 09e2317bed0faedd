// korix-dpmaster whose standard output takes nothing, as real processes: the slave simulator on
// a pseudo-terminal, the master on its other end with its output on a pipe nobody reads or on
// a terminal stopped with Ctrl-S, the test as the host. The bus must keep running (a slave that
// falls silent leaves data exchange for the host to see) and SIGTERM must end the master. And
// an input that never brings a line end must not grow the master.
#include "tests/dp/DpBusFixture.h"
#include "tests/sim/SimTestSupport.h"

#include <gmock/gmock.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace dptest
{
namespace
{

using simtest::Call;
using simtest::MakeRequest;
using simtest::SHandle;

// korix-dpmaster with its standard output and error on fdOutput and its standard input on a
// pipe the test writes.
class CMasterProcess
{
public:
    CMasterProcess(const std::vector<std::string>& argv, int fdOutput)
    {
        int afdInput[2];
        if (pipe2(afdInput, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, afdInput[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fdOutput, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fdOutput, STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& strArg : argv)
            args.push_back(const_cast<char*>(strArg.c_str()));
        args.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0)
            m_nPid = pid;
        posix_spawn_file_actions_destroy(&actions);
        ::close(afdInput[0]);
        m_fdInput = afdInput[1];
    }
    ~CMasterProcess()
    {
        if (m_nPid > 0)
        {
            ::kill(m_nPid, SIGKILL);
            ::waitpid(m_nPid, nullptr, 0);
        }
        if (m_fdInput >= 0)
            ::close(m_fdInput);
    }

    int Pid() const { return m_nPid; }

    // Writes all of it to the master's standard input; false when the master stopped reading.
    bool WriteInput(const std::string& strText)
    {
        std::size_t nDone = 0;
        while (nDone < strText.size())
        {
            const ssize_t n = ::write(m_fdInput, strText.data() + nDone, strText.size() - nDone);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            nDone += static_cast<std::size_t>(n);
        }
        return true;
    }

    void Kill(int nSignal) { ::kill(m_nPid, nSignal); }

    // The exit code, 128 + the signal that ended it, or -1 when it still runs after 20 s.
    int Wait()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end)
        {
            int nStatus = 0;
            if (::waitpid(m_nPid, &nStatus, WNOHANG) == m_nPid)
            {
                m_nPid = -1;
                return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    int m_nPid = -1;
    int m_fdInput = -1;
};

// Where the master's output goes: a pipe that is full and never read, or a pseudo-terminal
// whose reader has sent Ctrl-S (the terminal's default IXON stops its output).
enum class teStalledOutput
{
    FullPipe,
    StoppedTerminal
};

class CStalledOutput
{
public:
    explicit CStalledOutput(teStalledOutput eKind)
    {
        if (eKind == teStalledOutput::FullPipe)
        {
            int afd[2];
            if (pipe2(afd, O_CLOEXEC | O_NONBLOCK) != 0)
                return;
            m_fdReader = afd[0];
            m_fdWriter = afd[1];
            const std::string strFiller(4096, '.');
            while (::write(m_fdWriter, strFiller.data(), strFiller.size()) > 0)
            {
            }
            while (::write(m_fdWriter, ".", 1) == 1)
            {
            }
            fcntl(m_fdWriter, F_SETFL, 0);
            return;
        }
        m_fdReader = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fdReader < 0 || grantpt(m_fdReader) != 0 || unlockpt(m_fdReader) != 0)
            return;
        m_fdWriter = ::open(ptsname(m_fdReader), O_RDWR | O_NOCTTY | O_CLOEXEC);
        const char chStop = 0x13; // Ctrl-S
        EXPECT_EQ(::write(m_fdReader, &chStop, 1), 1);
    }
    ~CStalledOutput()
    {
        for (int fd : {m_fdReader, m_fdWriter})
        {
            if (fd >= 0)
                ::close(fd);
        }
    }

    bool IsReady() const { return m_fdReader >= 0 && m_fdWriter >= 0; }
    int WriterEnd() const { return m_fdWriter; }

private:
    int m_fdReader = -1;
    int m_fdWriter = -1;
};

class DpMasterOutputTest : public simtest::CBoardTest,
                           public testing::WithParamInterface<teStalledOutput>
{
protected:
    void SetUp() override
    {
        m_strBusFile = WriteTempFile("dpbus.json", kThreeSlavesBus);
        const std::string strSlaveFile = WriteTempFile("dpslaves.json", kThreeSlaves);
        m_pSlaves = std::make_unique<testsupport::CChildProcess>(
            std::vector<std::string>{DPSLAVE, "--pty", "--slaves", strSlaveFile});
        std::string strLine;
        ASSERT_TRUE(m_pSlaves->ReadLine(strLine));
        m_strPeer = strLine.substr(strLine.rfind(" on ") + 4);
    }

    void TearDown() override
    {
        m_pMaster.reset();
        m_pSlaves->Kill(SIGTERM);
        m_pSlaves->Wait();
    }

    void StartMaster(int fdOutput, const std::vector<std::string>& astrMore = {})
    {
        std::vector<std::string> argv = {DPMASTER,     "--board",   std::to_string(m_byBoard),
                                         "--port",     m_strPeer,   "--bus",
                                         m_strBusFile, "--cycle-us"};
        argv.insert(argv.end(), astrMore.begin(), astrMore.end());
        m_pMaster = std::make_unique<CMasterProcess>(argv, fdOutput);
        ASSERT_GT(m_pMaster->Pid(), 0);
    }

    // Polls until the condition holds; false after 20 s.
    static bool Eventually(const std::function<bool()>& condition)
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

    SBoardRequest States(SHandle handle)
    {
        return Call(BoardReadSlaveStates, MakeRequest(handle, 0, 126));
    }

    std::string SlaveCommand(const std::string& strLine)
    {
        std::string strAnswer;
        if (!m_pSlaves->WriteLine(strLine) || !m_pSlaves->ReadLine(strAnswer))
            return "(no answer)";
        return strAnswer;
    }

    std::string m_strBusFile;
    std::string m_strPeer;
    std::unique_ptr<testsupport::CChildProcess> m_pSlaves;
    std::unique_ptr<CMasterProcess> m_pMaster;
};

TEST_P(DpMasterOutputTest, TheBusRunsOnAndSigtermEndsTheMasterWhileItsOutputTakesNothing)
{
    CStalledOutput output(GetParam());
    ASSERT_TRUE(output.IsReady());
    StartMaster(output.WriterEnd(), {"500", "--status-every", "1"});
    const SHandle handle = Register();
    ASSERT_TRUE(Eventually(
        [&]
        {
            SBoardRequest states = States(handle);
            return states.byMasterState == 0xC0 && states.abyData[3] == 2 &&
                   states.abyData[4] == 2 && states.abyData[5] == 2;
        }));
    // More for the output than it could ever take, while the bus runs.
    std::string strAsks;
    for (int i = 0; i < 200; ++i)
        strAsks += "status\n";
    ASSERT_TRUE(m_pMaster->WriteInput(strAsks));

    // The master still sees what happens on the line: a slave that falls silent leaves data
    // exchange, and one that answers again comes back.
    ASSERT_EQ(SlaveCommand("silent 4 on"), "ok slave 4 silent");
    EXPECT_TRUE(Eventually([&] { return States(handle).abyData[4] != 2; }));
    ASSERT_EQ(SlaveCommand("silent 4 off"), "ok slave 4 answers");
    EXPECT_TRUE(Eventually([&] { return States(handle).abyData[4] == 2; }));

    m_pMaster->Kill(SIGTERM);
    EXPECT_EQ(m_pMaster->Wait(), 0);
    // It ended as a stopped master does: the board reports it offline.
    EXPECT_EQ(States(handle).byMasterState, 0x00);
}

INSTANTIATE_TEST_SUITE_P(Outputs, DpMasterOutputTest,
                         testing::Values(teStalledOutput::FullPipe,
                                         teStalledOutput::StoppedTerminal),
                         [](const testing::TestParamInfo<teStalledOutput>& info) {
                             return info.param == teStalledOutput::FullPipe ? "FullPipe"
                                                                            : "StoppedTerminal";
                         });

// The resident memory of a process, from /proc, in kB; 0 when it cannot be read.
long ResidentKb(int nPid)
{
    std::ifstream status("/proc/" + std::to_string(nPid) + "/status");
    std::string strLine;
    while (std::getline(status, strLine))
    {
        if (strLine.rfind("VmRSS:", 0) == 0)
            return std::stol(strLine.substr(6));
    }
    return 0;
}

using DpMasterInputTest = DpMasterOutputTest;

TEST_F(DpMasterInputTest, AnInputWithoutLineEndsDoesNotGrowTheMaster)
{
    const int fdNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fdNull, 0);
    StartMaster(fdNull, {"0"});
    ::close(fdNull);
    const SHandle handle = Register();
    ASSERT_TRUE(Eventually([&] { return States(handle).byMasterState == 0xC0; }));
    // The write returns once the master has read all but what the pipe holds.
    const std::string strChunk(1 << 20, 'x');
    ASSERT_TRUE(m_pMaster->WriteInput(strChunk));
    const long nBeforeKb = ResidentKb(m_pMaster->Pid());
    ASSERT_GT(nBeforeKb, 0);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(m_pMaster->WriteInput(strChunk));
    // 8 MiB more without a line end; a master that kept them would have grown by as much.
    const long nAfterKb = ResidentKb(m_pMaster->Pid());
    EXPECT_LT(nAfterKb - nBeforeKb, 4096) << nBeforeKb << " kB, then " << nAfterKb << " kB";
    // It still takes commands, and still ends on SIGTERM.
    ASSERT_TRUE(m_pMaster->WriteInput("\nstatus\n"));
    m_pMaster->Kill(SIGTERM);
    EXPECT_EQ(m_pMaster->Wait(), 0);
}

} // namespace
} // namespace dptest
