// Where the trace window of a class listens on POSIX: a SOCK_SEQPACKET Unix socket in the
// abstract namespace, named "movatrace.<uid>.<window class>" behind a leading NUL byte.
// Shared by the sending side (TraceDelivery.cpp) and the window side (TraceWindowHost.cpp).
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform::posix
{

// Fills addr and returns the address length to pass to bind or connect, or 0 when the class
// name does not fit.
inline socklen_t MakeTraceWindowAddress(const char* pszWindowClass, sockaddr_un& addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    char* pName = addr.sun_path + 1; // sun_path[0] stays 0: abstract namespace
    std::size_t nRoom = sizeof addr.sun_path - 1;
    int nLen = std::snprintf(pName, nRoom, "movatrace.%u.%s", static_cast<unsigned>(getuid()),
                             pszWindowClass);
    if (nLen < 0 || static_cast<std::size_t>(nLen) >= nRoom)
        return 0;
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + nLen);
}

} // namespace platform::posix
