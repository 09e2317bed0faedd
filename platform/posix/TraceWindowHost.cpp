// The trace window on POSIX: one listening SOCK_SEQPACKET socket per class, one connection per
// line. Everything runs in the caller's thread under poll, so a sender that connects and then
// says nothing costs a descriptor but never holds up the others; and it does not keep that
// descriptor: a connection idle for kIdleTimeoutMs is closed, and when all room is taken the
// longest idle one makes room for a newcomer.
#include "platform/TraceWindowHost.h"

#include "platform/TraceDelivery.h"
#include "platform/posix/ProcessName.h"
#include "platform/posix/TraceWindowAddress.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <vector>

namespace platform
{

namespace
{

// One byte more than a line may have, so that an oversized packet shows as such.
constexpr std::size_t kPacketRoom = kMaxTraceAtomText + 1;
// At most this many open connections; a newcomer beyond them takes the place of the connection
// that has been idle longest.
constexpr std::size_t kMaxClients = 512;
// A sender sends its line right after connecting and hangs up right after the answer; a
// connection that sends nothing for this long is closed (docs/trace-delivery.md).
constexpr std::int64_t kIdleTimeoutMs = 2000;
// How long accepting rests after the process ran out of descriptors.
constexpr int kAcceptRestMs = 100;

struct SSocket
{
    int nFd;
    std::size_t nClass;
    std::int64_t nIdleDeadlineMs = 0; // connections only: closed when idle until then
    // Connections only: the sending process, learnt once when it connected. The kernel
    // reports the process that connected; a line is always sent by the one that connected.
    std::uint32_t dwPid = 0;
    posix::ProcessName szProgram = {};
};

std::int64_t NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Senders check our uid the same way; root may talk to anyone. dwPid: the peer's process id,
// as this process's pid namespace sees it (0 for a process outside it).
bool IsTrustedPeer(int nFd, std::uint32_t& dwPid)
{
    ucred cred{};
    socklen_t nLen = sizeof cred;
    if (getsockopt(nFd, SOL_SOCKET, SO_PEERCRED, &cred, &nLen) != 0 || nLen != sizeof cred)
        return false;
    dwPid = cred.pid > 0 ? static_cast<std::uint32_t>(cred.pid) : 0;
    return cred.uid == getuid() || cred.uid == 0;
}

} // namespace

struct CTraceWindowHost::SImpl
{
    int m_nWakeFd = -1;
    std::vector<SSocket> m_aListeners;
    std::vector<SSocket> m_aClients;
    bool m_bAcceptResting = false;
    bool m_bNameSenders = false;

    ~SImpl();
    bool AcceptAll(const SSocket& listener);
    bool HandleClient(std::size_t nIndex, short nEvents, PFN_LINE pfnLine, void* pContext);
    void CloseClient(std::size_t nIndex);
    void CloseLongestIdle();
    void CloseIdle(std::int64_t nNowMs);
    int MsToFirstIdleDeadline(std::int64_t nNowMs) const;
    bool RunLoop(int nMilliseconds, PFN_LINE pfnLine, void* pContext);
};

CTraceWindowHost::SImpl::~SImpl()
{
    for (const SSocket& client : m_aClients)
        close(client.nFd);
    for (const SSocket& listener : m_aListeners)
        close(listener.nFd);
    if (m_nWakeFd >= 0)
        close(m_nWakeFd);
}

// false only when the listener itself is broken.
bool CTraceWindowHost::SImpl::AcceptAll(const SSocket& listener)
{
    // Bounded, so that a flood of connections cannot keep us from the lines.
    for (std::size_t nAccepted = 0; nAccepted < kMaxClients; ++nAccepted)
    {
        int nFd = accept4(listener.nFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (nFd < 0)
        {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED)
                return true;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            {
                m_bAcceptResting = true;
                return true;
            }
            return false;
        }
        SSocket client{nFd, listener.nClass, NowMs() + kIdleTimeoutMs};
        if (!IsTrustedPeer(nFd, client.dwPid))
        {
            close(nFd);
            continue;
        }
        // Once per connection, and only when asked for: the sender waits for our answer
        // meanwhile.
        if (client.dwPid != 0 && m_bNameSenders)
            posix::ReadProcessName(client.dwPid, client.szProgram);
        if (m_aClients.size() >= kMaxClients)
            CloseLongestIdle();
        m_aClients.push_back(client);
    }
    return true;
}

// Every pending line was handled before we accept, so each open connection is idle: the one
// idle longest has the earliest deadline.
void CTraceWindowHost::SImpl::CloseLongestIdle()
{
    std::size_t nOldest = 0;
    for (std::size_t i = 1; i < m_aClients.size(); ++i)
    {
        if (m_aClients[i].nIdleDeadlineMs < m_aClients[nOldest].nIdleDeadlineMs)
            nOldest = i;
    }
    if (nOldest < m_aClients.size())
        CloseClient(nOldest);
}

// A connection past its deadline may have sent its line while we were held up (by a slow
// output) after the last poll: it is kept for the next round, which handles what is there.
void CTraceWindowHost::SImpl::CloseIdle(std::int64_t nNowMs)
{
    for (std::size_t i = 0; i < m_aClients.size();)
    {
        SSocket& client = m_aClients[i];
        if (client.nIdleDeadlineMs > nNowMs)
        {
            ++i;
            continue;
        }
        char cPeek = 0;
        if (recv(client.nFd, &cPeek, sizeof cPeek, MSG_PEEK | MSG_DONTWAIT) >= 0)
        {
            client.nIdleDeadlineMs = nNowMs + kIdleTimeoutMs;
            ++i;
            continue;
        }
        CloseClient(i);
    }
}

// -1 without connections.
int CTraceWindowHost::SImpl::MsToFirstIdleDeadline(std::int64_t nNowMs) const
{
    std::int64_t nFirst = -1;
    for (const SSocket& client : m_aClients)
    {
        if (nFirst < 0 || client.nIdleDeadlineMs < nFirst)
            nFirst = client.nIdleDeadlineMs;
    }
    if (nFirst < 0)
        return -1;
    return nFirst > nNowMs ? static_cast<int>(nFirst - nNowMs) : 0;
}

void CTraceWindowHost::SImpl::CloseClient(std::size_t nIndex)
{
    close(m_aClients[nIndex].nFd);
    m_aClients.erase(m_aClients.begin() + static_cast<std::ptrdiff_t>(nIndex));
    m_bAcceptResting = false;
}

// Reads one packet of a connection, hands it over and answers. Returns true when the
// connection was closed (the caller's index then points at the next one).
bool CTraceWindowHost::SImpl::HandleClient(std::size_t nIndex, short nEvents, PFN_LINE pfnLine,
                                           void* pContext)
{
    const SSocket client = m_aClients[nIndex];
    char aPacket[kPacketRoom];
    ssize_t nRead = recv(client.nFd, aPacket, sizeof aPacket, MSG_DONTWAIT | MSG_TRUNC);
    if (nRead < 0)
    {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return false;
        CloseClient(nIndex);
        return true;
    }
    // An empty packet and the end of the connection both read as 0; only a sender that has
    // hung up can be at its end, and nobody waits for the answer to a line sent before that.
    bool bHungUp = (nEvents & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
    if ((nRead == 0 && bHungUp) || static_cast<std::size_t>(nRead) > kMaxTraceAtomText)
    {
        CloseClient(nIndex);
        return true;
    }
    SLineSender sender;
    sender.dwPid = client.dwPid;
    sender.pszProgram = client.szProgram;
    pfnLine(pContext, client.nClass, sender, aPacket, static_cast<std::size_t>(nRead));
    m_aClients[nIndex].nIdleDeadlineMs = NowMs() + kIdleTimeoutMs;
    // Senders hang up after the answer; one that sends another line on the same connection
    // is served as well rather than cut off.
    const char cAnswer = 0;
    if (send(client.nFd, &cAnswer, 1, MSG_NOSIGNAL | MSG_DONTWAIT) != 1)
    {
        CloseClient(nIndex);
        return true;
    }
    return false;
}

bool CTraceWindowHost::SImpl::RunLoop(int nMilliseconds, PFN_LINE pfnLine, void* pContext)
{
    const std::int64_t nDeadline = nMilliseconds < 0 ? -1 : NowMs() + nMilliseconds;
    std::vector<pollfd> aPoll;
    for (;;)
    {
        const std::int64_t nNow = NowMs();
        int nTimeout = -1;
        if (nDeadline >= 0)
        {
            std::int64_t nLeft = nDeadline - nNow;
            nTimeout = nLeft > 0 ? static_cast<int>(nLeft) : 0;
        }
        int nToIdle = MsToFirstIdleDeadline(nNow);
        if (nToIdle >= 0 && (nTimeout < 0 || nToIdle < nTimeout))
            nTimeout = nToIdle;
        bool bAccepting = !m_bAcceptResting;
        if (m_bAcceptResting && (nTimeout < 0 || nTimeout > kAcceptRestMs))
            nTimeout = kAcceptRestMs;

        aPoll.clear();
        aPoll.push_back({m_nWakeFd, POLLIN, 0});
        for (const SSocket& listener : m_aListeners)
            aPoll.push_back({listener.nFd, static_cast<short>(bAccepting ? POLLIN : 0), 0});
        for (const SSocket& client : m_aClients)
            aPoll.push_back({client.nFd, POLLIN | POLLRDHUP, 0});

        int nReady = poll(aPoll.data(), aPoll.size(), nTimeout);
        if (nReady < 0 && errno != EINTR)
            return false;
        if (nReady > 0 && (aPoll[0].revents & POLLIN) != 0)
        {
            std::uint64_t nCount = 0;
            ssize_t nIgnored = read(m_nWakeFd, &nCount, sizeof nCount);
            (void)nIgnored;
            return true;
        }
        m_bAcceptResting = false;

        // Clients first: the indexes in aPoll belong to the list as it was before accepting.
        std::size_t nFirstClient = 1 + m_aListeners.size();
        std::size_t nClient = 0;
        for (std::size_t i = nFirstClient; i < aPoll.size() && nReady > 0; ++i)
        {
            if (aPoll[i].revents == 0 ||
                !HandleClient(nClient, aPoll[i].revents, pfnLine, pContext))
                ++nClient;
        }
        // After the lines: a connection whose line was just handled has been renewed.
        CloseIdle(NowMs());
        for (std::size_t i = 0; i < m_aListeners.size() && nReady > 0; ++i)
        {
            if (aPoll[1 + i].revents != 0 && !AcceptAll(m_aListeners[i]))
                return false;
        }
        if (nDeadline >= 0 && NowMs() >= nDeadline)
            return true;
    }
}

CTraceWindowHost::CTraceWindowHost() : m_pImpl(new (std::nothrow) SImpl)
{
    if (m_pImpl)
        m_pImpl->m_nWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CTraceWindowHost::~CTraceWindowHost() = default;

bool CTraceWindowHost::KnowsSenders()
{
    return true;
}

void CTraceWindowHost::NameSenders(bool bName)
{
    if (m_pImpl)
        m_pImpl->m_bNameSenders = bName;
}

teServeResult CTraceWindowHost::AddClass(const char* pszWindowClass)
{
    if (!m_pImpl || pszWindowClass == nullptr)
        return teServeResult::Failed;
    sockaddr_un addr{};
    socklen_t nAddrLen = posix::MakeTraceWindowAddress(pszWindowClass, addr);
    if (nAddrLen == 0)
        return teServeResult::Failed;
    int nFd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (nFd < 0)
        return teServeResult::Failed;
    if (bind(nFd, reinterpret_cast<const sockaddr*>(&addr), nAddrLen) != 0)
    {
        bool bTaken = errno == EADDRINUSE;
        close(nFd);
        return bTaken ? teServeResult::ClassTaken : teServeResult::Failed;
    }
    if (listen(nFd, SOMAXCONN) != 0)
    {
        close(nFd);
        return teServeResult::Failed;
    }
    try
    {
        m_pImpl->m_aListeners.push_back({nFd, m_pImpl->m_aListeners.size()});
    }
    catch (...)
    {
        close(nFd);
        return teServeResult::Failed;
    }
    return teServeResult::Serving;
}

bool CTraceWindowHost::Run(int nMilliseconds, PFN_LINE pfnLine, void* pContext)
{
    if (!m_pImpl || m_pImpl->m_nWakeFd < 0 || pfnLine == nullptr)
        return false;
    try
    {
        return m_pImpl->RunLoop(nMilliseconds, pfnLine, pContext);
    }
    catch (...)
    {
        return false;
    }
}

// A Stop that comes before Run is kept, so a signal that arrives early is not lost.
void CTraceWindowHost::Stop()
{
    if (!m_pImpl || m_pImpl->m_nWakeFd < 0)
        return;
    const std::uint64_t nOne = 1;
    ssize_t nIgnored = write(m_pImpl->m_nWakeFd, &nOne, sizeof nOne);
    (void)nIgnored;
}

} // namespace platform
