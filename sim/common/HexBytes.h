// Byte strings as people type them: pairs of hex digits, blanks allowed between bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace korix
{

inline int HexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// False for anything but whole pairs of hex digits; the empty text gives no bytes.
inline bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& abyBytes)
{
    abyBytes.clear();
    std::size_t i = 0;
    while (i < text.size())
    {
        if (text[i] == ' ')
        {
            ++i;
            continue;
        }
        if (i + 1 >= text.size())
            return false;
        int nHigh = HexDigitValue(text[i]);
        int nLow = HexDigitValue(text[i + 1]);
        if (nHigh < 0 || nLow < 0)
            return false;
        abyBytes.push_back(static_cast<std::uint8_t>(nHigh * 16 + nLow));
        i += 2;
    }
    return true;
}

} // namespace korix
