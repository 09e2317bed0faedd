// ntohs and ntohl are the same calls on every system; only the header differs (on Windows
// they come from ws2_32).
#include "platform/ByteOrder.h"

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif

namespace platform
{

std::uint16_t NetworkToHost16(std::uint16_t wValue)
{
    return ntohs(wValue);
}

std::uint32_t NetworkToHost32(std::uint32_t dwValue)
{
    return ntohl(dwValue);
}

} // namespace platform
