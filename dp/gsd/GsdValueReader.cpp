#include "dp/gsd/GsdValueReader.h"

#include <cctype>
#include <limits>

namespace dp
{

namespace
{

int DigitValue(char ch, int nBase)
{
    int nDigit = 99;
    if (ch >= '0' && ch <= '9')
        nDigit = ch - '0';
    else if (ch >= 'a' && ch <= 'f')
        nDigit = ch - 'a' + 10;
    else if (ch >= 'A' && ch <= 'F')
        nDigit = ch - 'A' + 10;
    return nDigit < nBase ? nDigit : -1;
}

std::string Shown(std::string_view text)
{
    std::string_view word = text.substr(0, text.find_first_of(" \t,"));
    if (word.empty())
        return "the line's end";
    return "'" + std::string(word.substr(0, 24)) + (word.size() > 24 ? "...'" : "'");
}

} // namespace

void CGsdValueReader::SkipBlanks()
{
    while (!m_text.empty() && (m_text.front() == ' ' || m_text.front() == '\t'))
        m_text.remove_prefix(1);
}

bool CGsdValueReader::Fail(const std::string& strWhy)
{
    m_strWhy = strWhy;
    return false;
}

bool CGsdValueReader::Take(char ch)
{
    SkipBlanks();
    if (m_text.empty() || m_text.front() != ch)
        return false;
    m_text.remove_prefix(1);
    return true;
}

bool CGsdValueReader::AtEnd()
{
    SkipBlanks();
    return m_text.empty();
}

bool CGsdValueReader::ExpectEnd()
{
    return AtEnd() || Fail("unexpected " + Shown(m_text));
}

bool CGsdValueReader::ReadString(std::string& strValue)
{
    if (!Take('"'))
        return Fail("expected a string in double quotes, found " + Shown(m_text));
    const std::size_t nClose = m_text.find('"');
    if (nClose == std::string_view::npos)
        return Fail("a string without its closing '\"'");
    strValue = std::string(m_text.substr(0, nClose));
    m_text.remove_prefix(nClose + 1);
    return true;
}

bool CGsdValueReader::ReadNumber(std::int64_t& nValue)
{
    SkipBlanks();
    const std::string_view start = m_text;
    const bool bNegative = Take('-');
    int nBase = 10;
    if (m_text.size() >= 2 && m_text[0] == '0' && (m_text[1] == 'x' || m_text[1] == 'X'))
    {
        nBase = 16;
        m_text.remove_prefix(2);
    }
    // The magnitude stays within what a signed 64-bit number holds, its minimum included.
    const std::uint64_t qwLimit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (bNegative ? 1 : 0);
    std::uint64_t qwMagnitude = 0;
    std::size_t nDigits = 0;
    while (!m_text.empty() && DigitValue(m_text.front(), nBase) >= 0)
    {
        const auto qwDigit = static_cast<std::uint64_t>(DigitValue(m_text.front(), nBase));
        if (qwMagnitude > (qwLimit - qwDigit) / static_cast<std::uint64_t>(nBase))
            return Fail("number " + Shown(start) + " is too large");
        qwMagnitude = qwMagnitude * static_cast<std::uint64_t>(nBase) + qwDigit;
        m_text.remove_prefix(1);
        ++nDigits;
    }
    const bool bGlued = !m_text.empty() && (std::isalnum(static_cast<unsigned char>(m_text[0])) ||
                                            m_text[0] == '_' || m_text[0] == '.');
    if (nDigits == 0 || bGlued)
        return Fail("expected a number, found " + Shown(start));
    nValue = bNegative ? static_cast<std::int64_t>(0 - qwMagnitude)
                       : static_cast<std::int64_t>(qwMagnitude);
    return true;
}

bool CGsdValueReader::ReadNumberIn(std::int64_t nMin, std::int64_t nMax, const std::string& strWhat,
                                   std::int64_t& nValue)
{
    std::int64_t nRead = 0;
    if (!ReadNumber(nRead))
        return false;
    if (nRead < nMin || nRead > nMax)
        return Fail(strWhat + " " + std::to_string(nRead) + " is not from " + std::to_string(nMin) +
                    " to " + std::to_string(nMax));
    nValue = nRead;
    return true;
}

bool CGsdValueReader::ReadByteList(std::vector<std::uint8_t>& abyBytes)
{
    abyBytes.clear();
    do
    {
        std::int64_t nByte = 0;
        if (!ReadNumberIn(0, 255, "byte", nByte))
            return false;
        abyBytes.push_back(static_cast<std::uint8_t>(nByte));
        Take(',');
    } while (!AtEnd());
    return true;
}

bool CGsdValueReader::ReadRangeOrList(bool& bList, std::int64_t& nMin, std::int64_t& nMax,
                                      std::vector<std::int64_t>& anValues)
{
    anValues.clear();
    std::int64_t nFirst = 0;
    if (!ReadNumber(nFirst))
        return false;
    if (Take('-'))
    {
        bList = false;
        nMin = nFirst;
        if (!ReadNumber(nMax))
            return false;
        if (nMax < nMin)
            return Fail("range " + std::to_string(nMin) + "-" + std::to_string(nMax) +
                        " ends below its start");
        return true;
    }
    bList = true;
    anValues.push_back(nFirst);
    while (Take(','))
    {
        std::int64_t nNext = 0;
        if (!ReadNumber(nNext))
            return false;
        anValues.push_back(nNext);
    }
    return true;
}

} // namespace dp
