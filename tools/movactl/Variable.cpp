#include "tools/movactl/Variable.h"

#include "tools/common/Numbers.h"

namespace movactl
{

using tools::ParseHexBytes;
using tools::ParseNumber;

namespace
{

std::vector<std::string_view> SplitFields(std::string_view text)
{
    std::vector<std::string_view> aFields;
    for (;;)
    {
        std::size_t nColon = text.find(':');
        aFields.push_back(text.substr(0, nColon));
        if (nColon == std::string_view::npos)
            return aFields;
        text.remove_prefix(nColon + 1);
    }
}

template <typename TValue>
bool TakeField(std::string_view field, std::uint64_t qwMin, std::uint64_t qwMax,
               const char* pszWhat, TValue& value, std::string& strError)
{
    std::uint64_t qwValue = 0;
    if (!ParseNumber(field, qwMax, qwValue) || qwValue < qwMin)
    {
        strError = "'" + std::string(field) + "' is not " + pszWhat + " (" + std::to_string(qwMin) +
                   " to " + std::to_string(qwMax) + ")";
        return false;
    }
    value = static_cast<TValue>(qwValue);
    return true;
}

bool TakePlace(std::string_view field, SVariable& variable, std::string& strError)
{
    std::size_t nDot = field.find('.');
    if (!TakeField(field.substr(0, nDot), 0, 0xFFFF, "a byte offset", variable.wByteOffset,
                   strError))
        return false;
    return nDot == std::string_view::npos ||
           TakeField(field.substr(nDot + 1), 0, 0xFFFF, "a bit number", variable.wBitOffset,
                     strError);
}

bool TakeModifier(std::string_view field, bool bWrite, SVariable& variable, std::string& strError)
{
    if (field != "swap" && field != "out")
    {
        strError = "'" + std::string(field) + "' is neither 'swap' nor 'out'";
        return false;
    }
    if (field == "out" && bWrite)
    {
        strError = "':out' is for reads; a write always goes to the outputs";
        return false;
    }
    bool& bFlag = field == "swap" ? variable.bSwap : variable.bOutputs;
    if (bFlag)
    {
        strError = "':" + std::string(field) + "' is given twice";
        return false;
    }
    bFlag = true;
    return true;
}

// A number of bits, or a type that brings its own.
bool TakeWidth(std::string_view field, SVariable& variable, std::string& strError)
{
    if (ParseTypeName(field, variable.eType, variable.wBitLength))
        return true;
    if (!field.empty() && field.front() >= '0' && field.front() <= '9')
        return TakeField(field, 1, kMaxBitLength, "a number of bits", variable.wBitLength,
                         strError);
    strError = "'" + std::string(field) +
               "' is neither a number of bits nor a type (u8 u16 u32 u64 i8 i16 i32 i64 f32 f64)";
    return false;
}

// SLAVE:BYTE[.BIT]:BITS followed by modifiers.
bool TakeVariable(std::string_view text, bool bWrite, SVariable& variable, std::string& strError)
{
    std::vector<std::string_view> aFields = SplitFields(text);
    if (aFields.size() < 3)
    {
        strError = "expected SLAVE:BYTE[.BIT]:BITS";
        return false;
    }
    if (!TakeField(aFields[0], 1, 125, "a slave address", variable.byAddress, strError) ||
        !TakePlace(aFields[1], variable, strError) || !TakeWidth(aFields[2], variable, strError))
        return false;
    if (variable.wBitLength != 1 && aFields[1].find('.') != std::string_view::npos)
    {
        strError = "a bit number (BYTE.BIT) goes with 1 bit only";
        return false;
    }
    for (std::size_t i = 3; i < aFields.size(); ++i)
    {
        if (!TakeModifier(aFields[i], bWrite, variable, strError))
            return false;
    }
    return true;
}

bool CheckSwap(const SVariable& variable, std::string& strError)
{
    if (variable.bSwap && variable.wBitLength != 16 && variable.wBitLength != 32 &&
        variable.wBitLength != 64)
    {
        strError = "':swap' works on 16, 32 and 64 bits only";
        return false;
    }
    return true;
}

// The value buffer in the host's (little-endian) order, as the record's pData carries it.
bool TakeValue(std::string_view text, SVariable& variable, std::string& strError)
{
    std::size_t nBytes = ValueSize(variable.wBitLength);
    if (variable.wBitLength > 64)
    {
        if (ParseHexBytes(text, nBytes, variable.abyValue))
            return true;
        strError = "a value of " + std::to_string(variable.wBitLength) +
                   " bits is written as 0x and " + std::to_string(2 * nBytes) +
                   " hex digits, first byte first";
        return false;
    }
    if (!ParseTypedValue(text, variable.eType, ValueBits(variable.wBitLength), variable.abyValue,
                         strError))
        return false;
    variable.abyValue.resize(nBytes); // a bit travels in a 16-bit word
    return true;
}

bool Explain(std::string_view text, std::string& strError)
{
    strError = "'" + std::string(text) + "': " + strError;
    return false;
}

} // namespace

std::size_t ValueSize(std::uint16_t wBitLength)
{
    return wBitLength == 1 ? 2 : (wBitLength + 7u) / 8u;
}

std::uint16_t ValueBits(std::uint16_t wBitLength)
{
    return wBitLength == 1 ? 1 : static_cast<std::uint16_t>(8 * ValueSize(wBitLength));
}

std::string WholeBytesNote(const SVariable& variable)
{
    std::uint16_t wBits = ValueBits(variable.wBitLength);
    if (wBits == variable.wBitLength)
        return "";
    std::size_t nBytes = ValueSize(variable.wBitLength);
    std::string strName = variable.strText.substr(0, variable.strText.find('=')); // of a write
    return strName + " is " + std::to_string(nBytes) + " whole byte" + (nBytes == 1 ? "" : "s") +
           " (" + std::to_string(wBits) + " bits): the library reads and writes " +
           std::to_string(wBits) + " bits for " + std::to_string(variable.wBitLength) +
           ", and so does movactl";
}

bool ParseReadVariable(std::string_view text, SVariable& variable, std::string& strError)
{
    variable = SVariable{};
    variable.strText = text;
    if (text.find('=') != std::string_view::npos)
    {
        strError = "a read takes no value";
        return Explain(text, strError);
    }
    if (!TakeVariable(text, false, variable, strError) || !CheckSwap(variable, strError))
        return Explain(text, strError);
    return true;
}

bool ParseWriteVariable(std::string_view text, SVariable& variable, std::string& strError)
{
    variable = SVariable{};
    variable.strText = text;
    std::size_t nEqual = text.find('=');
    if (nEqual == std::string_view::npos)
    {
        strError = "expected SLAVE:BYTE[.BIT]:BITS=VALUE";
        return Explain(text, strError);
    }
    // A trailing :swap belongs to the variable, whichever side of the value it stands.
    std::string_view value = text.substr(nEqual + 1);
    std::string strNamed(text.substr(0, nEqual));
    if (std::size_t nColon = value.find(':'); nColon != std::string_view::npos)
    {
        strNamed += value.substr(nColon);
        value = value.substr(0, nColon);
    }
    if (!TakeVariable(strNamed, true, variable, strError) || !CheckSwap(variable, strError) ||
        !TakeValue(value, variable, strError))
        return Explain(text, strError);
    return true;
}

} // namespace movactl
