// Value buffers and image bytes as a person reads them.
#pragma once

#include "tools/movactl/Variable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace movactl
{

// The number in a value buffer, which holds it in the host's (little-endian) order.
std::uint64_t NumberOf(const std::vector<std::uint8_t>& abyValue);

// A bit as 0 or 1, up to 64 bits in decimal, longer runs as their bytes after 0x.
std::string FormatValue(const SVariable& variable, const std::vector<std::uint8_t>& abyValue);

// Up to 64 bits in hex with two digits per byte; empty for bits and longer runs.
std::string FormatHex(const SVariable& variable, const std::vector<std::uint8_t>& abyValue);

// Bytes in hex, blank-separated: "12 34 AB".
std::string HexBytes(const std::uint8_t* pbyBytes, std::size_t nCount);

} // namespace movactl
