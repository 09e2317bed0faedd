// What the bits of a variable mean: an unsigned number (a plain bit count, or u8 to u64), a
// two's complement integer (i8 to i64) or an IEEE 754 float (f32, f64). The library moves
// bytes only; the type decides how movactl shows a value and which values it takes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace movactl
{

enum class teValueType
{
    Unsigned,
    Signed,
    Float
};

// "u8", "u16", "u32", "u64", "i8" ... "i64", "f32", "f64", in any case: the type and its bits.
// False for anything else (a plain number of bits is no type name).
bool ParseTypeName(std::string_view text, teValueType& eType, std::uint16_t& wBits);

// "i16", "f32", "u8"; unsigned widths without a name of their own: "12-bit unsigned".
std::string TypeName(teValueType eType, std::uint16_t wBits);

// The value in a value buffer (host order, little-endian) of up to 64 bits: integers in
// decimal, floats in the shortest text that reads back to the same value ("-100.5", "nan").
std::string FormatTypedValue(teValueType eType, std::uint16_t wBits,
                             const std::vector<std::uint8_t>& abyValue);

// The value in a value buffer of up to 64 bits as the type reads it: exactly for every integer
// of its type, which a double cannot hold for every 64-bit one.
struct STypedNumber
{
    teValueType eType = teValueType::Unsigned;
    std::uint64_t qwUnsigned = 0;
    std::int64_t nSigned = 0;
    double dFloat = 0;
};
STypedNumber TypedNumber(teValueType eType, std::uint16_t wBits,
                         const std::vector<std::uint8_t>& abyValue);

// Takes text as a value of the type (at most 64 bits) into abyValue, (wBits + 7) / 8 bytes in
// host order. Unsigned: decimal or 0x hex. Signed: decimal with an optional sign, or 0x hex
// for the bit pattern itself (0xFF as i8 is -1). Float: decimal with fraction and exponent,
// or inf, -inf, nan. A value out of range is refused with the type and its range named.
bool ParseTypedValue(std::string_view text, teValueType eType, std::uint16_t wBits,
                     std::vector<std::uint8_t>& abyValue, std::string& strError);

} // namespace movactl
