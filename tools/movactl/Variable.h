// One variable as a person names it: SLAVE:BYTE[.BIT]:BITS[:swap][:out] to read, and
// SLAVE:BYTE[.BIT]:BITS=VALUE[:swap] to write. BITS is a number of bits or a type (i16, f32,
// ValueType.h).
#pragma once

#include "tools/movactl/ValueType.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace movactl
{

// 255 bytes: no slave image is longer, and a record's image length is one byte on the wire.
inline constexpr std::uint16_t kMaxBitLength = 2040;

struct SVariable
{
    std::string strText; // as typed, for the tables
    std::uint8_t byAddress = 0;
    std::uint16_t wByteOffset = 0;
    std::uint16_t wBitOffset = 0;
    std::uint16_t wBitLength = 0;
    bool bSwap = false;
    bool bOutputs = false; // read the output image instead of the inputs
    teValueType eType = teValueType::Unsigned;
    std::vector<std::uint8_t> abyValue; // write: the value buffer as the record hands it over
};

// Bytes of a record's value buffer: a bit travels in a 16-bit word.
std::size_t ValueSize(std::uint16_t wBitLength);

bool ParseReadVariable(std::string_view text, SVariable& variable, std::string& strError);
bool ParseWriteVariable(std::string_view text, SVariable& variable, std::string& strError);

} // namespace movactl
