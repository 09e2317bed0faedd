// The lines of a GSD file as its keywords see them: comments (from ';' outside a string) gone,
// lines ending in '\' joined with the next, ISO-8859-1 turned into UTF-8, and each line cut
// into its keyword, the keyword's argument in parentheses, and the value after '='.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dp
{

struct SGsdLine
{
    std::size_t nLine = 0;  // where the line (or the first of a joined run) starts
    std::string strKeyword; // as written: "Ext_User_Prm_Data_Ref"
    std::string strLower;   // the same in lower case: keywords do not depend on case
    bool bHasArgument = false;
    std::string strArgument; // between the parentheses after the keyword, trimmed
    bool bAssigned = false;  // an '=' follows the keyword
    std::string strValue;    // after '=' (or after the keyword when there is none), trimmed
};

class CGsdTextLines
{
public:
    // False with the line and the reason when the text is not a GSD text at all: a NUL or
    // another control character, a string without its closing quote, a '(' without ')'.
    static bool Split(std::string_view text, std::vector<SGsdLine>& lines, std::size_t& nBadLine,
                      std::string& strWhy);
};

} // namespace dp
