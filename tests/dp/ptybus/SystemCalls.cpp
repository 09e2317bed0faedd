#include "tests/dp/ptybus/SystemCalls.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace ptybus
{

namespace
{

volatile sig_atomic_t g_bStop = 0;
volatile sig_atomic_t g_bStats = 0;
sigset_t g_waitMask; // the mask while waiting: ours unblocked

void OnStop(int)
{
    g_bStop = 1;
}

void OnStats(int)
{
    g_bStats = 1;
}

std::string Reason(const std::string& strWhat)
{
    return strWhat + ": " + std::strerror(errno);
}

// Raw, so that the line discipline neither echoes what the line hands a station before its
// program has set the port up, nor changes a byte.
bool MakeRaw(int fd)
{
    struct termios tio;
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// A link strLink -> strTarget; one left by an earlier run is replaced, anything else is not.
bool MakeLink(const std::string& strTarget, const std::string& strLink, std::string& strError)
{
    struct stat info;
    if (::lstat(strLink.c_str(), &info) == 0 && !S_ISLNK(info.st_mode))
    {
        strError = strLink + ": exists and is not a link";
        return false;
    }
    const std::string strTemp = strLink + ".new." + std::to_string(::getpid());
    ::unlink(strTemp.c_str());
    if (::symlink(strTarget.c_str(), strTemp.c_str()) != 0)
    {
        strError = Reason(strTemp);
        return false;
    }
    if (::rename(strTemp.c_str(), strLink.c_str()) != 0)
    {
        strError = Reason(strLink);
        ::unlink(strTemp.c_str());
        return false;
    }
    return true;
}

// Removes the link if it still points where we made it point.
void RemoveOwnLink(const std::string& strLink, const std::string& strTarget)
{
    char szTarget[PATH_MAX];
    const ssize_t n = ::readlink(strLink.c_str(), szTarget, sizeof szTarget - 1);
    if (n <= 0)
        return;
    szTarget[n] = '\0';
    if (strTarget == szTarget)
        ::unlink(strLink.c_str());
}

} // namespace

CSystemCalls::~CSystemCalls()
{
    CloseAll();
}

bool CSystemCalls::CatchSignals(std::string& strError)
{
    sigset_t ours;
    sigemptyset(&ours);
    for (int nSignal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        sigaddset(&ours, nSignal);
    if (::sigprocmask(SIG_BLOCK, &ours, &g_waitMask) != 0)
    {
        strError = Reason("blocking the signals");
        return false;
    }
    for (int nSignal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
    {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = nSignal == SIGUSR1 ? OnStats : OnStop;
        sigemptyset(&action.sa_mask);
        if (::sigaction(nSignal, &action, nullptr) != 0)
        {
            strError = Reason("catching a signal");
            return false;
        }
        sigdelset(&g_waitMask, nSignal);
    }
    return true;
}

bool CSystemCalls::StopRequested()
{
    return g_bStop != 0;
}

bool CSystemCalls::TakeStatsRequest()
{
    const bool bRequested = g_bStats != 0;
    g_bStats = 0;
    return bRequested;
}

bool CSystemCalls::OpenPseudoTerminals(const std::vector<std::string>& astrNames,
                                       const std::string& strLinkDir, std::string& strError)
{
    CloseAll();
    for (const std::string& strName : astrNames)
    {
        SPseudoTerminal terminal;
        terminal.strName = strName;
        terminal.fdControl = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        char szPath[128];
        if (terminal.fdControl < 0 || ::grantpt(terminal.fdControl) != 0 ||
            ::unlockpt(terminal.fdControl) != 0 ||
            ::ptsname_r(terminal.fdControl, szPath, sizeof szPath) != 0)
        {
            strError = Reason("pseudo-terminal for " + strName);
            if (terminal.fdControl >= 0)
                ::close(terminal.fdControl);
            return false;
        }
        terminal.strPath = szPath;
        m_terminals.push_back(terminal);
        // Until some program opens the other end, our end reports a hang-up on every poll,
        // and it would again whenever the station's program closes it or dies: a wait that
        // never waits. Holding the other end open ourselves keeps our end quiet; we never read
        // from it, so what the line hands the station stays for the station's program.
        SPseudoTerminal& held = m_terminals.back();
        held.fdHold = ::open(szPath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (held.fdHold < 0 || !MakeRaw(held.fdHold))
        {
            strError = Reason(held.strPath);
            return false;
        }
        if (!strLinkDir.empty())
        {
            const std::string strLink = strLinkDir + "/" + strName;
            if (!MakeLink(held.strPath, strLink, strError))
                return false;
            held.strLink = strLink;
        }
    }
    return true;
}

bool CSystemCalls::Wait(const std::vector<bool>& abWantRead, std::uint64_t qwDeadlineNs,
                        std::vector<bool>& abReadable)
{
    std::vector<struct pollfd> polls(m_terminals.size());
    for (std::size_t n = 0; n < m_terminals.size(); ++n)
    {
        polls[n].fd = abWantRead[n] ? m_terminals[n].fdControl : -1;
        polls[n].events = POLLIN;
        polls[n].revents = 0;
    }
    const std::uint64_t qwNow = NowNs();
    const std::uint64_t qwWait = qwDeadlineNs > qwNow ? qwDeadlineNs - qwNow : 0;
    struct timespec timeout;
    timeout.tv_sec = static_cast<time_t>(qwWait / 1000000000u);
    timeout.tv_nsec = static_cast<long>(qwWait % 1000000000u);
    abReadable.assign(m_terminals.size(), false);
    const int nReady = ::ppoll(polls.data(), polls.size(), &timeout, &g_waitMask);
    if (nReady < 0)
        return errno == EINTR;
    for (std::size_t n = 0; n < m_terminals.size(); ++n)
    {
        // A hang-up or an error shows as readable: the read then says what it is.
        abReadable[n] = (polls[n].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    }
    return true;
}

long CSystemCalls::Read(std::size_t n, std::uint8_t* pbyBuffer, std::size_t nCapacity)
{
    const ssize_t nRead = ::read(m_terminals[n].fdControl, pbyBuffer, nCapacity);
    if (nRead >= 0)
        return static_cast<long>(nRead);
    return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

long CSystemCalls::Write(std::size_t n, const std::uint8_t* pbyBytes, std::size_t nCount)
{
    std::size_t nDone = 0;
    while (nDone < nCount)
    {
        const ssize_t nWritten =
            ::write(m_terminals[n].fdControl, pbyBytes + nDone, nCount - nDone);
        if (nWritten > 0)
            nDone += static_cast<std::size_t>(nWritten);
        else if (nWritten < 0 && errno == EINTR)
            continue;
        else if (nWritten == 0 || errno == EAGAIN)
            break;
        else
            return -1;
    }
    return static_cast<long>(nDone);
}

std::uint64_t CSystemCalls::NowNs()
{
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

bool CSystemCalls::WriteFileAtomically(const std::string& strPath, const std::string& strText)
{
    const std::string strTemp = strPath + ".new." + std::to_string(::getpid());
    std::FILE* pFile = std::fopen(strTemp.c_str(), "w");
    if (pFile == nullptr)
        return false;
    const bool bWritten = std::fwrite(strText.data(), 1, strText.size(), pFile) == strText.size();
    if (std::fclose(pFile) != 0 || !bWritten || ::rename(strTemp.c_str(), strPath.c_str()) != 0)
    {
        ::unlink(strTemp.c_str());
        return false;
    }
    return true;
}

void CSystemCalls::CloseAll()
{
    for (const SPseudoTerminal& terminal : m_terminals)
    {
        if (!terminal.strLink.empty())
            RemoveOwnLink(terminal.strLink, terminal.strPath);
        if (terminal.fdHold >= 0)
            ::close(terminal.fdHold);
        if (terminal.fdControl >= 0)
            ::close(terminal.fdControl);
    }
    m_terminals.clear();
}

} // namespace ptybus
