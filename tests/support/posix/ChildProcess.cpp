// Children on POSIX: posix_spawn with pipes, signals, waitpid.
#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testsupport
{

CChildProcess::CChildProcess(const std::vector<std::string>& argv, teErrorOutput eErrorOutput)
{
    int outPipe[2];
    int inPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return;
    if (pipe2(inPipe, O_CLOEXEC) != 0)
    {
        close(outPipe[0]);
        close(outPipe[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    if (eErrorOutput == teErrorOutput::Merged)
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0)
        m_nPid = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(inPipe[0]);
    m_fdOut = outPipe[0];
    m_fdIn = inPipe[1];
}

CChildProcess::~CChildProcess()
{
    if (m_nPid > 0)
    {
        kill(m_nPid, SIGKILL);
        waitpid(m_nPid, nullptr, 0);
    }
    if (m_fdOut >= 0)
        close(m_fdOut);
    if (m_fdIn >= 0)
        close(m_fdIn);
}

CChildProcess::teChunk CChildProcess::ReadChunk(int nTimeoutMs)
{
    if (m_fdOut < 0)
        return teChunk::Finished;
    pollfd pfd{m_fdOut, POLLIN, 0};
    if (poll(&pfd, 1, nTimeoutMs) <= 0)
        return teChunk::None;
    char chunk[4096];
    ssize_t n = read(m_fdOut, chunk, sizeof chunk);
    if (n <= 0)
        return teChunk::Finished;
    m_buffered.append(chunk, static_cast<std::size_t>(n));
    return teChunk::Read;
}

bool CChildProcess::WriteLine(const std::string& line)
{
    std::string text = line + "\n";
    return m_fdIn >= 0 &&
           write(m_fdIn, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void CChildProcess::Kill(int nSignal)
{
    if (m_nPid > 0)
        kill(m_nPid, nSignal);
}

int CChildProcess::Wait(int nTimeoutMs)
{
    if (m_nPid <= 0)
        return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        int status = 0;
        pid_t done = waitpid(m_nPid, &status, WNOHANG);
        if (done == m_nPid)
        {
            m_nPid = -1;
            if (WIFEXITED(status))
                return WEXITSTATUS(status);
            return 128 + WTERMSIG(status);
        }
        if (done < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string HelperPath(const char* pszProgram)
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
    dir = dir.substr(0, dir.find_last_of('/') + 1);
    return dir + pszProgram;
}

std::string UniqueName(const char* pszPrefix)
{
    static int nCounter = 0;
    return std::string(pszPrefix) + std::to_string(getpid()) + "_" + std::to_string(++nCounter);
}

int CurrentProcessId()
{
    return static_cast<int>(getpid());
}

void SetEnvironmentValue(const char* pszName, const char* pszValue)
{
    setenv(pszName, pszValue, 1);
}

} // namespace testsupport
