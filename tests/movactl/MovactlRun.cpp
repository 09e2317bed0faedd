#include "tests/movactl/MovactlRun.h"

#include "tests/support/PrivateBoard.h"

#include <chrono>
#include <csignal>

#if !defined(_WIN32)
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace movactltest
{

namespace
{

const testing::Environment* const g_pBoardEnvironment =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

std::vector<std::string> MovactlCommand(const std::vector<std::string>& aArgs)
{
    std::vector<std::string> command{MOVACTL_PATH};
    command.insert(command.end(), aArgs.begin(), aArgs.end());
    return command;
}

} // namespace

SRun RunMovactl(const std::vector<std::string>& aArgs)
{
    testsupport::SRunResult result = testsupport::RunToEnd(MovactlCommand(aArgs), 60000);
    SRun run{result.nExitCode, result.strOutput};
    EXPECT_THAT(run.strOutput, testing::Not(testing::HasSubstr("Sanitizer")));
    return run;
}

std::unique_ptr<testsupport::CChildProcess> StartMovactl(const std::vector<std::string>& aArgs)
{
    return std::make_unique<testsupport::CChildProcess>(MovactlCommand(aArgs),
                                                        testsupport::teErrorOutput::Merged);
}

#if !defined(_WIN32)
std::string RunOnTerminal(const std::vector<std::string>& aArgs,
                          const std::vector<std::string>& aEnvironment)
{
    std::vector<std::string> aEnv = aEnvironment;
    for (char** ppszEntry = environ; *ppszEntry != nullptr; ++ppszEntry)
    {
        std::string strEntry = *ppszEntry;
        std::string strName = strEntry.substr(0, strEntry.find('=') + 1);
        bool bReplaced = false;
        for (const std::string& strOwn : aEnvironment)
            bReplaced = bReplaced || strOwn.compare(0, strName.size(), strName) == 0;
        if (!bReplaced)
            aEnv.push_back(strEntry);
    }
    std::vector<char*> apszEnv;
    for (std::string& strEntry : aEnv)
        apszEnv.push_back(strEntry.data());
    apszEnv.push_back(nullptr);
    int nMaster = -1;
    int nSlave = -1;
    if (openpty(&nMaster, &nSlave, nullptr, nullptr, nullptr) != 0)
    {
        ADD_FAILURE() << "no pseudo terminal";
        return "";
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, nSlave, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, nSlave, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, nMaster);
    posix_spawn_file_actions_addclose(&actions, nSlave);
    std::vector<std::string> aArgv{MOVACTL_PATH};
    aArgv.insert(aArgv.end(), aArgs.begin(), aArgs.end());
    std::vector<char*> apszArgv;
    for (std::string& strArg : aArgv)
        apszArgv.push_back(strArg.data());
    apszArgv.push_back(nullptr);
    pid_t nPid = -1;
    int nSpawned =
        posix_spawn(&nPid, apszArgv[0], &actions, nullptr, apszArgv.data(), apszEnv.data());
    posix_spawn_file_actions_destroy(&actions);
    close(nSlave);
    std::string strOutput;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    // The master reads end (EIO) once the child and everything it started have closed the
    // terminal.
    while (nSpawned == 0 && std::chrono::steady_clock::now() < deadline)
    {
        pollfd pfd{nMaster, POLLIN, 0};
        if (poll(&pfd, 1, 1000) <= 0)
            continue;
        char achChunk[4096];
        ssize_t nRead = read(nMaster, achChunk, sizeof achChunk);
        if (nRead <= 0)
            break;
        strOutput.append(achChunk, static_cast<std::size_t>(nRead));
    }
    close(nMaster);
    if (nSpawned == 0)
    {
        kill(nPid, SIGKILL);
        waitpid(nPid, nullptr, 0);
    }
    EXPECT_EQ(0, nSpawned);
    EXPECT_THAT(strOutput, testing::Not(testing::HasSubstr("Sanitizer")));
    return strOutput;
}
#endif

bool Korixsim(const std::vector<std::string>& aArgs)
{
    std::vector<std::string> command{KORIXSIM_PATH};
    command.insert(command.end(), aArgs.begin(), aArgs.end());
    testsupport::SRunResult result = testsupport::RunToEnd(command, 30000);
    EXPECT_EQ(0, result.nExitCode) << result.strOutput;
    return result.nExitCode == 0;
}

std::vector<std::string> Rows(const std::string& strOutput)
{
    std::vector<std::string> aRows(1);
    for (char ch : strOutput)
    {
        std::string& strRow = aRows.back();
        if (ch == '\n')
            aRows.emplace_back();
        else if (ch != ' ')
            strRow += ch;
        else if (!strRow.empty() && strRow.back() != ' ')
            strRow += ' ';
    }
    for (std::string& strRow : aRows)
    {
        if (!strRow.empty() && strRow.back() == ' ')
            strRow.pop_back();
    }
    if (aRows.back().empty())
        aRows.pop_back();
    return aRows;
}

std::vector<std::uint8_t> BoardOutputs(std::uint8_t byAddress)
{
    std::uint8_t abyOutputs[korix::kMaxDataLength] = {};
    std::uint8_t byLength = 0;
    EXPECT_TRUE(korix::ReadOutputBytes(1, byAddress, abyOutputs, byLength).bOk);
    return std::vector<std::uint8_t>(abyOutputs, abyOutputs + byLength);
}

} // namespace movactltest
