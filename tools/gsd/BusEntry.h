// A slave's entry of the bus file as korix-dpmaster reads it today, one line of JSON:
// { "address": 3, "ident": 4660, "config": "17 27", "user_prm": "00 0A", ... }
#pragma once

#include "dp/gsd/GsdSlaveData.h"

#include <cstdint>
#include <optional>
#include <string>

namespace gsdtool
{

std::string FormatBusEntry(std::uint8_t byAddress, const dp::SGsdSlaveData& data,
                           std::optional<std::uint32_t> watchdogMs, const std::string& strComment);

// Bytes as the bus file writes them: two hex digits each, upper case, one blank between.
std::string HexBytes(const std::vector<std::uint8_t>& abyBytes);

} // namespace gsdtool
