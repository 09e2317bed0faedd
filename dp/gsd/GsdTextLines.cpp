#include "dp/gsd/GsdTextLines.h"

#include <cctype>

namespace dp
{

namespace
{

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\f' || ch == '\v';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// ISO-8859-1 maps each byte to the code point of the same number.
void AppendLatin1AsUtf8(std::string_view text, std::string& strOut)
{
    for (char ch : text)
    {
        const auto byChar = static_cast<unsigned char>(ch);
        if (byChar < 0x80)
        {
            strOut += ch;
            continue;
        }
        strOut += static_cast<char>(0xC0 | (byChar >> 6));
        strOut += static_cast<char>(0x80 | (byChar & 0x3F));
    }
}

// One physical line without its comment; false when a string runs to the line's end (a GSD
// string never spans lines, even joined ones).
bool StripComment(std::string_view line, std::string_view& kept)
{
    bool bInString = false;
    for (std::size_t i = 0; i < line.size(); ++i)
    {
        if (line[i] == '"')
            bInString = !bInString;
        else if (line[i] == ';' && !bInString)
        {
            kept = line.substr(0, i);
            return true;
        }
    }
    kept = line;
    return !bInString;
}

bool CutLine(std::size_t nLine, std::string_view text, SGsdLine& line, std::string& strWhy)
{
    line.nLine = nLine;
    std::size_t nEnd = 0;
    while (nEnd < text.size() && text[nEnd] != '(' && text[nEnd] != '=' && !IsBlank(text[nEnd]))
        ++nEnd;
    line.strKeyword = std::string(text.substr(0, nEnd));
    line.strLower = line.strKeyword;
    for (char& ch : line.strLower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::string_view rest = Trim(text.substr(nEnd));
    if (!rest.empty() && rest.front() == '(')
    {
        const std::size_t nClose = rest.find(')');
        if (nClose == std::string_view::npos)
        {
            strWhy = "'(' after " + line.strKeyword + " without ')'";
            return false;
        }
        line.bHasArgument = true;
        line.strArgument = std::string(Trim(rest.substr(1, nClose - 1)));
        rest = Trim(rest.substr(nClose + 1));
    }
    if (!rest.empty() && rest.front() == '=')
    {
        line.bAssigned = true;
        rest = Trim(rest.substr(1));
    }
    AppendLatin1AsUtf8(rest, line.strValue);
    return true;
}

bool CheckCharacters(std::string_view text, std::size_t& nBadLine, std::string& strWhy)
{
    std::size_t nLine = 1;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const auto byChar = static_cast<unsigned char>(text[i]);
        if (byChar == '\n')
            ++nLine;
        // A DOS end-of-file mark may close the text; old tools wrote one.
        if (byChar >= 0x20 || byChar == '\n' || byChar == '\r' || IsBlank(text[i]) ||
            (byChar == 0x1A && i + 1 == text.size()))
            continue;
        nBadLine = nLine;
        strWhy = byChar == 0
                     ? "a NUL byte: this is not a text file"
                     : "control character " + std::to_string(byChar) + ": this is not a text file";
        return false;
    }
    return true;
}

} // namespace

bool CGsdTextLines::Split(std::string_view text, std::vector<SGsdLine>& lines,
                          std::size_t& nBadLine, std::string& strWhy)
{
    lines.clear();
    if (!CheckCharacters(text, nBadLine, strWhy))
        return false;
    if (!text.empty() && text.back() == 0x1A)
        text.remove_suffix(1);
    std::string strJoined;
    std::size_t nJoinedFrom = 0;
    std::size_t nLine = 0;
    std::size_t nAt = 0;
    while (nAt < text.size())
    {
        ++nLine;
        // A line ends at LF, CR LF, or a lone CR.
        std::size_t nEnd = text.find_first_of("\r\n", nAt);
        std::string_view physical =
            text.substr(nAt, nEnd == std::string_view::npos ? std::string_view::npos : nEnd - nAt);
        if (nEnd == std::string_view::npos)
            nAt = text.size();
        else
            nAt = nEnd +
                  (text[nEnd] == '\r' && nEnd + 1 < text.size() && text[nEnd + 1] == '\n' ? 2 : 1);
        std::string_view kept;
        if (!StripComment(physical, kept))
        {
            nBadLine = nLine;
            strWhy = "a string without its closing '\"'";
            return false;
        }
        kept = Trim(kept);
        if (strJoined.empty())
            nJoinedFrom = nLine;
        const bool bContinued = !kept.empty() && kept.back() == '\\';
        if (bContinued)
            kept.remove_suffix(1);
        if (!strJoined.empty() && !kept.empty())
            strJoined += ' ';
        strJoined += Trim(kept);
        if (bContinued && nAt < text.size())
            continue;
        if (!strJoined.empty())
        {
            lines.emplace_back();
            if (!CutLine(nJoinedFrom, strJoined, lines.back(), strWhy))
            {
                nBadLine = nJoinedFrom;
                return false;
            }
        }
        strJoined.clear();
    }
    return true;
}

} // namespace dp
