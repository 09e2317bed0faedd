#include "tools/dpmaster/StandardStreams.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace dpmaster
{

// A plain blocking write: only the writer thread ever waits for it. The output is not made
// non-blocking because that flag belongs to the open file, which the shell, the terminal or
// the journal share with us; they would get EAGAIN from their own writes. If one of them has
// set it, a full output is waited for here all the same.
bool WriteToOutput(int fd, const std::string& strText)
{
    std::size_t nDone = 0;
    while (nDone < strText.size())
    {
        const ssize_t n = ::write(fd, strText.data() + nDone, strText.size() - nDone);
        if (n > 0)
        {
            nDone += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        {
            struct pollfd pfd = {fd, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
            continue;
        }
        return false;
    }
    return true;
}

static_assert(sizeof(sigset_t) <= 128, "the saved signal mask must fit");

// SIGPIPE: a write to a pipe whose reader has gone then fails with EPIPE in the writer thread
// (the signal is the thread's own) instead of ending the master. SIGINT and SIGTERM: they go
// to a thread that takes them, the one that runs the bus and must wake from its sleep to see
// them.
CWriterThreadSignals::CWriterThreadSignals()
{
    sigset_t held, old;
    sigemptyset(&held);
    sigaddset(&held, SIGPIPE);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &old);
    std::memcpy(m_abySaved, &old, sizeof old);
}

CWriterThreadSignals::~CWriterThreadSignals()
{
    sigset_t old;
    std::memcpy(&old, m_abySaved, sizeof old);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

long ReadStandardInputNow(char* pchBuffer, std::size_t nCapacity)
{
    struct pollfd pfd = {STDIN_FILENO, POLLIN, 0};
    if (::poll(&pfd, 1, 0) <= 0)
        return 0;
    const ssize_t n = ::read(STDIN_FILENO, pchBuffer, nCapacity);
    if (n > 0)
        return static_cast<long>(n);
    return n < 0 && (errno == EINTR || errno == EAGAIN) ? 0 : -1;
}

} // namespace dpmaster
