#include "dp/SlaveEntry.h"

#include "dp/ConfigBytes.h"
#include "dp/DpServices.h"

namespace dp
{

namespace
{

using korix::CFieldReader;
using korix::ElementPlace;
using korix::json;
using korix::MemberPlace;

bool ReadIdentity(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
                  std::uint8_t byReservedAddress, SSlaveIdentity& identity)
{
    std::uint64_t qwAddress = 0, qwIdent = 0;
    if (!fields.ReadUnsigned(jSlave, strPlace, "address", 125, std::nullopt, qwAddress) ||
        !fields.ReadUnsigned(jSlave, strPlace, "ident", 0xFFFF, std::nullopt, qwIdent) ||
        !fields.ReadHexBytes(jSlave, strPlace, "user_prm", identity.abyUserPrm) ||
        !fields.ReadHexBytes(jSlave, strPlace, "config", identity.abyConfig))
        return false;
    if (qwAddress == byReservedAddress)
        return fields.Fail(MemberPlace(strPlace, "address"),
                           std::to_string(qwAddress) + " is the master's address");
    if (identity.abyUserPrm.size() > kMaxUserPrmBytes)
        return fields.Fail(MemberPlace(strPlace, "user_prm"),
                           "at most " + std::to_string(kMaxUserPrmBytes) + " bytes");
    if (jSlave.find("config") == jSlave.end())
        return fields.Fail(strPlace, "\"config\" is missing");
    if (identity.abyConfig.empty() || identity.abyConfig.size() > 244)
        return fields.Fail(MemberPlace(strPlace, "config"), "must have 1 to 244 bytes");
    SImageLengths lengths;
    std::string strWhy;
    if (!ConfigImageLengths(identity.abyConfig.data(), identity.abyConfig.size(), lengths, strWhy))
        return fields.Fail(MemberPlace(strPlace, "config"), strWhy);
    if (lengths.dwInputs > 244 || lengths.dwOutputs > 244)
        return fields.Fail(MemberPlace(strPlace, "config"),
                           "adds up to " + std::to_string(lengths.dwInputs) + " input and " +
                               std::to_string(lengths.dwOutputs) +
                               " output bytes; at most 244 each");
    identity.byAddress = static_cast<std::uint8_t>(qwAddress);
    identity.wIdent = static_cast<std::uint16_t>(qwIdent);
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
                    const FReadSlave& readSlave)
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
        if (!fields.CheckKeys(jSlave, strPlace, keys) ||
            !ReadIdentity(fields, jSlave, strPlace, byReservedAddress, identity) ||
            !CheckUnique(fields, anSeenAt, identity.byAddress, i, strPlace) ||
            !readSlave(jSlave, strPlace, identity))
            return false;
    }
    return true;
}

} // namespace dp
