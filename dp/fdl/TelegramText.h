// A telegram for people, as the trace shows it: its frame, addresses, function code in words,
// SAPs, data length, then its bytes in hex.
#pragma once

#include "dp/fdl/Telegram.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace dp
{

// "SD2 2->3 SRD high FCB FCV, SAP 62->60, 0 bytes"; "E5"; "SD4 2->5".
std::string TelegramDecode(const STelegram& telegram);

// The telegram's bytes on the wire in hex, "68 05 05 68 83 82 7d 3e 3c ..." (empty when it
// cannot be encoded).
std::string TelegramHex(const STelegram& telegram);

} // namespace dp
