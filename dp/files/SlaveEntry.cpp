#include "dp/files/SlaveEntry.h"

#include "dp/fdl/Telegram.h"
#include "dp/services/ConfigBytes.h"
#include "dp/services/DpServices.h"

namespace dp
{

namespace
{

using korix::CFieldReader;
using korix::ElementPlace;
using korix::json;
using korix::MemberPlace;

// The ident: a number, or a string of one ("0x0A35", "2613"); decimal or 0x hex, never octal.
bool ReadIdent(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
               bool bOptional, std::uint16_t& wIdent)
{
    const auto it = jSlave.find("ident");
    if (it == jSlave.end() && bOptional)
        return true;
    if (it == jSlave.end() || !it->is_string())
    {
        std::uint64_t qwIdent = 0;
        if (!fields.ReadUnsigned(jSlave, strPlace, "ident", 0xFFFF, std::nullopt, qwIdent))
            return false;
        wIdent = static_cast<std::uint16_t>(qwIdent);
        return true;
    }
    const std::string strText = it->get<std::string>();
    const bool bHex =
        strText.size() > 2 && strText[0] == '0' && (strText[1] == 'x' || strText[1] == 'X');
    const std::string strDigits = bHex ? strText.substr(2) : strText;
    std::uint32_t dwValue = 0;
    bool bGood = !strDigits.empty() && strDigits.size() <= (bHex ? 4u : 5u);
    for (char ch : strDigits)
    {
        const int nDigit = ch >= '0' && ch <= '9'           ? ch - '0'
                           : bHex && ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                           : bHex && ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                                            : -1;
        bGood = bGood && nDigit >= 0;
        dwValue =
            dwValue * (bHex ? 16u : 10u) + static_cast<std::uint32_t>(nDigit < 0 ? 0 : nDigit);
    }
    if (!bGood || dwValue > 0xFFFF)
        return fields.Fail(MemberPlace(strPlace, "ident"),
                           "\"" + korix::QuotedInput(strText) +
                               "\" is no ident number (0 to 65535, or 0x0000 to 0xFFFF)");
    wIdent = static_cast<std::uint16_t>(dwValue);
    return true;
}

bool ReadIdentity(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
                  std::uint8_t byReservedAddress, bool bFilled, SSlaveIdentity& identity)
{
    std::uint64_t qwAddress = 0;
    // Bytes typed by hand win over what was filled in, field by field.
    std::vector<std::uint8_t> abyUserPrm, abyConfig;
    if (!fields.ReadUnsigned(jSlave, strPlace, "address", kMaxStationAddress, std::nullopt,
                             qwAddress) ||
        !ReadIdent(fields, jSlave, strPlace, bFilled, identity.wIdent) ||
        !fields.ReadHexBytes(jSlave, strPlace, "user_prm", abyUserPrm) ||
        !fields.ReadHexBytes(jSlave, strPlace, "config", abyConfig))
        return false;
    if (jSlave.find("user_prm") != jSlave.end() || !bFilled)
        identity.abyUserPrm = abyUserPrm;
    if (jSlave.find("config") != jSlave.end() || !bFilled)
        identity.abyConfig = abyConfig;
    if (qwAddress == byReservedAddress)
        return fields.Fail(MemberPlace(strPlace, "address"),
                           std::to_string(qwAddress) + " is the master's address");
    if (identity.abyUserPrm.size() > kMaxUserPrmBytes)
        return fields.Fail(MemberPlace(strPlace, "user_prm"),
                           "at most " + std::to_string(kMaxUserPrmBytes) + " bytes");
    if (jSlave.find("config") == jSlave.end() && !bFilled)
        return fields.Fail(strPlace, "\"config\" is missing");
    if (identity.abyConfig.empty() || identity.abyConfig.size() > kMaxConfigBytes)
        return fields.Fail(MemberPlace(strPlace, "config"),
                           "must have 1 to " + std::to_string(kMaxConfigBytes) + " bytes");
    SImageLengths lengths;
    std::string strWhy;
    if (!ConfigImageLengths(identity.abyConfig.data(), identity.abyConfig.size(), lengths, strWhy))
        return fields.Fail(MemberPlace(strPlace, "config"), strWhy);
    if (lengths.dwInputs > kMaxDpDataBytes || lengths.dwOutputs > kMaxDpDataBytes)
        return fields.Fail(MemberPlace(strPlace, "config"),
                           "adds up to " + std::to_string(lengths.dwInputs) + " input and " +
                               std::to_string(lengths.dwOutputs) + " output bytes; at most " +
                               std::to_string(kMaxDpDataBytes) + " each");
    identity.byAddress = static_cast<std::uint8_t>(qwAddress);
    identity.byInputLength = static_cast<std::uint8_t>(lengths.dwInputs);
    identity.byOutputLength = static_cast<std::uint8_t>(lengths.dwOutputs);
    return true;
}

bool CheckUnique(CFieldReader& fields, std::vector<int>& anSeenAt, std::uint8_t byAddress,
                 std::size_t nIndex, const std::string& strPlace)
{
    if (anSeenAt[byAddress] >= 0)
        return fields.Fail(MemberPlace(strPlace, "address"),
                           std::to_string(byAddress) + " is already used by slaves[" +
                               std::to_string(anSeenAt[byAddress]) + "]");
    anSeenAt[byAddress] = static_cast<int>(nIndex);
    return true;
}

} // namespace

bool ReadSlaveArray(CFieldReader& fields, const json& jRoot,
                    const std::vector<std::string_view>& keys, std::uint8_t byReservedAddress,
                    const FReadSlave& readSlave, const FFillSlave& fillSlave)
{
    const json* pjSlaves = nullptr;
    if (!fields.ReadArray(jRoot, "", "slaves", pjSlaves))
        return false;
    if (pjSlaves == nullptr)
        return fields.Fail("", "\"slaves\" is missing");
    std::vector<int> anSeenAt(128, -1);
    for (std::size_t i = 0; i < pjSlaves->size(); ++i)
    {
        const json& jSlave = (*pjSlaves)[i];
        const std::string strPlace = ElementPlace("slaves", i);
        SSlaveIdentity identity;
        bool bFilled = false;
        if (!fields.CheckKeys(jSlave, strPlace, keys) ||
            (fillSlave && !fillSlave(jSlave, strPlace, identity, bFilled)) ||
            !ReadIdentity(fields, jSlave, strPlace, byReservedAddress, bFilled, identity) ||
            !CheckUnique(fields, anSeenAt, identity.byAddress, i, strPlace) ||
            !readSlave(jSlave, strPlace, identity))
            return false;
    }
    return true;
}

} // namespace dp
