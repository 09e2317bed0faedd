#include "tools/dpmaster/ScanText.h"

#include "dp/services/DpServices.h"

#include <cstdio>

namespace dpmaster
{

namespace
{

std::string Hex(const std::vector<std::uint8_t>& abyBytes)
{
    std::string strHex;
    char achByte[4];
    for (const std::uint8_t by : abyBytes)
    {
        std::snprintf(achByte, sizeof achByte, "%02X", by);
        strHex += (strHex.empty() ? "" : " ") + std::string(achByte);
    }
    return strHex;
}

std::string Milliseconds(std::uint64_t qwNs)
{
    return std::to_string((qwNs + 500000) / 1000000) + " ms";
}

} // namespace

std::string SlaveStateText(const dp::SScannedStation& station)
{
    if (!station.bDiagnosis)
        return "state unknown";
    std::string strState;
    if ((station.byStatus1 & dp::kDiag1ConfigFault) != 0)
        strState = "configuration fault";
    else if ((station.byStatus1 & dp::kDiag1PrmFault) != 0)
        strState = "parameter fault";
    else if ((station.byStatus2 & dp::kDiag2PrmRequest) != 0)
        strState = "waiting for parameters";
    else if ((station.byStatus1 & dp::kDiag1StationNotReady) != 0)
        strState = "not ready for data exchange";
    else
        strState = "exchanging data";
    if ((station.byStatus1 & dp::kDiag1ExtDiag) != 0)
        strState += ", with diagnosis";
    return strState;
}

std::string StationLine(const dp::SScannedStation& station, const dp::SGsdChoice* pGsd)
{
    std::string strLine =
        "address " + std::to_string(station.byAddress) + ": " + dp::StationKindText(station.eKind);
    if (station.IsMaster())
        return strLine;
    if (station.bDiagnosis)
    {
        char achIdent[8];
        std::snprintf(achIdent, sizeof achIdent, "0x%04X", station.wIdent);
        strLine +=
            std::string(", ident ") + achIdent + ", " +
            (station.byMaster == dp::kDiagNoMaster ? std::string("no master")
                                                   : "master " + std::to_string(station.byMaster)) +
            ", " + SlaveStateText(station);
    }
    if (station.bConfig)
        strLine += ", config " + (station.abyConfig.empty() ? "none" : Hex(station.abyConfig)) +
                   " (" + std::to_string(station.dwInputBytes) + " bytes in, " +
                   std::to_string(station.dwOutputBytes) + " bytes out)";
    if (!station.strTrouble.empty())
        strLine += "; " + station.strTrouble;
    if (pGsd != nullptr && station.bDiagnosis)
    {
        if (pGsd->pStation == nullptr)
            strLine += "; no GSD file of its ident";
        else
        {
            strLine += "; GSD " + pGsd->pStation->strFile;
            if (pGsd->nCandidates > 1)
                strLine += " (of " + std::to_string(pGsd->nCandidates) + " files of the ident)";
            if (pGsd->match.bFound)
            {
                strLine += ", modules";
                for (std::size_t i = 0; i < pGsd->match.modules.size(); ++i)
                    strLine += std::string(i == 0 ? " \"" : ", \"") +
                               pGsd->match.modules[i]->strName + "\"";
            }
            else
                strLine += ": " + pGsd->match.strWhy;
        }
    }
    return strLine;
}

namespace
{

std::string ActiveMasterText(const dp::SScanReport& report)
{
    return report.nActiveMaster >= 0 ? "the bus has an active master (station " +
                                           std::to_string(report.nActiveMaster) + ")"
                                     : std::string("the bus is live (answers heard, their master "
                                                   "not)");
}

// Waiting to be taken in, the station answers the ring's FDL status requests and sends nothing
// else.
std::string SentWhileWaiting(const dp::SScanReport& report)
{
    if (report.dwStatusAnswered == 0)
        return "Nothing was sent";
    return std::to_string(report.dwStatusAnswered) +
           " FDL status answers to the ring's masters were sent, nothing else";
}

} // namespace

std::string ActiveMasterLine(const dp::SScanReport& report)
{
    if (report.eEnd == dp::teScanEnd::NotTakenIn)
        return ActiveMasterText(report) + ": joining its token ring";
    return ActiveMasterText(report) + "; joined its token ring in " +
           Milliseconds(report.qwJoinNs) + " (about " + std::to_string(report.dwRotationsWaited) +
           " rotations)";
}

std::string ScanEndText(const dp::SScanReport& report, std::uint32_t dwBaudRate)
{
    const std::string strRate = std::to_string(dwBaudRate) + " bit/s";
    switch (report.eEnd)
    {
    case dp::teScanEnd::Done:
        return {};
    case dp::teScanEnd::LiveLine:
        return ActiveMasterText(report) +
               "; a scan alone takes no live line, it joins the ring. Nothing was sent";
    case dp::teScanEnd::NotQuiet:
        return "the line never went quiet for the time-out in " + Milliseconds(report.qwListenNs) +
               ": " + std::to_string(report.heard.dwBytes) +
               " bytes, no valid telegram among them (a rate other than " + strRate +
               ", or noise; try --baud auto). Nothing was sent";
    case dp::teScanEnd::LineBusy:
        return "the line stopped going quiet at address " + std::to_string(report.byStoppedAt) +
               ": another station sends; the pass was broken off";
    case dp::teScanEnd::LineFailed:
        return "the port failed (at address " + std::to_string(report.byStoppedAt) + ")";
    case dp::teScanEnd::OutOfTime:
        return "the pass passed its bound of " + Milliseconds(report.qwPassBoundNs) +
               " at address " + std::to_string(report.byStoppedAt) + "; broken off" +
               (report.bOnRing ? " (the token stayed away too long between visits)" : "");
    case dp::teScanEnd::NotTakenIn:
        return ActiveMasterText(report) +
               (report.bHeardRing
                    ? "; its ring did not take the scanner in within " +
                          std::to_string(report.dwRotationsBound) +
                          " rotations (one whole walk of a gap at gap factor 10): pick an "
                          "--address just above a master's, which its GAP maintenance reaches "
                          "first. " +
                          SentWhileWaiting(report)
                    : "; no token went round in " + Milliseconds(report.qwJoinNs) +
                          ": a master that sends without passing a token has no ring to join; "
                          "scan while it is stopped. " +
                          SentWhileWaiting(report));
    case dp::teScanEnd::StationStopped:
        return "the scanner's station stopped sending: " + report.strStationTrouble +
               "; the pass was broken off at address " + std::to_string(report.byStoppedAt);
    }
    return "?";
}

} // namespace dpmaster
