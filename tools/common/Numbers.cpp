#include "tools/common/Numbers.h"

namespace tools
{

namespace
{

int DigitValue(char ch, int nBase)
{
    int nDigit = -1;
    if (ch >= '0' && ch <= '9')
        nDigit = ch - '0';
    else if (ch >= 'a' && ch <= 'f')
        nDigit = ch - 'a' + 10;
    else if (ch >= 'A' && ch <= 'F')
        nDigit = ch - 'A' + 10;
    return nDigit < nBase ? nDigit : -1;
}

bool StripHexPrefix(std::string_view& text)
{
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    text.remove_prefix(2);
    return true;
}

} // namespace

bool ParseNumber(std::string_view text, std::uint64_t qwMax, std::uint64_t& qwValue)
{
    int nBase = StripHexPrefix(text) ? 16 : 10;
    if (text.empty())
        return false;
    std::uint64_t qwResult = 0;
    for (char ch : text)
    {
        int nDigit = DigitValue(ch, nBase);
        if (nDigit < 0 || static_cast<std::uint64_t>(nDigit) > qwMax ||
            qwResult > (qwMax - static_cast<std::uint64_t>(nDigit)) / nBase)
            return false;
        qwResult = qwResult * nBase + static_cast<std::uint64_t>(nDigit);
    }
    qwValue = qwResult;
    return true;
}

bool ParseHexBytes(std::string_view text, std::size_t nBytes, std::vector<std::uint8_t>& abyBytes)
{
    if (!StripHexPrefix(text) || text.size() != 2 * nBytes)
        return false;
    std::vector<std::uint8_t> abyResult;
    for (std::size_t i = 0; i < text.size(); i += 2)
    {
        int nHigh = DigitValue(text[i], 16);
        int nLow = DigitValue(text[i + 1], 16);
        if (nHigh < 0 || nLow < 0)
            return false;
        abyResult.push_back(static_cast<std::uint8_t>(nHigh * 16 + nLow));
    }
    abyBytes = std::move(abyResult);
    return true;
}

} // namespace tools
