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

// The bits a value really has. Beyond a single bit the library reads and writes whole bytes:
// a 12-bit variable is the 2 bytes at its offset, all 16 bits read into the value buffer and
// all 16 written from it. So movactl shows, takes and writes the value of those whole bytes;
// masking 12 of them would show a value the host never gets and hide that a write sets the
// other 4 too.
std::uint16_t ValueBits(std::uint16_t wBitLength);

// "3:0:12 is 2 whole bytes (16 bits) ..." for a width that is neither one bit nor whole bytes,
// else "".
std::string WholeBytesNote(const SVariable& variable);

bool ParseReadVariable(std::string_view text, SVariable& variable, std::string& strError);
bool ParseWriteVariable(std::string_view text, SVariable& variable, std::string& strError);

} // namespace movactl
