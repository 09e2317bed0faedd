#include "dp/BusFiles.h"

#include "dp/SlaveEntry.h"

#include "sim/JsonFile.h"
#include "sim/PlantFields.h"

namespace dp
{

namespace
{

using korix::CFieldReader;
using korix::json;
using korix::MemberPlace;

// The optional lengths of the bus file must agree with the configuration bytes.
bool CheckLength(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
                 const char* pszKey, std::uint8_t byFromConfig)
{
    std::uint64_t qwLength = 0;
    if (!fields.ReadUnsigned(jSlave, strPlace, pszKey, 244, byFromConfig, qwLength))
        return false;
    if (qwLength != byFromConfig)
        return fields.Fail(MemberPlace(strPlace, pszKey),
                           std::to_string(qwLength) + ", but the configuration bytes give " +
                               std::to_string(byFromConfig));
    return true;
}

bool ReadTiming(CFieldReader& fields, const json& jRoot, SBusParameters& bus)
{
    auto it = jRoot.find("timing");
    if (it == jRoot.end())
        return true;
    const json& jTiming = *it;
    const std::string strPlace = "timing";
    std::uint64_t qwSlot = 0, qwMin = 0, qwMax = 0, qwQuiet = 0, qwSetup = 0, qwRetry = 0;
    if (!fields.CheckKeys(jTiming, strPlace,
                          {"slot_time", "min_tsdr", "max_tsdr", "quiet_time", "setup_time",
                           "retry_limit", "comment"}) ||
        !fields.ReadUnsigned(jTiming, strPlace, "slot_time", 65535, bus.dwSlotTime, qwSlot) ||
        !fields.ReadUnsigned(jTiming, strPlace, "min_tsdr", 255, bus.dwMinTsdr, qwMin) ||
        !fields.ReadUnsigned(jTiming, strPlace, "max_tsdr", 65535, bus.dwMaxTsdr, qwMax) ||
        !fields.ReadUnsigned(jTiming, strPlace, "quiet_time", 255, bus.dwQuietTime, qwQuiet) ||
        !fields.ReadUnsigned(jTiming, strPlace, "setup_time", 255, bus.dwSetupTime, qwSetup) ||
        !fields.ReadUnsigned(jTiming, strPlace, "retry_limit", 7, bus.dwRetryLimit, qwRetry))
        return false;
    if (qwMin < 11)
        return fields.Fail("timing.min_tsdr", "must be at least 11 bit times");
    if (qwMax < qwMin)
        return fields.Fail("timing.max_tsdr", "below min_tsdr " + std::to_string(qwMin));
    if (qwSlot <= qwMax)
        return fields.Fail("timing.slot_time", "must exceed max_tsdr " + std::to_string(qwMax) +
                                                   ": an answer may take that long to start");
    bus.dwSlotTime = static_cast<std::uint32_t>(qwSlot);
    bus.dwMinTsdr = static_cast<std::uint32_t>(qwMin);
    bus.dwMaxTsdr = static_cast<std::uint32_t>(qwMax);
    bus.dwQuietTime = static_cast<std::uint32_t>(qwQuiet);
    bus.dwSetupTime = static_cast<std::uint32_t>(qwSetup);
    bus.dwRetryLimit = static_cast<std::uint32_t>(qwRetry);
    return true;
}

bool ReadBus(CFieldReader& fields, const json& jRoot, SMasterConfig& config)
{
    std::uint64_t qwBaud = 0, qwMaster = 0, qwAllowance = 0, qwRestart = 0, qwGlobal = 0;
    if (!fields.CheckKeys(jRoot, "",
                          {"baud_rate", "master_address", "timing", "response_allowance_us",
                           "restart_interval_ms", "global_control_interval_ms", "slaves",
                           "comment"}) ||
        !fields.ReadUnsigned(jRoot, "", "baud_rate", 12000000, std::nullopt, qwBaud) ||
        !fields.ReadUnsigned(jRoot, "", "master_address", 125, 1, qwMaster) ||
        !fields.ReadUnsigned(jRoot, "", "response_allowance_us", 10000000,
                             config.dwResponseAllowanceUs, qwAllowance) ||
        !fields.ReadUnsigned(jRoot, "", "restart_interval_ms", 60000, config.dwRestartIntervalMs,
                             qwRestart) ||
        !fields.ReadUnsigned(jRoot, "", "global_control_interval_ms", 60000,
                             config.dwGlobalControlIntervalMs, qwGlobal))
        return false;
    if (qwBaud < 1200)
        return fields.Fail("baud_rate", "must be from 1200 to 12000000");
    DefaultBusParameters(static_cast<std::uint32_t>(qwBaud), config.bus);
    if (!ReadTiming(fields, jRoot, config.bus))
        return false;
    config.byMasterAddress = static_cast<std::uint8_t>(qwMaster);
    config.dwResponseAllowanceUs = static_cast<std::uint32_t>(qwAllowance);
    config.dwRestartIntervalMs = static_cast<std::uint32_t>(qwRestart);
    config.dwGlobalControlIntervalMs = static_cast<std::uint32_t>(qwGlobal);

    return ReadSlaveArray(
        fields, jRoot,
        {"address", "ident", "user_prm", "config", "watchdog_ms", "group", "input_length",
         "output_length", "comment"},
        config.byMasterAddress,
        [&](const json& jSlave, const std::string& strPlace, const SSlaveIdentity& identity)
        {
            std::uint64_t qwWatchdog = 0, qwGroup = 0;
            if (!CheckLength(fields, jSlave, strPlace, "input_length", identity.byInputLength) ||
                !CheckLength(fields, jSlave, strPlace, "output_length", identity.byOutputLength) ||
                !fields.ReadUnsigned(jSlave, strPlace, "watchdog_ms", 650250, 0, qwWatchdog) ||
                !fields.ReadUnsigned(jSlave, strPlace, "group", 255, 0, qwGroup))
                return false;
            SSlaveConfig slave;
            TakeIdentity(identity, slave);
            slave.dwWatchdogMs = static_cast<std::uint32_t>(qwWatchdog);
            slave.byGroup = static_cast<std::uint8_t>(qwGroup);
            config.slaves.push_back(slave);
            return true;
        });
}

} // namespace

bool ParseBusFile(const std::string& strText, SMasterConfig& config, std::string& strError)
{
    json jRoot;
    if (!korix::ParseJsonText(strText, jRoot, strError))
        return false;
    CFieldReader fields;
    SMasterConfig read;
    if (!ReadBus(fields, jRoot, read))
    {
        strError = fields.Error();
        return false;
    }
    config = read;
    return true;
}

bool ReadTextFile(const std::string& strPath, std::string& strText, std::string& strError)
{
    return korix::ReadJsonFile(strPath, strText, strError);
}

} // namespace dp
