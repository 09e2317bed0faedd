#include "tools/movactl/ValueType.h"

#include "tools/common/Numbers.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace movactl
{

namespace
{

// Value buffers hold their number in the host's order; every build of movactl runs on a
// little-endian x86.
static_assert(std::endian::native == std::endian::little);

std::uint64_t BitsOf(const std::vector<std::uint8_t>& abyValue)
{
    std::uint64_t qwBits = 0;
    for (std::size_t i = 0; i < abyValue.size() && i < 8; ++i)
        qwBits |= static_cast<std::uint64_t>(abyValue[i]) << (8 * i);
    return qwBits;
}

void PutBits(std::uint64_t qwBits, std::uint16_t wBits, std::vector<std::uint8_t>& abyValue)
{
    abyValue.assign((wBits + 7u) / 8u, 0);
    for (std::size_t i = 0; i < abyValue.size() && i < 8; ++i)
        abyValue[i] = static_cast<std::uint8_t>(qwBits >> (8 * i));
}

std::uint64_t UnsignedMax(std::uint16_t wBits)
{
    return wBits >= 64 ? ~0ull : (1ull << wBits) - 1;
}

template <typename TFloat> std::string ShortestText(TFloat value)
{
    char szText[64];
    auto result = std::to_chars(szText, szText + sizeof szText, value);
    return std::string(szText, result.ptr);
}

bool Refuse(std::string_view text, teValueType eType, std::uint16_t wBits,
            const std::string& strRange, std::string& strError)
{
    strError = "'" + std::string(text) + "' is not a value of type " + TypeName(eType, wBits) +
               " (" + strRange + ")";
    return false;
}

bool TakeUnsigned(std::string_view text, std::uint16_t wBits, std::vector<std::uint8_t>& abyValue,
                  std::string& strError)
{
    std::uint64_t qwValue = 0;
    if (!tools::ParseNumber(text, UnsignedMax(wBits), qwValue))
        return Refuse(text, teValueType::Unsigned, wBits,
                      "0 to " + std::to_string(UnsignedMax(wBits)), strError);
    PutBits(qwValue, wBits, abyValue);
    return true;
}

bool TakeSigned(std::string_view text, std::uint16_t wBits, std::vector<std::uint8_t>& abyValue,
                std::string& strError)
{
    const std::uint64_t qwMagnitudeMax = 1ull << (wBits - 1); // of the most negative value
    std::string strRange = "-" + std::to_string(qwMagnitudeMax) + " to " +
                           std::to_string(qwMagnitudeMax - 1) + ", or 0x and the bit pattern";
    bool bNegative = !text.empty() && text.front() == '-';
    bool bSigned = bNegative || (!text.empty() && text.front() == '+');
    std::string_view digits = bSigned ? text.substr(1) : text;
    bool bPattern =
        !bSigned && digits.size() > 1 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    std::uint64_t qwLimit =
        bPattern ? UnsignedMax(wBits) : (bNegative ? qwMagnitudeMax : qwMagnitudeMax - 1);
    std::uint64_t qwMagnitude = 0;
    if (!tools::ParseNumber(digits, qwLimit, qwMagnitude))
        return Refuse(text, teValueType::Signed, wBits, strRange, strError);
    // Two's complement: the negative value's bits are those of its magnitude subtracted from 0.
    std::uint64_t qwBits = bNegative ? (0 - qwMagnitude) : qwMagnitude;
    PutBits(qwBits & UnsignedMax(wBits), wBits, abyValue);
    return true;
}

// Only what a person writes as a decimal float: digits, one point, an exponent; or a word.
bool LooksLikeFloat(std::string_view text)
{
    std::string_view body = text;
    if (!body.empty() && (body.front() == '-' || body.front() == '+'))
        body.remove_prefix(1);
    if (body == "inf" || body == "nan")
        return true;
    if (body.empty() || body.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
        return false;
    return body.find_first_of("0123456789") != std::string_view::npos;
}

bool TakeFloat(std::string_view text, std::uint16_t wBits, std::vector<std::uint8_t>& abyValue,
               std::string& strError)
{
    std::string strRange =
        wBits == 32 ? "-" + ShortestText(std::numeric_limits<float>::max()) + " to " +
                          ShortestText(std::numeric_limits<float>::max()) + ", inf, -inf or nan"
                    : "-" + ShortestText(std::numeric_limits<double>::max()) + " to " +
                          ShortestText(std::numeric_limits<double>::max()) + ", inf, -inf or nan";
    if (!LooksLikeFloat(text))
        return Refuse(text, teValueType::Float, wBits, strRange, strError);
    std::string strText(text);
    char* pszEnd = nullptr;
    errno = 0;
    // strtof rounds once, straight to the float: no double rounding through a double.
    if (wBits == 32)
    {
        float fValue = std::strtof(strText.c_str(), &pszEnd);
        // An overflow gives inf with ERANGE; an underflow to the smallest magnitudes rounds.
        if (*pszEnd != '\0' || (errno == ERANGE && std::isinf(fValue)))
            return Refuse(text, teValueType::Float, wBits, strRange, strError);
        PutBits(std::bit_cast<std::uint32_t>(fValue), wBits, abyValue);
        return true;
    }
    double dValue = std::strtod(strText.c_str(), &pszEnd);
    if (*pszEnd != '\0' || (errno == ERANGE && std::isinf(dValue)))
        return Refuse(text, teValueType::Float, wBits, strRange, strError);
    PutBits(std::bit_cast<std::uint64_t>(dValue), wBits, abyValue);
    return true;
}

char Lower(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

} // namespace

bool ParseTypeName(std::string_view text, teValueType& eType, std::uint16_t& wBits)
{
    if (text.size() < 2)
        return false;
    char chKind = Lower(text.front());
    std::string_view width = text.substr(1);
    std::uint16_t wWidth = width == "8"    ? 8
                           : width == "16" ? 16
                           : width == "32" ? 32
                           : width == "64" ? 64
                                           : 0;
    if (wWidth == 0)
        return false;
    if (chKind == 'u')
        eType = teValueType::Unsigned;
    else if (chKind == 'i')
        eType = teValueType::Signed;
    else if (chKind == 'f' && wWidth >= 32)
        eType = teValueType::Float;
    else
        return false;
    wBits = wWidth;
    return true;
}

std::string TypeName(teValueType eType, std::uint16_t wBits)
{
    std::string strBits = std::to_string(wBits);
    switch (eType)
    {
    case teValueType::Signed:
        return "i" + strBits;
    case teValueType::Float:
        return "f" + strBits;
    case teValueType::Unsigned:
        break;
    }
    if (wBits == 1)
        return "bit";
    if (wBits == 8 || wBits == 16 || wBits == 32 || wBits == 64)
        return "u" + strBits;
    return strBits + "-bit unsigned";
}

STypedNumber TypedNumber(teValueType eType, std::uint16_t wBits,
                         const std::vector<std::uint8_t>& abyValue)
{
    STypedNumber number;
    number.eType = eType;
    std::uint64_t qwBits = BitsOf(abyValue) & UnsignedMax(wBits);
    switch (eType)
    {
    case teValueType::Signed:
    {
        // Sign-extend from the type's top bit.
        std::uint64_t qwSign = 1ull << (wBits - 1);
        number.nSigned = static_cast<std::int64_t>((qwBits ^ qwSign) - qwSign);
        break;
    }
    case teValueType::Float:
        number.dFloat = wBits == 32 ? std::bit_cast<float>(static_cast<std::uint32_t>(qwBits))
                                    : std::bit_cast<double>(qwBits);
        break;
    case teValueType::Unsigned:
        number.qwUnsigned = qwBits;
        break;
    }
    return number;
}

std::string FormatTypedValue(teValueType eType, std::uint16_t wBits,
                             const std::vector<std::uint8_t>& abyValue)
{
    STypedNumber number = TypedNumber(eType, wBits, abyValue);
    switch (eType)
    {
    case teValueType::Signed:
        return std::to_string(number.nSigned);
    case teValueType::Float:
        return wBits == 32 ? ShortestText(static_cast<float>(number.dFloat))
                           : ShortestText(number.dFloat);
    case teValueType::Unsigned:
        break;
    }
    return std::to_string(number.qwUnsigned);
}

bool ParseTypedValue(std::string_view text, teValueType eType, std::uint16_t wBits,
                     std::vector<std::uint8_t>& abyValue, std::string& strError)
{
    switch (eType)
    {
    case teValueType::Signed:
        return TakeSigned(text, wBits, abyValue, strError);
    case teValueType::Float:
        return TakeFloat(text, wBits, abyValue, strError);
    case teValueType::Unsigned:
        break;
    }
    return TakeUnsigned(text, wBits, abyValue, strError);
}

} // namespace movactl
