#include "sim/common/BoardPrefix.h"

#include <cstdlib>
#include <cstring>

namespace korix
{

namespace
{

constexpr char kDefaultPrefix[] = "korix";
constexpr std::size_t kMaxPrefixLength = 64;

bool IsUsablePrefix(const char* pszPrefix)
{
    std::size_t nLength = std::strlen(pszPrefix);
    if (nLength == 0 || nLength > kMaxPrefixLength)
        return false;
    for (std::size_t i = 0; i < nLength; ++i)
    {
        char ch = pszPrefix[i];
        bool bAllowed = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                        (ch >= '0' && ch <= '9') || ch == '_' || ch == '-' || ch == '.';
        if (!bAllowed)
            return false;
    }
    return true;
}

} // namespace

std::string UnusablePrefixMessage()
{
    const char* pszPrefix = std::getenv("KORIXSIM_PREFIX");
    if (pszPrefix == nullptr || *pszPrefix == '\0' || IsUsablePrefix(pszPrefix))
        return {};
    return "KORIXSIM_PREFIX='" + std::string(pszPrefix).substr(0, kMaxPrefixLength + 1) +
           "' cannot name a simulated board: it may hold 1 to 64 letters, digits, '_', '-' "
           "and '.'";
}

const char* BoardNamePrefix()
{
    const char* pszPrefix = std::getenv("KORIXSIM_PREFIX");
    if (pszPrefix == nullptr || *pszPrefix == '\0')
        return kDefaultPrefix;
    return IsUsablePrefix(pszPrefix) ? pszPrefix : nullptr;
}

} // namespace korix
