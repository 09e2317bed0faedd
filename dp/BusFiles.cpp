#include "dp/BusFiles.h"

#include "dp/ConfigBytes.h"
#include "dp/DpServices.h"

#include "sim/PlantFields.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace dp
{

namespace
{

using korix::CFieldReader;
using korix::ElementPlace;
using korix::json;
using korix::MemberPlace;

constexpr std::uint64_t kMaxU32 = 0xFFFFFFFFu;

bool ParseJson(const std::string& strText, json& jRoot, std::string& strError)
{
    try
    {
        jRoot = json::parse(strText);
        return true;
    }
    catch (const json::parse_error& e)
    {
        std::size_t nEnd = e.byte == 0 ? 0 : std::min<std::size_t>(e.byte - 1, strText.size());
        std::size_t nLine = 1, nLineStart = 0;
        for (std::size_t i = 0; i < nEnd; ++i)
        {
            if (strText[i] == '\n')
            {
                ++nLine;
                nLineStart = i + 1;
            }
        }
        std::string strWhat = e.what();
        std::size_t nColumn = strWhat.find("column ");
        std::size_t nColon = nColumn == std::string::npos ? nColumn : strWhat.find(": ", nColumn);
        strError = "line " + std::to_string(nLine) + ", column " +
                   std::to_string(nEnd - nLineStart + 1) + ": " +
                   (nColon == std::string::npos ? strWhat : strWhat.substr(nColon + 2));
        return false;
    }
}

// What a slave entry has in both files: address, ident, parameters, configuration, and the
// image lengths the configuration gives.
struct SIdentity
{
    std::uint8_t byAddress = 0;
    std::uint16_t wIdent = 0;
    std::vector<std::uint8_t> abyUserPrm;
    std::vector<std::uint8_t> abyConfig;
    std::uint8_t byInputLength = 0;
    std::uint8_t byOutputLength = 0;
};

bool ReadIdentity(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
                  std::uint8_t byReservedAddress, SIdentity& identity)
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

// The fields both files give a slave: address, ident, parameters and configuration.
template <typename TSlave> void TakeIdentity(const SIdentity& identity, TSlave& slave)
{
    slave.byAddress = identity.byAddress;
    slave.wIdent = identity.wIdent;
    slave.abyUserPrm = identity.abyUserPrm;
    slave.abyConfig = identity.abyConfig;
    slave.byInputLength = identity.byInputLength;
    slave.byOutputLength = identity.byOutputLength;
}

// Walks the root's "slaves" array: each element is checked for its keys, its identity and an
// address of its own, then handed to readSlave with its place in the file ("slaves[2]"). The
// first failure ends the walk.
template <typename TReadSlave>
bool ReadSlaveArray(CFieldReader& fields, const json& jRoot,
                    const std::vector<std::string_view>& keys, std::uint8_t byReservedAddress,
                    TReadSlave readSlave)
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
        SIdentity identity;
        if (!fields.CheckKeys(jSlave, strPlace, keys) ||
            !ReadIdentity(fields, jSlave, strPlace, byReservedAddress, identity) ||
            !CheckUnique(fields, anSeenAt, identity.byAddress, i, strPlace) ||
            !readSlave(jSlave, strPlace, identity))
            return false;
    }
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
        [&](const json& jSlave, const std::string& strPlace, const SIdentity& identity)
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

bool ReadGenerator(CFieldReader& fields, const json& jGenerator, const std::string& strPlace,
                   const SSlaveDefinition& slave, SInputGenerator& generator)
{
    std::string strKind;
    std::uint64_t qwOffset = 0, qwLength = 0, qwSource = 0, qwPeriod = 0, qwSeed = 0;
    std::int64_t nAmplitude = 0;
    if (!fields.CheckKeys(
            jGenerator, strPlace,
            {"kind", "offset", "length", "source", "period_ms", "amplitude", "seed", "comment"}) ||
        !fields.ReadString(jGenerator, strPlace, "kind", strKind) ||
        !fields.ReadUnsigned(jGenerator, strPlace, "offset", 243, std::nullopt, qwOffset) ||
        !fields.ReadUnsigned(jGenerator, strPlace, "length", 244, std::nullopt, qwLength))
        return false;
    if (strKind == "loopback")
        generator.eKind = teInputKind::Loopback;
    else if (strKind == "counter")
        generator.eKind = teInputKind::Counter;
    else if (strKind == "constant")
        generator.eKind = teInputKind::Constant;
    else if (strKind == "sine")
        generator.eKind = teInputKind::Sine;
    else if (strKind == "random")
        generator.eKind = teInputKind::Random;
    else
        return fields.Fail(MemberPlace(strPlace, "kind"),
                           "must be \"loopback\", \"counter\", \"sine\", \"random\" or "
                           "\"constant\"");
    if (qwLength == 0 || qwOffset + qwLength > slave.byInputLength)
        return fields.Fail(
            MemberPlace(strPlace, "length"),
            "bytes " + std::to_string(qwOffset) + ".." + std::to_string(qwOffset + qwLength - 1) +
                " are not inside the input length " + std::to_string(slave.byInputLength));
    if (!fields.ReadUnsigned(jGenerator, strPlace, "source", 243, qwOffset, qwSource) ||
        !fields.ReadUnsigned(jGenerator, strPlace, "period_ms", kMaxU32, 10, qwPeriod) ||
        !fields.ReadSigned(jGenerator, strPlace, "amplitude", 0, 2147483647, 0, nAmplitude) ||
        !fields.ReadUnsigned(jGenerator, strPlace, "seed", kMaxU32, 12345, qwSeed))
        return false;
    if (generator.eKind == teInputKind::Sine && qwLength < 8 &&
        nAmplitude >= (std::int64_t{1} << (8 * qwLength - 1)))
        return fields.Fail(MemberPlace(strPlace, "amplitude"),
                           "does not fit " + std::to_string(qwLength) + " signed bytes");
    if (qwSeed == 0)
        return fields.Fail(MemberPlace(strPlace, "seed"), "must be at least 1");
    if (generator.eKind == teInputKind::Loopback && qwSource + qwLength > slave.byOutputLength)
        return fields.Fail(MemberPlace(strPlace, "source"),
                           "output bytes " + std::to_string(qwSource) + ".." +
                               std::to_string(qwSource + qwLength - 1) +
                               " reach beyond the output length " +
                               std::to_string(slave.byOutputLength));
    if (qwPeriod == 0)
        return fields.Fail(MemberPlace(strPlace, "period_ms"), "must be at least 1");
    generator.byOffset = static_cast<std::uint8_t>(qwOffset);
    generator.byLength = static_cast<std::uint8_t>(qwLength);
    generator.bySource = static_cast<std::uint8_t>(qwSource);
    generator.dwPeriodMs = static_cast<std::uint32_t>(qwPeriod);
    generator.nAmplitude = static_cast<std::int32_t>(nAmplitude);
    generator.dwSeed = static_cast<std::uint32_t>(qwSeed);
    return true;
}

bool ReadSlaves(CFieldReader& fields, const json& jRoot, std::vector<SSlaveDefinition>& slaves)
{
    if (!fields.CheckKeys(jRoot, "", {"slaves", "comment"}))
        return false;
    return ReadSlaveArray(
        fields, jRoot,
        {"address", "ident", "user_prm", "config", "inputs", "generators", "comment"}, 0xFF,
        [&](const json& jSlave, const std::string& strPlace, const SIdentity& identity)
        {
            SSlaveDefinition slave;
            const json* pjGenerators = nullptr;
            if (!fields.ReadHexBytes(jSlave, strPlace, "inputs", slave.abyInitialInputs) ||
                !fields.ReadArray(jSlave, strPlace, "generators", pjGenerators))
                return false;
            TakeIdentity(identity, slave);
            if (slave.abyInitialInputs.size() > slave.byInputLength)
                return fields.Fail(MemberPlace(strPlace, "inputs"),
                                   "more bytes than the input length " +
                                       std::to_string(slave.byInputLength));
            for (std::size_t g = 0; pjGenerators != nullptr && g < pjGenerators->size(); ++g)
            {
                SInputGenerator generator;
                const std::string strGeneratorPlace =
                    ElementPlace(MemberPlace(strPlace, "generators"), g);
                if (!ReadGenerator(fields, (*pjGenerators)[g], strGeneratorPlace, slave, generator))
                    return false;
                slave.aGenerators.push_back(generator);
            }
            slaves.push_back(slave);
            return true;
        });
}

} // namespace

bool ParseBusFile(const std::string& strText, SMasterConfig& config, std::string& strError)
{
    json jRoot;
    if (!ParseJson(strText, jRoot, strError))
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

bool ParseSlaveFile(const std::string& strText, std::vector<SSlaveDefinition>& slaves,
                    std::string& strError)
{
    json jRoot;
    if (!ParseJson(strText, jRoot, strError))
        return false;
    CFieldReader fields;
    std::vector<SSlaveDefinition> read;
    if (!ReadSlaves(fields, jRoot, read))
    {
        strError = fields.Error();
        return false;
    }
    slaves = read;
    return true;
}

bool ReadTextFile(const std::string& strPath, std::string& strText, std::string& strError)
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
    if (pFile == nullptr)
    {
        strError = strPath + ": " + std::strerror(errno);
        return false;
    }
    std::string strRead;
    char achBuffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(achBuffer, 1, sizeof achBuffer, pFile)) > 0)
    {
        strRead.append(achBuffer, n);
        if (strRead.size() > 1024 * 1024)
        {
            std::fclose(pFile);
            strError = strPath + ": larger than 1 MiB";
            return false;
        }
    }
    std::fclose(pFile);
    strText = strRead;
    return true;
}

} // namespace dp
