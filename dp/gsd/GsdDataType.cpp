#include "dp/gsd/GsdDataType.h"

#include "dp/gsd/GsdValueReader.h"

#include <algorithm>
#include <array>

namespace dp
{

namespace
{

struct STypeName
{
    const char* pszLower;
    teGsdDataType eType;
};

constexpr std::array<STypeName, 8> kTypeNames = {{{"unsigned8", teGsdDataType::Unsigned8},
                                                  {"unsigned16", teGsdDataType::Unsigned16},
                                                  {"unsigned32", teGsdDataType::Unsigned32},
                                                  {"signed8", teGsdDataType::Signed8},
                                                  {"signed16", teGsdDataType::Signed16},
                                                  {"signed32", teGsdDataType::Signed32},
                                                  {"bit", teGsdDataType::Bit},
                                                  {"bitarea", teGsdDataType::BitArea}}};

// Bit(n) and BitArea(first-last) name bits 0 to 7 of their byte.
bool ReadBits(const SGsdLine& line, SGsdUserPrm& prm, std::string& strWhy)
{
    if (!line.bHasArgument)
    {
        strWhy = line.strKeyword + " needs its bit in parentheses";
        return false;
    }
    CGsdValueReader bits(line.strArgument);
    std::int64_t nFirst = 0, nLast = 0;
    if (!bits.ReadNumberIn(0, 7, "bit", nFirst))
    {
        strWhy = line.strKeyword + ": " + bits.Why();
        return false;
    }
    nLast = nFirst;
    if (prm.eType == teGsdDataType::BitArea)
    {
        const std::size_t nDash = line.strArgument.find('-');
        const std::string strLast =
            nDash == std::string::npos ? std::string() : line.strArgument.substr(nDash + 1);
        CGsdValueReader rest(strLast);
        if (nDash == std::string::npos || !rest.ReadNumberIn(nFirst, 7, "last bit", nLast) ||
            !rest.ExpectEnd())
        {
            strWhy = line.strKeyword + "(" + line.strArgument +
                     ") must name its first and last bit, 0 to 7: " +
                     (rest.Why().empty() ? "first-last" : rest.Why());
            return false;
        }
    }
    else if (!bits.ExpectEnd())
    {
        strWhy = line.strKeyword + ": " + bits.Why();
        return false;
    }
    prm.byFirstBit = static_cast<std::uint8_t>(nFirst);
    prm.byLastBit = static_cast<std::uint8_t>(nLast);
    return true;
}

std::string Fail(const SGsdUserPrm& prm, const std::string& strWhat)
{
    return "ExtUserPrmData " + std::to_string(prm.dwId) + " \"" + prm.strName + "\": " + strWhat;
}

} // namespace

void GsdTypeLimits(const SGsdUserPrm& prm, std::int64_t& nMin, std::int64_t& nMax)
{
    nMin = 0;
    switch (prm.eType)
    {
    case teGsdDataType::Unsigned8:
        nMax = 0xFF;
        break;
    case teGsdDataType::Unsigned16:
        nMax = 0xFFFF;
        break;
    case teGsdDataType::Unsigned32:
        nMax = 0xFFFFFFFF;
        break;
    case teGsdDataType::Signed8:
        nMin = -128, nMax = 127;
        break;
    case teGsdDataType::Signed16:
        nMin = -32768, nMax = 32767;
        break;
    case teGsdDataType::Signed32:
        nMin = -2147483648LL, nMax = 2147483647;
        break;
    case teGsdDataType::Bit:
    case teGsdDataType::BitArea:
        nMax = (1 << (prm.byLastBit - prm.byFirstBit + 1)) - 1;
        break;
    case teGsdDataType::Unread:
        nMax = 0;
        break;
    }
}

std::size_t GsdTypeBytes(teGsdDataType eType)
{
    switch (eType)
    {
    case teGsdDataType::Unsigned16:
    case teGsdDataType::Signed16:
        return 2;
    case teGsdDataType::Unsigned32:
    case teGsdDataType::Signed32:
        return 4;
    default:
        return 1;
    }
}

bool GsdValueAllowed(const SGsdUserPrm& prm, std::int64_t nValue)
{
    if (prm.bList)
        return std::find(prm.anAllowed.begin(), prm.anAllowed.end(), nValue) != prm.anAllowed.end();
    return nValue >= prm.nMin && nValue <= prm.nMax;
}

std::string GsdAllowedText(const SGsdUserPrm& prm)
{
    if (!prm.bList)
        return std::to_string(prm.nMin) + "-" + std::to_string(prm.nMax);
    std::string strText;
    for (std::int64_t nValue : prm.anAllowed)
        strText += (strText.empty() ? "" : ", ") + std::to_string(nValue);
    return strText;
}

bool ReadGsdDataType(const SGsdLine& line, SGsdUserPrm& prm, std::string& strWhy)
{
    prm.strTypeName = line.strKeyword;
    prm.eType = teGsdDataType::Unread;
    for (const STypeName& name : kTypeNames)
        if (line.strLower == name.pszLower)
            prm.eType = name.eType;
    if (prm.eType == teGsdDataType::Unread)
        return true;
    if ((prm.eType == teGsdDataType::Bit || prm.eType == teGsdDataType::BitArea) &&
        !ReadBits(line, prm, strWhy))
    {
        strWhy = Fail(prm, strWhy);
        return false;
    }
    std::int64_t nTypeMin = 0, nTypeMax = 0;
    GsdTypeLimits(prm, nTypeMin, nTypeMax);
    CGsdValueReader value(line.strValue);
    if (!value.ReadNumber(prm.nDefault))
    {
        strWhy = Fail(prm, "default: " + value.Why());
        return false;
    }
    prm.bList = false;
    prm.nMin = nTypeMin;
    prm.nMax = nTypeMax;
    if (!value.AtEnd() && !value.ReadRangeOrList(prm.bList, prm.nMin, prm.nMax, prm.anAllowed))
    {
        strWhy = Fail(prm, "allowed values: " + value.Why());
        return false;
    }
    if (!value.ExpectEnd())
    {
        strWhy = Fail(prm, value.Why());
        return false;
    }
    const bool bInType =
        prm.bList ? std::all_of(prm.anAllowed.begin(), prm.anAllowed.end(),
                                [&](std::int64_t n) { return n >= nTypeMin && n <= nTypeMax; })
                  : prm.nMin >= nTypeMin && prm.nMax <= nTypeMax;
    if (!bInType)
    {
        strWhy =
            Fail(prm, "allowed values " + GsdAllowedText(prm) + " do not fit " + prm.strTypeName +
                          " (" + std::to_string(nTypeMin) + "-" + std::to_string(nTypeMax) + ")");
        return false;
    }
    if (!GsdValueAllowed(prm, prm.nDefault))
    {
        strWhy = Fail(prm, "default " + std::to_string(prm.nDefault) + " is not among " +
                               GsdAllowedText(prm));
        return false;
    }
    return true;
}

} // namespace dp
