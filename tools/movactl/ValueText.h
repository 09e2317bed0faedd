// Value buffers and image bytes as a person reads them.
#pragma once

#include "tools/movactl/Variable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace movactl
{

// The number in a value buffer, which holds it in the host's (little-endian) order.
std::uint64_t NumberOf(const std::vector<std::uint8_t>& abyValue);

// A bit as 0 or 1, up to 64 bits in decimal, longer runs as their bytes after 0x.
std::string FormatValue(const SVariable& variable, const std::vector<std::uint8_t>& abyValue);

// The value as a number for plots: a bit as 0 or 1, up to 64 bits as its type says (a 64-bit
// integer to the nearest double); none for longer runs.
std::optional<double> NumericValue(const SVariable& variable,
                                   const std::vector<std::uint8_t>& abyValue);

// A number from NumericValue in the fewest digits that tell it apart: an f32 as the float it
// came from, anything else as a double ("-9511", "0.5", "1.8446744073709552e+19").
std::string FormatNumber(const SVariable& variable, double dNumber);

// Up to 64 bits in hex with two digits per byte; empty for bits and longer runs.
std::string FormatHex(const SVariable& variable, const std::vector<std::uint8_t>& abyValue);

// Bytes in hex, blank-separated: "12 34 AB".
std::string HexBytes(const std::uint8_t* pbyBytes, std::size_t nCount);

} // namespace movactl
