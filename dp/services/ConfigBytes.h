// Configuration identifier bytes (Chk_Cfg, Get_Cfg): what input and output lengths a slave's
// configuration adds up to.
//
// General identifier format, one byte:
//   bits 3-0 length - 1, bits 5-4 direction (01 input, 10 output, 11 input and output, 00 with
//   length 0: an empty slot), bit 6 unit (0 byte, 1 word), bit 7 consistency.
// Special identifier format (bits 5-4 = 00, bits 3-0 = count of manufacturer bytes, 0 to 14;
// 15 is not allowed):
//   bits 7-6: 00 no length byte (a free place only if the count is 0), 01 one input length
//   byte, 10 one output length byte, 11 an output then an input length byte. Each length byte:
//   bits 5-0 length - 1, bit 6 unit (word), bit 7 consistency. The manufacturer bytes follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dp
{

struct SImageLengths
{
    std::uint32_t dwInputs = 0;  // bytes
    std::uint32_t dwOutputs = 0; // bytes
};

// False with the reason (naming the byte) when the bytes do not form whole identifiers.
bool ConfigImageLengths(const std::uint8_t* pbyConfig, std::size_t nCount, SImageLengths& lengths,
                        std::string& strError);

} // namespace dp
