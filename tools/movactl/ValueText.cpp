#include "tools/movactl/ValueText.h"

#include <charconv>
#include <cstdio>

namespace movactl
{

std::uint64_t NumberOf(const std::vector<std::uint8_t>& abyValue)
{
    std::uint64_t qwNumber = 0;
    for (std::size_t i = 0; i < abyValue.size() && i < 8; ++i)
        qwNumber |= static_cast<std::uint64_t>(abyValue[i]) << (8 * i);
    return qwNumber;
}

std::string FormatValue(const SVariable& variable, const std::vector<std::uint8_t>& abyValue)
{
    // The library hands a bit over as its weight in the byte (1, 2, 4 ... 128).
    if (variable.wBitLength == 1)
        return NumberOf(abyValue) != 0 ? "1" : "0";
    if (variable.wBitLength <= 64)
        return FormatTypedValue(variable.eType, ValueBits(variable.wBitLength), abyValue);
    std::string strText = "0x";
    for (std::uint8_t byValue : abyValue)
    {
        char szByte[3];
        std::snprintf(szByte, sizeof szByte, "%02X", byValue);
        strText += szByte;
    }
    return strText;
}

std::optional<double> NumericValue(const SVariable& variable,
                                   const std::vector<std::uint8_t>& abyValue)
{
    if (variable.wBitLength == 1)
        return NumberOf(abyValue) != 0 ? 1.0 : 0.0;
    if (variable.wBitLength > 64)
        return std::nullopt;
    STypedNumber number = TypedNumber(variable.eType, ValueBits(variable.wBitLength), abyValue);
    switch (variable.eType)
    {
    case teValueType::Signed:
        return static_cast<double>(number.nSigned);
    case teValueType::Float:
        return number.dFloat;
    case teValueType::Unsigned:
        break;
    }
    return static_cast<double>(number.qwUnsigned);
}

std::string FormatNumber(const SVariable& variable, double dNumber)
{
    char szText[64];
    std::to_chars_result result =
        variable.eType == teValueType::Float && variable.wBitLength == 32
            ? std::to_chars(szText, szText + sizeof szText, static_cast<float>(dNumber))
            : std::to_chars(szText, szText + sizeof szText, dNumber);
    return std::string(szText, result.ptr);
}

std::string FormatHex(const SVariable& variable, const std::vector<std::uint8_t>& abyValue)
{
    if (variable.wBitLength == 1 || variable.wBitLength > 64)
        return "";
    char szHex[24];
    std::snprintf(szHex, sizeof szHex, "0x%0*llX", static_cast<int>(2 * abyValue.size()),
                  static_cast<unsigned long long>(NumberOf(abyValue)));
    return szHex;
}

std::string HexBytes(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    std::string strText;
    for (std::size_t i = 0; i < nCount; ++i)
    {
        char szByte[4];
        std::snprintf(szByte, sizeof szByte, "%s%02X", i == 0 ? "" : " ", pbyBytes[i]);
        strText += szByte;
    }
    return strText;
}

} // namespace movactl
