// Sending side of trace delivery: a window is a SOCK_SEQPACKET listener, a line is one packet,
// and the window's one-byte answer (or its hanging up) ends the synchronous send.
#include "platform/TraceDelivery.h"

#include "platform/posix/TraceWindowAddress.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

namespace platform
{

struct STraceWindow
{
    int m_fd;
    // Keeps each line paired with its own answer when threads share a handle.
    std::mutex m_mutexSend;
};

namespace
{

// Anybody may bind a name in the abstract namespace; only this user's windows, or root's,
// may see our lines.
bool IsTrustedPeer(int fd)
{
    ucred peer{};
    socklen_t nLength = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &nLength) != 0)
        return false;
    return peer.uid == getuid() || peer.uid == 0;
}

bool SendPacket(int fd, const char* pText, std::size_t nLength)
{
    for (;;)
    {
        ssize_t nSent = send(fd, pText, nLength, MSG_NOSIGNAL);
        if (nSent >= 0)
            return static_cast<std::size_t>(nSent) == nLength;
        if (errno != EINTR)
            return false;
    }
}

void AwaitAnswer(int fd)
{
    char byAnswer = 0;
    while (recv(fd, &byAnswer, sizeof byAnswer, 0) < 0 && errno == EINTR)
    {
    }
}

} // namespace

std::uint32_t RegisterTraceMessage(const char* pszName)
{
    if (pszName == nullptr || *pszName == '\0')
        return 0;
    // FNV-1a: every process derives the same id without a registry to ask. Ids from 0xC000
    // up are where Win32 puts registered messages.
    std::uint32_t dwHash = 2166136261u;
    for (const char* p = pszName; *p != '\0'; ++p)
        dwHash = (dwHash ^ static_cast<unsigned char>(*p)) * 16777619u;
    return 0xC000u | (dwHash & 0x3FFFu);
}

HTraceWindow FindTraceWindow(const char* pszWindowClass)
{
    if (pszWindowClass == nullptr)
        return nullptr;
    sockaddr_un addr;
    socklen_t nAddrLength = posix::MakeTraceWindowAddress(pszWindowClass, addr);
    if (nAddrLength == 0)
        return nullptr;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    int nResult;
    do
        nResult = connect(fd, reinterpret_cast<const sockaddr*>(&addr), nAddrLength);
    while (nResult != 0 && errno == EINTR);
    STraceWindow* pWindow = nullptr;
    if (nResult == 0 && IsTrustedPeer(fd))
        pWindow = new (std::nothrow) STraceWindow{fd, {}};
    if (pWindow == nullptr)
        close(fd);
    return pWindow;
}

TraceAtom AddTraceAtom(const char* pszText)
{
    // The window reads the text while the sender waits, so the pointer itself carries it.
    if (pszText == nullptr)
        return 0;
    std::size_t nLength = strnlen(pszText, kMaxTraceAtomText + 1);
    if (nLength == 0 || nLength > kMaxTraceAtomText)
        return 0;
    return reinterpret_cast<TraceAtom>(pszText);
}

bool SendTraceMessage(HTraceWindow hWindow, std::uint32_t /*uMsg*/, TraceAtom atom)
{
    if (hWindow == nullptr)
        return false;
    const char* pText = reinterpret_cast<const char*>(atom);
    std::size_t nLength = pText != nullptr ? std::strlen(pText) : 0;
    try
    {
        std::lock_guard lock(hWindow->m_mutexSend);
        if (!SendPacket(hWindow->m_fd, pText, nLength))
            return false;
        AwaitAnswer(hWindow->m_fd);
        return true;
    }
    catch (const std::system_error&)
    {
        return false;
    }
}

void DeleteTraceAtom(TraceAtom /*atom*/) {}

void ReleaseTraceWindow(HTraceWindow hWindow)
{
    if (hWindow == nullptr)
        return;
    close(hWindow->m_fd);
    delete hWindow;
}

} // namespace platform
