// Values in a slave's image are big-endian; these turn them into the host's order and back
// (the same operation both ways), in place in the host's value buffer, which need not be
// aligned.
#pragma once

#include "platform/ByteOrder.h"

#include <cstdint>
#include <cstring>

namespace byteorder
{

// nBytes is 2, 4 or 8; other lengths are left as they are.
inline void NetworkToHost(unsigned char* pBytes, int nBytes)
{
    if (nBytes == 2)
    {
        std::uint16_t wValue;
        std::memcpy(&wValue, pBytes, sizeof wValue);
        wValue = platform::NetworkToHost16(wValue);
        std::memcpy(pBytes, &wValue, sizeof wValue);
    }
    else if (nBytes == 4 || nBytes == 8)
    {
        // A 64-bit value is two 32-bit halves, each converted, in swapped places.
        std::uint32_t adwHalves[2] = {};
        std::memcpy(adwHalves, pBytes, static_cast<std::size_t>(nBytes));
        if (nBytes == 4)
            adwHalves[0] = platform::NetworkToHost32(adwHalves[0]);
        else
        {
            std::uint32_t dwHigh = platform::NetworkToHost32(adwHalves[0]);
            adwHalves[0] = platform::NetworkToHost32(adwHalves[1]);
            adwHalves[1] = dwHigh;
        }
        std::memcpy(pBytes, adwHalves, static_cast<std::size_t>(nBytes));
    }
}

} // namespace byteorder
