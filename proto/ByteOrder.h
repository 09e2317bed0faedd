// Values in a slave's image are big-endian; these turn them into the host's order and back
// (the same operation both ways), in place in the host's value buffer.
#pragma once

#include <algorithm>
#include <bit>

namespace byteorder
{

// Reverses nBytes bytes in place on a little-endian host; nothing to do on a big-endian one.
inline void NetworkToHost(unsigned char* pBytes, int nBytes)
{
    if constexpr (std::endian::native == std::endian::little)
        std::reverse(pBytes, pBytes + nBytes);
}

} // namespace byteorder
