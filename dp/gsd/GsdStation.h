// Everything a GSD (device description) file says that the master and people use: the station,
// its modules, its parameters with their texts, and its diagnosis texts. Texts are UTF-8 here
// (the file itself is ISO-8859-1). Every entry keeps its line, so that a later check can name
// it.
#pragma once

#include "dp/gsd/GsdModule.h"
#include "dp/gsd/GsdUserPrm.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dp
{

// A number the station declares; nLine 0 means the file does not give it.
struct SGsdNumber
{
    std::int64_t nValue = 0;
    std::size_t nLine = 0;
    bool Given() const { return nLine != 0; }
};

// The DP baud rates and the keywords that declare them, slowest first.
struct SGsdBaudRate
{
    std::uint32_t dwBitsPerSecond;
    const char* pszKeyword;
};
inline constexpr std::array<SGsdBaudRate, 11> kGsdBaudRates = {{{9600, "9.6_supp"},
                                                                {19200, "19.2_supp"},
                                                                {31250, "31.25_supp"},
                                                                {45450, "45.45_supp"},
                                                                {93750, "93.75_supp"},
                                                                {187500, "187.5_supp"},
                                                                {500000, "500_supp"},
                                                                {1500000, "1.5M_supp"},
                                                                {3000000, "3M_supp"},
                                                                {6000000, "6M_supp"},
                                                                {12000000, "12M_supp"}}};

// Unit_Diag_Area = first-last with its Value(v) = "text" lines.
struct SGsdDiagArea
{
    std::uint32_t dwFirstBit = 0;
    std::uint32_t dwLastBit = 0;
    std::size_t nLine = 0;
    std::map<std::int64_t, std::string> values;
};

struct SGsdStation
{
    std::string strFile; // as the caller named it; every error starts with it
    std::string strVendor;
    std::string strModel;
    SGsdNumber identNumber;
    SGsdNumber stationType; // 0 DP slave, 1 DP master
    SGsdNumber modularStation;
    SGsdNumber maxModule;
    SGsdNumber maxInputLength;
    SGsdNumber maxOutputLength;
    SGsdNumber maxDataLength;
    SGsdNumber maxUserPrmLength;
    SGsdNumber userPrmLength;
    SGsdNumber maxDiagLength;
    SGsdNumber dpv1Slave;
    std::array<SGsdNumber, kGsdBaudRates.size()> baudRates; // in kGsdBaudRates' order

    std::vector<std::uint8_t> abyUserPrmData; // User_Prm_Data, the older form
    std::size_t nUserPrmDataLine = 0;
    SGsdPrmBlock prm; // the station's own Ext_User_Prm_Data_Const/Ref entries

    std::vector<SGsdModule> modules; // in the file's order
    std::map<std::uint32_t, SGsdUserPrm> userPrms;
    std::map<std::uint32_t, SGsdPrmText> prmTexts;

    std::map<std::uint32_t, std::string> unitDiagBits;
    std::vector<SGsdDiagArea> unitDiagAreas;
    std::map<std::uint32_t, std::string> channelDiag;

    // Keywords this reader does not read: how many lines, and each keyword (as first spelled)
    // with its count.
    std::size_t nSkippedLines = 0;
    std::map<std::string, std::size_t> skippedKeywords;

    bool IsModular() const { return modularStation.nValue != 0; }
};

} // namespace dp
