#include "tools/movactl/TerminalEncoding.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <string>

namespace movactl
{

bool TerminalShowsUtf8(std::FILE*)
{
    // The program runs in the "C" locale, whose number formats the tools rely on: the
    // environment's character set is read and the locale put back at once.
    const char* pszBefore = std::setlocale(LC_CTYPE, nullptr);
    std::string strBefore = pszBefore != nullptr ? pszBefore : "C";
    bool bUtf8 = false;
    if (std::setlocale(LC_CTYPE, "") != nullptr)
    {
        const char* pszCodeset = nl_langinfo(CODESET);
        bUtf8 = pszCodeset != nullptr &&
                (std::strcmp(pszCodeset, "UTF-8") == 0 || std::strcmp(pszCodeset, "utf8") == 0);
    }
    std::setlocale(LC_CTYPE, strBefore.c_str());
    return bUtf8;
}

} // namespace movactl
