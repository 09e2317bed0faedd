#include "dp/files/BusFiles.h"

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/Telegram.h"
#include "dp/files/SlaveEntry.h"
#include "dp/files/TargetRotation.h"
#include "dp/gsd/GsdFileText.h"
#include "dp/gsd/GsdSlaveBuilder.h"
#include "dp/services/DpServices.h"

#include "sim/common/JsonFile.h"
#include "sim/common/PlantFields.h"

namespace dp
{

namespace
{

using korix::CFieldReader;
using korix::json;
using korix::MemberPlace;
using korix::QuotedInput;

// Names and values that go into the GSD file's reader, whose messages quote them whole. None
// of a GSD file's names or texts comes near this; a longer one is refused here, quoted short.
constexpr std::size_t kMaxGsdText = 256;
// The longest path the system opens.
constexpr std::size_t kMaxPath = 4096;

// The optional lengths of the bus file must agree with the configuration bytes.
bool CheckLength(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
                 const char* pszKey, std::uint8_t byFromConfig)
{
    std::uint64_t qwLength = 0;
    if (!fields.ReadUnsigned(jSlave, strPlace, pszKey, kMaxDpDataBytes, byFromConfig, qwLength))
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
    if (qwMin < kMinTsdrBits)
        return fields.Fail("timing.min_tsdr",
                           "must be at least " + std::to_string(kMinTsdrBits) + " bit times");
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

// "observe": true makes the slave one that another master owns and this one only reads: it is
// never sent Set_Prm, so the keys that only go into Set_Prm are refused rather than silently
// left unused. Its configuration ("config", or its GSD file's modules) is still needed: the
// slave's Get_Cfg is checked against it, and it gives the images' lengths.
bool ReadObserve(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
                 bool& bObserve)
{
    bObserve = false;
    const auto it = jSlave.find("observe");
    if (it == jSlave.end())
        return true;
    if (!it->is_boolean())
        return fields.Fail(MemberPlace(strPlace, "observe"), "must be true or false");
    bObserve = it->get<bool>();
    if (!bObserve)
        return true;
    for (const char* pszKey : {"user_prm", "parameters", "watchdog_ms", "group"})
    {
        if (jSlave.find(pszKey) != jSlave.end())
            return fields.Fail(MemberPlace(strPlace, pszKey),
                               "an observed slave is never parametrised by this master: its "
                               "owner sets its parameters, watchdog and group");
    }
    return true;
}

// A device description counts the bits of the device-related diagnosis from the block's
// header byte on (bits 0-7 are the header); SDiagTexts counts from the first byte behind it.
constexpr std::uint32_t kHeaderBits = 8;

SDiagTexts DiagTextsOf(const SGsdStation& station)
{
    SDiagTexts texts;
    for (const auto& [dwBit, strText] : station.unitDiagBits)
    {
        if (dwBit >= kHeaderBits)
            texts.unitBits[dwBit - kHeaderBits] = strText;
    }
    for (const SGsdDiagArea& area : station.unitDiagAreas)
    {
        if (area.dwFirstBit < kHeaderBits || area.dwLastBit < area.dwFirstBit)
            continue;
        SDiagTexts::SArea copy;
        copy.dwFirstBit = area.dwFirstBit - kHeaderBits;
        copy.dwLastBit = area.dwLastBit - kHeaderBits;
        for (const auto& [nValue, strText] : area.values)
        {
            if (nValue >= 0)
                copy.values[static_cast<std::uint32_t>(nValue)] = strText;
        }
        texts.unitAreas.push_back(copy);
    }
    for (const auto& [dwType, strText] : station.channelDiag)
    {
        if (dwType <= 0xFF)
            texts.channelErrors[static_cast<std::uint8_t>(dwType)] = strText;
    }
    return texts;
}

// A slave that names its device description: what it builds from the file and the chosen
// modules and parameter values. The station is kept for the checks after the hand-typed bytes.
struct SGsdSlave
{
    SGsdStation station;
    std::vector<std::string> moduleNames; // of the configuration built, in slot order
    bool bNamed = false;
};

bool FillFromGsd(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
                 const std::string& strBaseDir, std::uint32_t dwBaudRate, SGsdSlave& gsd,
                 SSlaveIdentity& identity, bool& bFilled)
{
    gsd = SGsdSlave{};
    std::string strFile;
    const bool bGsd = jSlave.find("gsd") != jSlave.end();
    if (bGsd && !fields.ReadString(jSlave, strPlace, "gsd", strFile))
        return false;
    if (bGsd && strFile.empty())
        return fields.Fail(MemberPlace(strPlace, "gsd"), "must name the slave's GSD file");
    if (strFile.size() > kMaxPath)
        return fields.Fail(MemberPlace(strPlace, "gsd"),
                           "\"" + QuotedInput(strFile) + "\" is longer than a path can be");
    if (!bGsd)
    {
        for (const char* pszKey : {"modules", "parameters"})
        {
            if (jSlave.find(pszKey) != jSlave.end())
                return fields.Fail(MemberPlace(strPlace, pszKey),
                                   "needs \"gsd\", the slave's GSD file");
        }
        return true;
    }
    SGsdSelection selection;
    selection.dwBaudRate = dwBaudRate;
    const json* pjModules = nullptr;
    if (!fields.ReadArray(jSlave, strPlace, "modules", pjModules))
        return false;
    for (std::size_t i = 0; pjModules != nullptr && i < pjModules->size(); ++i)
    {
        if (!(*pjModules)[i].is_string())
            return fields.Fail(korix::ElementPlace(MemberPlace(strPlace, "modules"), i),
                               "must be a module's name");
        const std::string& strModule = (*pjModules)[i].get_ref<const std::string&>();
        if (strModule.size() > kMaxGsdText)
            return fields.Fail(korix::ElementPlace(MemberPlace(strPlace, "modules"), i),
                               "\"" + QuotedInput(strModule) +
                                   "\" is longer than any module's "
                                   "name");
        selection.modules.push_back((*pjModules)[i].get<std::string>());
    }
    const auto itParameters = jSlave.find("parameters");
    if (itParameters != jSlave.end())
    {
        if (!itParameters->is_object())
            return fields.Fail(MemberPlace(strPlace, "parameters"),
                               "must be an object of names and values");
        for (const auto& [strName, jValue] : itParameters->items())
        {
            if (!jValue.is_string() && !jValue.is_number_integer())
                return fields.Fail(MemberPlace(MemberPlace(strPlace, "parameters"), strName),
                                   "must be a whole number or one of the parameter's texts");
            if (strName.size() > kMaxGsdText)
                return fields.Fail(MemberPlace(MemberPlace(strPlace, "parameters"), strName),
                                   "is longer than any parameter's name");
            if (jValue.is_string() && jValue.get_ref<const std::string&>().size() > kMaxGsdText)
                return fields.Fail(MemberPlace(MemberPlace(strPlace, "parameters"), strName),
                                   "\"" + QuotedInput(jValue.get_ref<const std::string&>()) +
                                       "\" is longer than any of the parameter's texts");
            selection.values.push_back(
                {strName, jValue.is_string() ? jValue.get<std::string>() : jValue.dump()});
        }
    }
    std::string strError;
    SGsdSlaveData data;
    const bool bRelative = !strFile.empty() && strFile[0] != '/';
    if (!ReadGsdFile(bRelative ? strBaseDir + strFile : strFile, gsd.station, strError) ||
        !CGsdSlaveBuilder(gsd.station).Build(selection, data, strError))
        return fields.Fail(MemberPlace(strPlace, "gsd"), strError);
    identity.wIdent = data.wIdent;
    identity.abyConfig = data.abyConfig;
    identity.abyUserPrm = data.abyUserPrm;
    gsd.moduleNames = data.moduleNames;
    gsd.bNamed = true;
    bFilled = true;
    return true;
}

// The token ring's keys; the TTR's default needs the slaves, and is filled in behind them.
bool ReadRing(CFieldReader& fields, const json& jRoot, SMasterConfig& config)
{
    std::uint64_t qwHighest = 0, qwRotation = 0, qwGap = 0;
    if (!fields.ReadUnsigned(jRoot, "", "highest_station_address", 126, 126, qwHighest) ||
        !fields.ReadUnsigned(jRoot, "", "target_rotation_time", kMaxTargetRotationBits, 0,
                             qwRotation) ||
        !fields.ReadUnsigned(jRoot, "", "gap_factor", 100, 10, qwGap))
        return false;
    if (qwHighest < config.byMasterAddress)
        return fields.Fail("highest_station_address",
                           "below master_address " + std::to_string(config.byMasterAddress) +
                               ": the master would be outside its own ring");
    if (jRoot.find("target_rotation_time") != jRoot.end() && qwRotation < kMinTargetRotationBits)
        return fields.Fail("target_rotation_time", "must be at least " +
                                                       std::to_string(kMinTargetRotationBits) +
                                                       " bit times");
    if (qwGap == 0)
        return fields.Fail("gap_factor", "must be from 1 to 100");
    config.byHighestAddress = static_cast<std::uint8_t>(qwHighest);
    config.dwTargetRotationBits = static_cast<std::uint32_t>(qwRotation);
    config.dwGapFactor = static_cast<std::uint32_t>(qwGap);
    return true;
}

bool ReadBus(CFieldReader& fields, const json& jRoot, const std::string& strBaseDir,
             SMasterConfig& config)
{
    std::uint64_t qwBaud = 0, qwMaster = 0, qwAllowance = 0, qwRestart = 0, qwGlobal = 0;
    if (!fields.CheckKeys(jRoot, "",
                          {"baud_rate", "master_address", "timing", "response_allowance_us",
                           "restart_interval_ms", "global_control_interval_ms", "slaves",
                           "highest_station_address", "target_rotation_time", "gap_factor",
                           "comment"}) ||
        !fields.ReadUnsigned(jRoot, "", "baud_rate", 12000000, std::nullopt, qwBaud) ||
        !fields.ReadUnsigned(jRoot, "", "master_address", kMaxStationAddress, 1, qwMaster) ||
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
    if (!ReadRing(fields, jRoot, config))
        return false;

    SGsdSlave gsd;
    const bool bRead = ReadSlaveArray(
        fields, jRoot,
        {"address", "ident", "user_prm", "config", "watchdog_ms", "group", "input_length",
         "output_length", "gsd", "modules", "parameters", "observe", "comment"},
        config.byMasterAddress,
        [&](const json& jSlave, const std::string& strPlace, const SSlaveIdentity& identity)
        {
            std::uint64_t qwWatchdog = 0, qwGroup = 0;
            bool bObserve = false;
            if (!ReadObserve(fields, jSlave, strPlace, bObserve) ||
                !CheckLength(fields, jSlave, strPlace, "input_length", identity.byInputLength) ||
                !CheckLength(fields, jSlave, strPlace, "output_length", identity.byOutputLength) ||
                !fields.ReadUnsigned(jSlave, strPlace, "watchdog_ms", 650250, 0, qwWatchdog) ||
                !fields.ReadUnsigned(jSlave, strPlace, "group", 255, 0, qwGroup))
                return false;
            SSlaveConfig slave;
            TakeIdentity(identity, slave);
            slave.dwWatchdogMs = static_cast<std::uint32_t>(qwWatchdog);
            slave.byGroup = static_cast<std::uint8_t>(qwGroup);
            slave.bObserve = slave.bReadOnly = bObserve;
            if (gsd.bNamed)
            {
                // What was typed by hand must still fit what the file declares.
                SGsdSlaveData data;
                data.wIdent = slave.wIdent;
                data.abyConfig = slave.abyConfig;
                data.abyUserPrm = slave.abyUserPrm;
                data.byInputLength = slave.byInputLength;
                data.byOutputLength = slave.byOutputLength;
                std::string strError;
                if (!CGsdSlaveBuilder(gsd.station).Check(data, config.bus.dwBaudRate, strError))
                    return fields.Fail(MemberPlace(strPlace, "gsd"), strError);
                slave.diagTexts = DiagTextsOf(gsd.station);
                // Configuration bytes typed by hand need not be the modules' slot by slot.
                if (jSlave.find("config") == jSlave.end())
                    slave.diagTexts.moduleNames = gsd.moduleNames;
            }
            // A device description's default parameters are the owner's business.
            if (bObserve)
                slave.abyUserPrm.clear();
            config.slaves.push_back(slave);
            return true;
        },
        [&](const json& jSlave, const std::string& strPlace, SSlaveIdentity& identity,
            bool& bFilled)
        {
            return FillFromGsd(fields, jSlave, strPlace, strBaseDir, config.bus.dwBaudRate, gsd,
                               identity, bFilled);
        });
    // Without a TTR of its own, the ring gets room for this master's cycle twice over.
    if (bRead && jRoot.find("target_rotation_time") == jRoot.end())
        config.dwTargetRotationBits = DefaultTargetRotationBits(config);
    return bRead;
}

} // namespace

bool ParseBusFile(const std::string& strText, SMasterConfig& config, std::string& strError,
                  const std::string& strBaseDir)
{
    json jRoot;
    if (!korix::ParseJsonText(strText, jRoot, strError))
        return false;
    CFieldReader fields;
    SMasterConfig read;
    if (!ReadBus(fields, jRoot, strBaseDir, read))
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

std::string FolderOf(const std::string& strPath)
{
#ifdef _WIN32
    const std::size_t nSlash = strPath.find_last_of("/\\");
#else
    const std::size_t nSlash = strPath.rfind('/');
#endif
    return nSlash == std::string::npos ? std::string() : strPath.substr(0, nSlash + 1);
}

} // namespace dp
