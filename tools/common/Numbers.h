// Numbers as a person types them on the command line: decimal, or hex after 0x.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tools
{

// Decimal or 0x hex, at most qwMax; nothing else (no sign, no blanks).
bool ParseNumber(std::string_view text, std::uint64_t qwMax, std::uint64_t& qwValue);

// "0x" followed by exactly two hex digits per byte, first byte first.
bool ParseHexBytes(std::string_view text, std::size_t nBytes, std::vector<std::uint8_t>& abyBytes);

} // namespace tools
