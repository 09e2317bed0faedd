#include "tools/gsd/StationText.h"

#include "tools/gsd/BusEntry.h"

#include "dp/gsd/GsdDataType.h"
#include "dp/gsd/GsdSlaveBuilder.h"
#include "dp/gsd/GsdValueText.h"
#include "dp/services/ConfigBytes.h"

#include <cstdio>

namespace gsdtool
{

namespace
{

std::string Declared(const dp::SGsdNumber& number)
{
    return number.Given() ? std::to_string(number.nValue) : "-";
}

std::string BaudRates(const dp::SGsdStation& station)
{
    std::string strRates;
    for (std::size_t i = 0; i < dp::kGsdBaudRates.size(); ++i)
        if (station.baudRates[i].nValue != 0)
            strRates += (strRates.empty() ? "" : ", ") +
                        std::to_string(dp::kGsdBaudRates[i].dwBitsPerSecond);
    return strRates.empty() ? "none declared" : strRates + " bit/s";
}

std::string TypeText(const dp::SGsdUserPrm& prm)
{
    if (prm.eType == dp::teGsdDataType::Bit)
        return "Bit(" + std::to_string(prm.byFirstBit) + ")";
    if (prm.eType == dp::teGsdDataType::BitArea)
        return "BitArea(" + std::to_string(prm.byFirstBit) + "-" + std::to_string(prm.byLastBit) +
               ")";
    return prm.strTypeName;
}

std::string ModuleLine(const dp::SGsdModule& module)
{
    dp::SImageLengths lengths;
    std::string strWhy;
    const std::string strLengths =
        dp::ConfigImageLengths(module.abyConfig.data(), module.abyConfig.size(), lengths, strWhy)
            ? std::to_string(lengths.dwInputs) + " in, " + std::to_string(lengths.dwOutputs) +
                  " out"
            : "configuration " + strWhy;
    std::string strLine =
        "  \"" + module.strName + "\": " + strLengths + "; config " + HexBytes(module.abyConfig);
    if (module.prm.nLength != 0)
        strLine += "; " + std::to_string(module.prm.nLength) + " parameter bytes";
    return strLine + " (line " + std::to_string(module.nLine) + ")\n";
}

std::string ParameterLines(const dp::SGsdStation& station, const dp::SGsdUserPrm& prm)
{
    std::string strLines =
        "  " + std::to_string(prm.dwId) + " \"" + prm.strName + "\": " + TypeText(prm);
    if (prm.eType != dp::teGsdDataType::Unread)
    {
        const std::string strName = dp::GsdValueName(station, prm, prm.nDefault);
        strLines += ", default " + std::to_string(prm.nDefault) +
                    (strName.empty() ? "" : " \"" + strName + "\"") + ", allowed " +
                    dp::GsdAllowedText(prm);
    }
    strLines += " (line " + std::to_string(prm.nLine) + ")\n";
    auto it = station.prmTexts.find(prm.dwTextRef);
    if (prm.nTextRefLine != 0 && it != station.prmTexts.end())
        for (const auto& [nValue, strText] : it->second.texts)
            strLines += "      " + std::to_string(nValue) + " = \"" + strText + "\"\n";
    return strLines;
}

std::string DiagnosisLines(const dp::SGsdStation& station)
{
    std::string strLines;
    for (const auto& [dwBit, strText] : station.unitDiagBits)
        strLines += "  Unit_Diag_Bit(" + std::to_string(dwBit) + ") \"" + strText + "\"\n";
    for (const dp::SGsdDiagArea& area : station.unitDiagAreas)
    {
        strLines += "  Unit_Diag_Area " + std::to_string(area.dwFirstBit) + "-" +
                    std::to_string(area.dwLastBit) + "\n";
        for (const auto& [nValue, strText] : area.values)
            strLines += "      " + std::to_string(nValue) + " = \"" + strText + "\"\n";
    }
    for (const auto& [dwType, strText] : station.channelDiag)
        strLines += "  Channel_Diag(" + std::to_string(dwType) + ") \"" + strText + "\"\n";
    return strLines;
}

// What every slave of the station begins its user parameters with, so that a person sees
// the bytes the master sends before any module's.
std::string StationPrmLine(const dp::SGsdStation& station)
{
    std::vector<std::uint8_t> abyOwn;
    std::string strWhy;
    if (!dp::CGsdSlaveBuilder(station).BuildStationPrm(abyOwn, strWhy))
        return "  station's own user parameters: " + std::to_string(station.prm.nLength) +
               " bytes; no defaults: " + strWhy + "\n";
    if (abyOwn.empty())
        return "";
    return "  station's own user parameters: " + std::to_string(abyOwn.size()) +
           " bytes, by default " + HexBytes(abyOwn) + "\n";
}

} // namespace

std::string StationRefusal(const dp::SGsdStation& station)
{
    std::vector<std::uint8_t> abyOwn;
    std::string strWhy;
    const dp::SGsdNumber& most = station.maxUserPrmLength;
    if (!most.Given() || !dp::CGsdSlaveBuilder(station).BuildStationPrm(abyOwn, strWhy) ||
        static_cast<std::int64_t>(abyOwn.size()) <= most.nValue)
        return "";
    return station.strFile + ":" + std::to_string(most.nLine) + ": the station's own " +
           std::to_string(abyOwn.size()) +
           " bytes of user parameter data are more than Max_User_Prm_Data_Len " +
           std::to_string(most.nValue) + ": the master refuses every slave of this station";
}

std::string FormatStation(const dp::SGsdStation& station)
{
    char achIdent[16];
    std::snprintf(achIdent, sizeof achIdent, "0x%04llX",
                  static_cast<unsigned long long>(station.identNumber.nValue));
    std::string strText =
        station.strFile + ": \"" + station.strVendor + "\", \"" + station.strModel + "\"\n";
    strText += "  Ident_Number " + (station.identNumber.Given() ? std::string(achIdent) : "-") +
               " (" + Declared(station.identNumber) + ")\n";
    strText += std::string("  ") +
               (station.IsModular()
                    ? "modular station, at most " + Declared(station.maxModule) + " modules"
                    : "compact station") +
               (station.dpv1Slave.nValue != 0 ? ", DP-V1" : "") + "\n";
    strText += "  baud rates: " + BaudRates(station) + "\n";
    strText += "  at most: " + Declared(station.maxInputLength) + " in, " +
               Declared(station.maxOutputLength) + " out, " + Declared(station.maxDataLength) +
               " in and out, " + Declared(station.maxUserPrmLength) + " user parameter bytes, " +
               Declared(station.maxDiagLength) + " diagnosis bytes\n";
    strText += StationPrmLine(station);
    strText += "modules:\n";
    for (const dp::SGsdModule& module : station.modules)
        strText += ModuleLine(module);
    if (!station.userPrms.empty())
        strText += "parameters:\n";
    for (const auto& [dwId, prm] : station.userPrms)
        strText += ParameterLines(station, prm);
    const std::string strDiagnosis = DiagnosisLines(station);
    if (!strDiagnosis.empty())
        strText += "diagnosis:\n" + strDiagnosis;
    if (station.nSkippedLines != 0)
    {
        strText += "skipped: " + std::to_string(station.nSkippedLines) + " lines (";
        std::string strKeywords;
        for (const auto& [strKeyword, nCount] : station.skippedKeywords)
            strKeywords += (strKeywords.empty() ? "" : ", ") + strKeyword +
                           (nCount > 1 ? " x" + std::to_string(nCount) : "");
        strText += strKeywords + ")\n";
    }
    return strText;
}

} // namespace gsdtool
