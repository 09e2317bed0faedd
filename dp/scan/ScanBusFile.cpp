#include "dp/scan/ScanBusFile.h"

#include "dp/gsd/GsdSlaveBuilder.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace dp
{

namespace
{

namespace fs = std::filesystem;

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

// The GSD file as the bus file names it.
std::string GsdPathFor(const std::string& strGsd, const std::string& strBusFile)
{
    std::error_code error;
    const fs::path gsd = fs::absolute(strGsd, error);
    if (error)
        return strGsd;
    const fs::path folder = fs::absolute(fs::path(strBusFile), error).parent_path();
    if (error)
        return gsd.string();
    // Relative only inside the bus file's folder: the two then move together.
    const fs::path relative = fs::proximate(gsd, folder, error);
    if (error || relative.empty() || relative.is_absolute() || *relative.begin() == "..")
        return gsd.string();
    return relative.generic_string();
}

nlohmann::ordered_json SlaveEntry(const SFoundSlave& slave, const std::string& strBusFile)
{
    const SScannedStation& station = *slave.pStation;
    nlohmann::ordered_json jSlave;
    jSlave["address"] = station.byAddress;
    const SGsdChoice& gsd = slave.gsd;
    if (gsd.pStation != nullptr && gsd.match.bFound)
    {
        SGsdSelection selection;
        for (const SGsdModule* pModule : gsd.match.modules)
            selection.modules.push_back(pModule->strName);
        // A compact station with one Module needs none named.
        if (!gsd.pStation->IsModular() && gsd.pStation->modules.size() == 1)
            selection.modules.clear();
        SGsdSlaveData data;
        std::string strError;
        CGsdSlaveBuilder builder(*gsd.pStation);
        if (builder.Build(selection, data, strError))
        {
            jSlave["gsd"] = GsdPathFor(gsd.pStation->strFile, strBusFile);
            if (!selection.modules.empty())
                jSlave["modules"] = selection.modules;
            // Modules of one name: the file's first of the name may not be the one found, and
            // bytes typed in the entry win over the file's.
            if (data.abyConfig != station.abyConfig)
                jSlave["config"] = HexBytes(station.abyConfig);
            return jSlave;
        }
    }
    jSlave["ident"] = station.wIdent;
    jSlave["config"] = HexBytes(station.abyConfig);
    return jSlave;
}

} // namespace

SGsdChoice ChooseGsd(const SGsdCatalog& catalog, const SScannedStation& station)
{
    SGsdChoice choice;
    const auto it = catalog.byIdent.find(station.wIdent);
    if (!station.bDiagnosis || it == catalog.byIdent.end() || it->second.empty())
        return choice;
    choice.nCandidates = it->second.size();
    for (const SGsdStation& gsd : it->second)
    {
        SModuleMatch match = station.bConfig ? MatchModules(gsd, station.abyConfig)
                                             : SModuleMatch{false, {}, "no configuration came"};
        if (choice.pStation == nullptr || (match.bFound && !choice.match.bFound))
        {
            choice.pStation = &gsd;
            choice.match = std::move(match);
        }
        if (choice.match.bFound)
            break;
    }
    return choice;
}

std::string BusFileText(const SBusFileFacts& facts, const std::vector<SFoundSlave>& slaves,
                        const std::string& strBusFile, std::vector<std::string>& skipped)
{
    nlohmann::ordered_json jRoot;
    if (!facts.strComment.empty())
        jRoot["comment"] = facts.strComment;
    jRoot["baud_rate"] = facts.dwBaudRate;
    jRoot["master_address"] = facts.byMasterAddress;
    if (facts.dwResponseAllowanceUs != 0)
        jRoot["response_allowance_us"] = facts.dwResponseAllowanceUs;
    nlohmann::ordered_json jSlaves = nlohmann::ordered_json::array();
    for (const SFoundSlave& slave : slaves)
    {
        const SScannedStation& station = *slave.pStation;
        if (station.IsMaster())
            continue;
        if (!station.bDiagnosis || !station.bConfig || station.abyConfig.empty())
        {
            skipped.push_back(
                "slave " + std::to_string(station.byAddress) + ": " +
                (station.strTrouble.empty() ? "no configuration" : station.strTrouble));
            continue;
        }
        if (station.byAddress == facts.byMasterAddress)
        {
            skipped.push_back("slave " + std::to_string(station.byAddress) +
                              ": has the master's own address");
            continue;
        }
        jSlaves.push_back(SlaveEntry(slave, strBusFile));
    }
    jRoot["slaves"] = jSlaves;
    return jRoot.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool WriteBusFile(const std::string& strPath, const std::string& strText, bool bOverwrite,
                  std::string& strError)
{
    // "x": the file must be new, decided by the kernel at the open (no window between a check
    // and the write).
    std::FILE* pFile = std::fopen(strPath.c_str(), bOverwrite ? "w" : "wx");
    if (pFile == nullptr)
    {
        strError = strPath + ": " +
                   (errno == EEXIST ? std::string("exists already (--force overwrites it)")
                                    : std::string(std::strerror(errno)));
        return false;
    }
    const bool bWritten = std::fwrite(strText.data(), 1, strText.size(), pFile) == strText.size();
    const int nErrno = errno;
    const bool bClosed = std::fclose(pFile) == 0;
    if (!bWritten || !bClosed)
    {
        strError = strPath + ": " + std::strerror(bWritten ? errno : nErrno);
        return false;
    }
    return true;
}

} // namespace dp
