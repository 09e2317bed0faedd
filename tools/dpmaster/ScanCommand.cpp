#include "tools/dpmaster/ScanCommand.h"

#include "tools/common/CommandLine.h"
#include "tools/dpmaster/ScanOptions.h"
#include "tools/dpmaster/ScanText.h"

#include "dp/line/SerialPort.h"
#include "dp/line/SerialPortLock.h"
#include "dp/scan/BaudProbe.h"
#include "dp/scan/GsdCatalog.h"
#include "dp/scan/RingScan.h"
#include "dp/scan/ScanBusFile.h"

#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace dpmaster
{

namespace
{

constexpr const char* kPrefix = "korix-dpmaster scan: ";

void Say(const std::string& strLine)
{
    std::printf("%s%s\n", kPrefix, strLine.c_str());
    std::fflush(stdout);
}

int Fail(const std::string& strWhy, int nExit = tools::ExitFailed)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s%s\n", kPrefix, strWhy.c_str());
    return nExit;
}

// --baud auto: the port set to each rate in turn, listened to; the rate found, or 0.
std::uint32_t FindRate(dp::CSerialPort& port, const SScanOptions& options, std::string& strWhy)
{
    const dp::SBaudProbe probe = dp::ProbeBaudRates(
        [&](std::uint32_t dwRate, std::string& strError) -> dp::IDpLine*
        {
            port.Close();
            if (!port.Open(options.strPort, dwRate, options.eRs485, strError))
                return nullptr;
            return &port;
        });
    for (const dp::SRateHeard& rate : probe.rates)
    {
        const dp::SLineHeard& heard = rate.heard;
        if (!rate.strError.empty())
            Say(std::to_string(rate.dwBaudRate) + " bit/s: " + rate.strError);
        else
            Say(std::to_string(rate.dwBaudRate) + " bit/s: " + std::to_string(heard.dwBytes) +
                " bytes, " + std::to_string(heard.dwChecked) + " telegrams with a check sum, " +
                std::to_string(heard.dwTokens) + " token telegrams, " +
                std::to_string(heard.parser.dwBadCheckSums + heard.parser.dwBadFrames +
                               heard.parser.dwTruncated) +
                " broken, " + std::to_string(heard.parser.dwSkippedBytes) +
                " bytes that began none");
    }
    port.Close();
    if (probe.dwFound != 0)
        return probe.dwFound;
    strWhy = probe.bSilent ? "the line is silent at every standard rate: a silent bus has no "
                             "rate to find; give it with --baud"
                           : "bytes came, but no standard rate carried valid telegrams (noise, "
                             "or a line that is no DP bus)";
    return 0;
}

void SayGsdFolder(const dp::SGsdCatalog& catalog, const std::string& strFolder)
{
    Say("GSD folder " + strFolder + ": " + std::to_string(catalog.nFilesRead) +
        " GSD files read, " + std::to_string(catalog.nRefused) + " refused" +
        (catalog.nLoopsSkipped != 0
             ? ", " + std::to_string(catalog.nLoopsSkipped) + " folders reached twice skipped"
             : std::string()));
    for (const std::string& strRefused : catalog.refused)
        Say("  refused: " + strRefused);
    if (catalog.nRefused > catalog.refused.size())
        Say("  and " + std::to_string(catalog.nRefused - catalog.refused.size()) + " more refused");
    if (!catalog.strStopped.empty())
        Say("  " + catalog.strStopped);
}

int Scan(const SScanOptions& options)
{
    dp::CSerialPortLock lock;
    std::string strError;
    if (!lock.Take(options.strPort, strError))
        return Fail(strError);
    if (!lock.Warning().empty())
        Say(lock.Warning());
    dp::CSerialPort port;
    std::uint32_t dwRate = options.dwBaudRate;
    if (dwRate == 0)
    {
        dwRate = FindRate(port, options, strError);
        if (dwRate == 0)
            return Fail(strError);
        Say("the line runs at " + std::to_string(dwRate) + " bit/s");
    }
    if (!port.Open(options.strPort, dwRate, options.eRs485, strError) ||
        !dp::HoldPortExclusively(port.Descriptor(), options.strPort, strError))
        return Fail(strError);

    dp::SScanSettings settings;
    dp::DefaultBusParameters(dwRate, settings.bus);
    settings.dwResponseAllowanceUs = options.uResponseAllowanceUs;
    settings.byOwnAddress = static_cast<std::uint8_t>(options.uAddress);
    settings.byHighestAddress = static_cast<std::uint8_t>(options.uHighestAddress);
    Say("listening, then scanning " + options.strPort + " at " + std::to_string(dwRate) +
        " bit/s as station " + std::to_string(options.uAddress) + ", addresses 0-" +
        std::to_string(options.uHighestAddress));
    const dp::SScanReport report = dp::ScanBus(port, settings);
    dp::ReleasePortExclusively(port.Descriptor());
    port.Close();
    if (report.bOnRing)
    {
        Say(ActiveMasterLine(report));
        for (const std::string& strEvent : report.ringEvents)
            Say(strEvent);
    }
    const std::string strEnd = ScanEndText(report, dwRate);
    if (report.eEnd == dp::teScanEnd::NotTakenIn || report.eEnd == dp::teScanEnd::NotQuiet)
        return Fail(strEnd,
                    report.eEnd == dp::teScanEnd::NotTakenIn ? kExitLiveBus : tools::ExitFailed);

    std::optional<dp::SGsdCatalog> catalog;
    if (!options.strGsdDir.empty())
    {
        std::set<std::uint16_t> idents;
        for (const dp::SScannedStation& station : report.stations)
            if (station.bDiagnosis)
                idents.insert(station.wIdent);
        catalog.emplace();
        if (!dp::ReadGsdCatalog(options.strGsdDir, idents, *catalog, strError))
            return Fail("--gsd-dir " + strError);
        SayGsdFolder(*catalog, options.strGsdDir);
    }
    std::vector<dp::SFoundSlave> slaves;
    std::size_t nSlaves = 0;
    for (const dp::SScannedStation& station : report.stations)
    {
        dp::SFoundSlave found;
        found.pStation = &station;
        if (catalog && !station.IsMaster())
            found.gsd = dp::ChooseGsd(*catalog, station);
        std::printf("%s\n", StationLine(station, catalog ? &found.gsd : nullptr).c_str());
        nSlaves += station.IsMaster() ? 0 : 1;
        slaves.push_back(found);
    }
    Say(std::to_string(report.stations.size()) + " stations (" + std::to_string(nSlaves) +
        " slaves) in one pass of " + std::to_string((report.qwPassNs + 500000) / 1000000) +
        " ms, " + std::to_string(report.dwRequests) + " requests" +
        (report.bOnRing ? " in " + std::to_string(report.dwVisits) + " token visits" +
                              (report.bLeftRing ? "; left the ring" : "")
                        : std::string()));
    // Another station woke up during the pass: what it sent was dropped, but the list may
    // miss what it kept busy.
    if (report.counters.dwForeign != 0)
        Say(std::to_string(report.counters.dwForeign) +
            " telegrams of other stations were heard during the pass");
    if (report.eEnd != dp::teScanEnd::Done)
        return Fail(strEnd);

    if (!options.strWriteBus.empty())
    {
        dp::SBusFileFacts facts;
        facts.dwBaudRate = dwRate;
        facts.byMasterAddress = static_cast<std::uint8_t>(options.uAddress);
        facts.dwResponseAllowanceUs = options.uResponseAllowanceUs;
        facts.strComment = "found by korix-dpmaster scan on " + options.strPort + " at " +
                           std::to_string(dwRate) + " bit/s";
        std::vector<std::string> skipped;
        const std::string strText = dp::BusFileText(facts, slaves, options.strWriteBus, skipped);
        for (const std::string& strSkipped : skipped)
            Say("left out of the bus file: " + strSkipped);
        if (!dp::WriteBusFile(options.strWriteBus, strText, options.bForce, strError))
            return Fail(strError);
        Say("wrote " + options.strWriteBus);
    }
    return tools::ExitOk;
}

} // namespace

int RunScanCommand(int argc, const char* const* argv)
{
    SScanOptions options;
    if (std::optional<int> nDone = ParseScanOptions(argc, argv, options))
        return *nDone;
    return Scan(options);
}

} // namespace dpmaster
