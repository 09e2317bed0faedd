#include "tools/gsd/BusEntry.h"

#include <nlohmann/json.hpp>

namespace gsdtool
{

std::string HexBytes(const std::vector<std::uint8_t>& abyBytes)
{
    static const char achDigits[] = "0123456789ABCDEF";
    std::string strHex;
    for (std::uint8_t byValue : abyBytes)
    {
        if (!strHex.empty())
            strHex += ' ';
        strHex += achDigits[byValue >> 4];
        strHex += achDigits[byValue & 0x0F];
    }
    return strHex;
}

std::string FormatBusEntry(std::uint8_t byAddress, const dp::SGsdSlaveData& data,
                           std::optional<std::uint32_t> watchdogMs, const std::string& strComment)
{
    // Written by hand in the bus file's own key order; only the comment needs JSON's quoting.
    std::string strEntry = "{ \"address\": " + std::to_string(byAddress) +
                           ", \"ident\": " + std::to_string(data.wIdent) + ", \"config\": \"" +
                           HexBytes(data.abyConfig) + "\"";
    if (!data.abyUserPrm.empty())
        strEntry += ", \"user_prm\": \"" + HexBytes(data.abyUserPrm) + "\"";
    if (watchdogMs)
        strEntry += ", \"watchdog_ms\": " + std::to_string(*watchdogMs);
    strEntry += ", \"input_length\": " + std::to_string(data.byInputLength) +
                ", \"output_length\": " + std::to_string(data.byOutputLength);
    if (!strComment.empty())
        strEntry +=
            ", \"comment\": " + nlohmann::json(strComment)
                                    .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return strEntry + " }";
}

} // namespace gsdtool
