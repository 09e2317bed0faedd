#include "platform/ByteOrder.h"

#include <arpa/inet.h>

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
