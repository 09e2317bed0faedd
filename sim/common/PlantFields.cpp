#include "sim/common/PlantFields.h"

#include "sim/common/HexBytes.h"

#include <algorithm>
#include <limits>

namespace korix
{

std::string QuotedInput(std::string_view text)
{
    std::size_t nTake = text.size();
    if (nTake > kMaxQuotedBytes)
    {
        // Not in the middle of a UTF-8 sequence: back to the start of the character.
        nTake = kMaxQuotedBytes;
        while (nTake > 0 && (static_cast<unsigned char>(text[nTake]) & 0xC0) == 0x80)
            --nTake;
    }
    std::string strQuoted;
    for (char ch : text.substr(0, nTake))
    {
        const auto by = static_cast<unsigned char>(ch);
        if (by < 0x20 || by == 0x7F)
        {
            const char* const pszHex = "0123456789ABCDEF";
            strQuoted += "\\x";
            strQuoted += pszHex[by >> 4];
            strQuoted += pszHex[by & 0x0F];
        }
        else
            strQuoted += ch;
    }
    if (nTake < text.size())
        strQuoted += "... (" + std::to_string(text.size()) + " bytes)";
    return strQuoted;
}

std::string MemberPlace(const std::string& strPlace, std::string_view key)
{
    const std::string strKey = QuotedInput(key);
    return strPlace.empty() ? strKey : strPlace + "." + strKey;
}

std::string ElementPlace(const std::string& strPlace, std::size_t nIndex)
{
    return strPlace + "[" + std::to_string(nIndex) + "]";
}

bool CFieldReader::Fail(const std::string& strPlace, const std::string& strProblem)
{
    if (m_strError.empty())
        m_strError = strPlace.empty() ? strProblem : strPlace + ": " + strProblem;
    return false;
}

bool CFieldReader::CheckKeys(const json& jObject, const std::string& strPlace,
                             const std::vector<std::string_view>& keys)
{
    if (!jObject.is_object())
        return Fail(strPlace, "must be an object");
    for (const auto& item : jObject.items())
    {
        if (std::find(keys.begin(), keys.end(), item.key()) == keys.end())
            return Fail(MemberPlace(strPlace, item.key()), "unknown key");
    }
    // A comment is free text for people; anything else there is a mistake, not a comment.
    auto it = jObject.find("comment");
    if (it != jObject.end() && !it->is_string())
        return Fail(MemberPlace(strPlace, "comment"), "must be a string");
    return true;
}

bool CFieldReader::Missing(const std::string& strPlace, const char* pszKey)
{
    return Fail(strPlace, std::string("\"") + pszKey + "\" is missing");
}

namespace
{

// Whether the value is an integer from nMin to qwMax, whichever of its signed or unsigned forms
// the JSON reader kept it in.
bool IsIntegerWithin(const json& jValue, std::int64_t nMin, std::uint64_t qwMax)
{
    if (jValue.is_number_unsigned())
    {
        const auto qw = jValue.get<std::uint64_t>();
        return qw <= qwMax && (nMin <= 0 || qw >= static_cast<std::uint64_t>(nMin));
    }
    if (!jValue.is_number_integer())
        return false;
    const auto n = jValue.get<std::int64_t>();
    return n >= nMin && (n < 0 || static_cast<std::uint64_t>(n) <= qwMax);
}

} // namespace

bool CFieldReader::ReadUnsigned(const json& jObject, const std::string& strPlace,
                                const char* pszKey, std::uint64_t qwMax,
                                std::optional<std::uint64_t> qwDefault, std::uint64_t& qwValue)
{
    auto it = jObject.find(pszKey);
    if (it == jObject.end())
        return TakeDefault(strPlace, pszKey, qwDefault, qwValue);
    if (!IsIntegerWithin(*it, 0, qwMax))
        return Fail(MemberPlace(strPlace, pszKey),
                    "must be an integer from 0 to " + std::to_string(qwMax));
    qwValue = it->get<std::uint64_t>(); // not negative, so either form converts exactly
    return true;
}

bool CFieldReader::ReadSigned(const json& jObject, const std::string& strPlace, const char* pszKey,
                              std::int64_t nMin, std::int64_t nMax,
                              std::optional<std::int64_t> nDefault, std::int64_t& nValue)
{
    auto it = jObject.find(pszKey);
    if (it == jObject.end())
        return TakeDefault(strPlace, pszKey, nDefault, nValue);
    const std::uint64_t qwMax = nMax < 0 ? 0 : static_cast<std::uint64_t>(nMax);
    if (!IsIntegerWithin(*it, nMin, qwMax) || (nMax < 0 && it->get<std::int64_t>() > nMax))
        return Fail(MemberPlace(strPlace, pszKey), "must be an integer from " +
                                                       std::to_string(nMin) + " to " +
                                                       std::to_string(nMax));
    nValue = it->get<std::int64_t>();
    return true;
}

bool CFieldReader::ReadString(const json& jObject, const std::string& strPlace, const char* pszKey,
                              std::string& strValue)
{
    auto it = jObject.find(pszKey);
    if (it == jObject.end())
        return Missing(strPlace, pszKey);
    if (!it->is_string())
        return Fail(MemberPlace(strPlace, pszKey), "must be a string");
    strValue = it->get<std::string>();
    return true;
}

bool CFieldReader::ReadHexBytes(const json& jObject, const std::string& strPlace,
                                const char* pszKey, std::vector<std::uint8_t>& abyBytes)
{
    abyBytes.clear();
    auto it = jObject.find(pszKey);
    if (it == jObject.end())
        return true;
    if (!it->is_string() || !ParseHexBytes(it->get<std::string>(), abyBytes))
        return Fail(MemberPlace(strPlace, pszKey),
                    "must be a string of hex byte pairs, such as \"01 A2 FF\"");
    return true;
}

bool CFieldReader::ReadArray(const json& jObject, const std::string& strPlace, const char* pszKey,
                             const json*& pjArray)
{
    pjArray = nullptr;
    auto it = jObject.find(pszKey);
    if (it == jObject.end())
        return true;
    if (!it->is_array())
        return Fail(MemberPlace(strPlace, pszKey), "must be an array");
    pjArray = &*it;
    return true;
}

} // namespace korix
