#include "tests/tools/ToolTestSupport.h"

#include "platform/TraceDelivery.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include "platform/posix/TraceWindowAddress.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

namespace tooltest
{

SRunResult RunProgram(const std::vector<std::string>& argv)
{
    return testsupport::RunToEnd(argv);
}

std::unique_ptr<testsupport::CChildProcess> StartMerged(const std::vector<std::string>& argv)
{
    return std::make_unique<testsupport::CChildProcess>(argv, testsupport::teErrorOutput::Merged);
}

std::unique_ptr<testsupport::CChildProcess> StartMovatrace(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{MOVATRACE_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pChild = StartMerged(argv);
    std::string line;
    if (!pChild->ReadLine(line, 20000) || line.rfind("movatrace: serving ", 0) != 0)
    {
        ADD_FAILURE() << "movatrace did not start serving: " << line;
        return nullptr;
    }
    return pChild;
}

std::unique_ptr<testsupport::CChildProcess> StartTracedemo(testsupport::CChildProcess& window,
                                                           const std::string& strName,
                                                           const std::string& strClass,
                                                           const std::vector<std::string>& args)
{
    std::vector<std::string> argv{TRACEDEMO_PATH, "--name", strName, "--class", strClass};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pDemo = StartMerged(argv);
    if (!SkipPast(window, "***** Starting Trace Session (Shared Trace '" + strName + "')"))
    {
        ADD_FAILURE() << "the session of tracedemo did not start: " << pDemo->ReadAll(100);
        return nullptr;
    }
    return pDemo;
}

bool SkipPast(testsupport::CChildProcess& window, const std::string& strText)
{
    std::string line;
    while (window.ReadLine(line, 20000))
    {
        if (line.find(strText) != std::string::npos)
            return true;
    }
    return false;
}

bool SendLine(const std::string& strClass, const std::string& strText)
{
    platform::HTraceWindow hWindow = platform::FindTraceWindow(strClass.c_str());
    if (hWindow == nullptr)
        return false;
    platform::TraceAtom atom = platform::AddTraceAtom(strText.c_str());
    bool bSent =
        platform::SendTraceMessage(hWindow, platform::RegisterTraceMessage("*WM_TRACE_MSG"), atom);
    platform::DeleteTraceAtom(atom);
    platform::ReleaseTraceWindow(hWindow);
    return bSent;
}

#if !defined(_WIN32)
CRawSender::CRawSender(const std::string& strClass)
{
    sockaddr_un addr{};
    socklen_t nLength = platform::posix::MakeTraceWindowAddress(strClass.c_str(), addr);
    m_nFd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (m_nFd >= 0 && connect(m_nFd, reinterpret_cast<const sockaddr*>(&addr), nLength) != 0)
        Close();
}

CRawSender::~CRawSender()
{
    Close();
}

bool CRawSender::SendPacket(std::string_view packet)
{
    return send(m_nFd, packet.data(), packet.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(packet.size());
}

CRawSender::teAnswer CRawSender::AwaitAnswer(int nTimeoutMs)
{
    pollfd pfd{m_nFd, POLLIN, 0};
    if (poll(&pfd, 1, nTimeoutMs) <= 0)
        return NoAnswer;
    char cAnswer = 0;
    return recv(m_nFd, &cAnswer, 1, MSG_DONTWAIT) == 1 ? Answered : HungUp;
}

void CRawSender::Close()
{
    if (m_nFd >= 0)
        close(m_nFd);
    m_nFd = -1;
}

CTerminalChild::CTerminalChild(const std::vector<std::string>& argv)
{
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nMaster < 0 || grantpt(m_nMaster) != 0 || unlockpt(m_nMaster) != 0)
        return;
    const char* pszSlave = ptsname(m_nMaster);
    if (pszSlave == nullptr)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, pszSlave, O_RDWR | O_NOCTTY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0)
        m_nPid = pid;
    posix_spawn_file_actions_destroy(&actions);
}

CTerminalChild::~CTerminalChild()
{
    if (m_nPid > 0)
    {
        kill(m_nPid, SIGKILL);
        waitpid(m_nPid, nullptr, 0);
    }
    if (m_nMaster >= 0)
        close(m_nMaster);
}

std::string CTerminalChild::ReadUntil(const std::string& strUntil, int nTimeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (m_strRead.find(strUntil) == std::string::npos)
    {
        auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                         deadline - std::chrono::steady_clock::now())
                         .count();
        pollfd pfd{m_nMaster, POLLIN, 0};
        if (nLeft <= 0 || poll(&pfd, 1, static_cast<int>(nLeft)) <= 0)
            break;
        char aChunk[1024];
        ssize_t nRead = read(m_nMaster, aChunk, sizeof aChunk);
        if (nRead <= 0)
            break;
        m_strRead.append(aChunk, static_cast<std::size_t>(nRead));
    }
    return m_strRead;
}
#endif

} // namespace tooltest
