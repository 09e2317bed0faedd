// Reading the fields of a plant file, each refusal naming its place in the file.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korix
{

using json = nlohmann::json;

// Text from the user's file as a message quotes it: control characters as \xNN, and past
// kMaxQuotedBytes a prefix with the length, so that a file with a megabyte in one key or value
// still gives a message of one short line.
inline constexpr std::size_t kMaxQuotedBytes = 48;
std::string QuotedInput(std::string_view text);

// "slaves[2]" + "offset" -> "slaves[2].offset"; the top level has the empty place. The key is
// quoted as QuotedInput quotes it.
std::string MemberPlace(const std::string& strPlace, std::string_view key);
std::string ElementPlace(const std::string& strPlace, std::size_t nIndex);

// Each Read returns false and keeps the first refusal in m_strError. A field without a default
// (std::nullopt) must be present.
class CFieldReader
{
public:
    bool Fail(const std::string& strPlace, const std::string& strProblem);

    // Refuses any key of the object that is not among keys.
    bool CheckKeys(const json& jObject, const std::string& strPlace,
                   const std::vector<std::string_view>& keys);

    bool ReadUnsigned(const json& jObject, const std::string& strPlace, const char* pszKey,
                      std::uint64_t qwMax, std::optional<std::uint64_t> qwDefault,
                      std::uint64_t& qwValue);

    bool ReadSigned(const json& jObject, const std::string& strPlace, const char* pszKey,
                    std::int64_t nMin, std::int64_t nMax, std::optional<std::int64_t> nDefault,
                    std::int64_t& nValue);

    bool ReadString(const json& jObject, const std::string& strPlace, const char* pszKey,
                    std::string& strValue);

    // An optional string of hex bytes; absent gives no bytes.
    bool ReadHexBytes(const json& jObject, const std::string& strPlace, const char* pszKey,
                      std::vector<std::uint8_t>& abyBytes);

    // An optional array; absent gives null.
    bool ReadArray(const json& jObject, const std::string& strPlace, const char* pszKey,
                   const json*& pjArray);

    const std::string& Error() const { return m_strError; }

private:
    bool Missing(const std::string& strPlace, const char* pszKey);
    // A field that is absent: its default, or the refusal that it is missing.
    template <typename TValue>
    bool TakeDefault(const std::string& strPlace, const char* pszKey,
                     const std::optional<TValue>& defaultValue, TValue& value)
    {
        if (!defaultValue)
            return Missing(strPlace, pszKey);
        value = *defaultValue;
        return true;
    }

    std::string m_strError;
};

} // namespace korix
