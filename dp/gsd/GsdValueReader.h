// Reads the value of a GSD line piece by piece: strings in double quotes, numbers in decimal
// or 0x hex (signed where a type allows), byte lists, ranges "min-max" and value lists
// "v1,v2,...". Each read skips the blanks before it; a failed read leaves the reason in Why().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dp
{

class CGsdValueReader
{
public:
    explicit CGsdValueReader(std::string_view text) : m_text(text) {}

    bool ReadString(std::string& strValue);
    bool ReadNumber(std::int64_t& nValue);
    // A number from nMin to nMax; the reason names what was read ("Max_Module").
    bool ReadNumberIn(std::int64_t nMin, std::int64_t nMax, const std::string& strWhat,
                      std::int64_t& nValue);
    // Bytes separated by commas (blanks too, as some files have them), each 0 to 255.
    bool ReadByteList(std::vector<std::uint8_t>& abyBytes);
    // "min-max" (bList false) or "v1,v2,..." (bList true; a single number is a list of one).
    bool ReadRangeOrList(bool& bList, std::int64_t& nMin, std::int64_t& nMax,
                         std::vector<std::int64_t>& anValues);
    // True when only blanks are left; otherwise the reason names what is left.
    bool ExpectEnd();
    bool AtEnd();

    const std::string& Why() const { return m_strWhy; }

private:
    void SkipBlanks();
    bool Fail(const std::string& strWhy);
    bool Take(char ch); // the next character after blanks, if it is ch

    std::string_view m_text;
    std::string m_strWhy;
};

} // namespace dp
