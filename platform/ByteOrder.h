// Big-endian (network order) values to the host's order: ntohs and ntohl.
#pragma once

#include <cstdint>

namespace platform
{

std::uint16_t NetworkToHost16(std::uint16_t wValue);
std::uint32_t NetworkToHost32(std::uint32_t dwValue);

} // namespace platform
