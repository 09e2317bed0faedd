#include "dp/gsd/GsdReader.h"

#include "dp/DiagnosisText.h"
#include "dp/DpServices.h"
#include "dp/gsd/GsdDataType.h"
#include "dp/gsd/GsdStationResolver.h"
#include "dp/gsd/GsdValueReader.h"

#include <algorithm>
#include <array>

namespace dp
{

namespace
{

constexpr std::int64_t kMaxConfigBytes = 244;
constexpr auto kMaxPrmBytes = static_cast<std::int64_t>(kMaxUserPrmBytes);
constexpr std::int64_t kMaxId = 0xFFFFFFFF;

struct SStationNumber
{
    const char* pszLower;
    SGsdNumber SGsdStation::*pNumber;
    std::int64_t nMax;
};

// What the station declares as single numbers. The limits only keep nonsense out; whether a
// slave fits the bus is checked when a slave is built from the station.
constexpr std::array<SStationNumber, 11> kStationNumbers = {{
    {"ident_number", &SGsdStation::identNumber, 0xFFFF},
    {"station_type", &SGsdStation::stationType, 255},
    {"modular_station", &SGsdStation::modularStation, 1},
    {"max_module", &SGsdStation::maxModule, 65535},
    {"max_input_len", &SGsdStation::maxInputLength, 65535},
    {"max_output_len", &SGsdStation::maxOutputLength, 65535},
    {"max_data_len", &SGsdStation::maxDataLength, 65535},
    {"max_user_prm_data_len", &SGsdStation::maxUserPrmLength, 65535},
    {"user_prm_data_len", &SGsdStation::userPrmLength, kMaxPrmBytes},
    {"max_diag_data_len", &SGsdStation::maxDiagLength, 65535},
    {"dpv1_slave", &SGsdStation::dpv1Slave, 1},
}};

std::string Lower(const char* psz)
{
    std::string str = psz;
    for (char& ch : str)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return str;
}

const char* BlockName(int nBlock)
{
    static const char* const apszNames[] = {"", "Module", "ExtUserPrmData", "PrmText",
                                            "Unit_Diag_Area"};
    return apszNames[nBlock];
}

const char* BlockEnd(int nBlock)
{
    static const char* const apszEnds[] = {"", "EndModule", "EndExtUserPrmData", "EndPrmText",
                                           "Unit_Diag_Area_End"};
    return apszEnds[nBlock];
}

} // namespace

bool CGsdReader::Fail(std::size_t nLine, const std::string& strWhy)
{
    m_strError = m_station.strFile + ":" + std::to_string(nLine) + ": " + strWhy;
    return false;
}

bool CGsdReader::FailValue(const SGsdLine& line, const std::string& strWhy)
{
    std::string strKey = line.strKeyword;
    if (line.bHasArgument)
        strKey += "(" + line.strArgument + ")";
    return Fail(line.nLine, strKey + ": " + strWhy);
}

void CGsdReader::Skip(const SGsdLine& line)
{
    auto [it, bNew] = m_skippedSpelling.emplace(line.strLower, line.strKeyword);
    ++m_station.skippedKeywords[it->second];
    ++m_station.nSkippedLines;
}

bool CGsdReader::Read(std::string_view text, const std::string& strFile, SGsdStation& station,
                      std::string& strError)
{
    *this = CGsdReader();
    m_station.strFile = strFile;
    if (!ReadLines(text))
    {
        strError = m_strError;
        return false;
    }
    station = std::move(m_station);
    return true;
}

bool CGsdReader::ReadLines(std::string_view text)
{
    std::vector<SGsdLine> lines;
    std::size_t nBadLine = 0;
    std::string strWhy;
    if (!CGsdTextLines::Split(text, lines, nBadLine, strWhy))
        return Fail(nBadLine, strWhy);
    for (const SGsdLine& line : lines)
        if (!ReadLine(line))
            return false;
    if (m_eBlock != teBlock::None)
        return Fail(m_nBlockLine, std::string(BlockName(static_cast<int>(m_eBlock))) + " without " +
                                      BlockEnd(static_cast<int>(m_eBlock)));
    CGsdStationResolver resolver(m_station);
    return resolver.Resolve(m_strError);
}

bool CGsdReader::ReadLine(const SGsdLine& line)
{
    bool bOpened = false;
    if (!OpensBlock(line, bOpened))
        return false;
    if (bOpened)
        return true;
    switch (m_eBlock)
    {
    case teBlock::None:
        return ReadStationLine(line);
    case teBlock::Module:
        return ReadModuleLine(line);
    case teBlock::UserPrm:
        return ReadUserPrmLine(line);
    case teBlock::PrmText:
        return ReadPrmTextLine(line);
    case teBlock::DiagArea:
        return ReadDiagAreaLine(line);
    }
    return true;
}

// Module, ExtUserPrmData, PrmText and Unit_Diag_Area open a block; none opens inside another.
bool CGsdReader::OpensBlock(const SGsdLine& line, bool& bOpened)
{
    teBlock eOpens = teBlock::None;
    if (line.strLower == "module" && line.bAssigned)
        eOpens = teBlock::Module;
    else if (line.strLower == "extuserprmdata" && line.bAssigned)
        eOpens = teBlock::UserPrm;
    else if (line.strLower == "prmtext" && line.bAssigned)
        eOpens = teBlock::PrmText;
    else if (line.strLower == "unit_diag_area" && line.bAssigned)
        eOpens = teBlock::DiagArea;
    if (eOpens == teBlock::None)
        return true;
    bOpened = true;
    if (m_eBlock != teBlock::None)
        return Fail(line.nLine, std::string(BlockName(static_cast<int>(eOpens))) + " inside the " +
                                    BlockName(static_cast<int>(m_eBlock)) + " of line " +
                                    std::to_string(m_nBlockLine) + ": " +
                                    BlockEnd(static_cast<int>(m_eBlock)) + " is missing");
    const bool bOpen = eOpens == teBlock::Module    ? OpenModule(line)
                       : eOpens == teBlock::UserPrm ? OpenUserPrm(line)
                       : eOpens == teBlock::PrmText ? OpenPrmText(line)
                                                    : OpenDiagArea(line);
    if (!bOpen)
        return false;
    m_eBlock = eOpens;
    m_nBlockLine = line.nLine;
    return true;
}

bool CGsdReader::OpenModule(const SGsdLine& line)
{
    CGsdValueReader value(line.strValue);
    SGsdModule module;
    module.nLine = line.nLine;
    if (!value.ReadString(module.strName) || !value.ReadByteList(module.abyConfig))
        return FailValue(line, value.Why());
    if (static_cast<std::int64_t>(module.abyConfig.size()) > kMaxConfigBytes)
        return FailValue(line, "more than 244 configuration bytes");
    m_station.modules.push_back(std::move(module));
    m_bModuleFirstLine = true;
    return true;
}

bool CGsdReader::OpenUserPrm(const SGsdLine& line)
{
    CGsdValueReader value(line.strValue);
    std::int64_t nId = 0;
    SGsdUserPrm prm;
    prm.nLine = line.nLine;
    if (!value.ReadNumberIn(0, kMaxId, "id", nId) || !value.ReadString(prm.strName) ||
        !value.ExpectEnd())
        return FailValue(line, value.Why());
    prm.dwId = static_cast<std::uint32_t>(nId);
    auto [it, bNew] = m_station.userPrms.emplace(prm.dwId, prm);
    if (!bNew)
        return FailValue(line, std::to_string(nId) + " is defined already at line " +
                                   std::to_string(it->second.nLine));
    m_dwBlockId = prm.dwId;
    return true;
}

bool CGsdReader::OpenPrmText(const SGsdLine& line)
{
    CGsdValueReader value(line.strValue);
    std::int64_t nId = 0;
    if (!value.ReadNumberIn(0, kMaxId, "id", nId) || !value.ExpectEnd())
        return FailValue(line, value.Why());
    SGsdPrmText texts;
    texts.dwId = static_cast<std::uint32_t>(nId);
    texts.nLine = line.nLine;
    auto [it, bNew] = m_station.prmTexts.emplace(texts.dwId, texts);
    if (!bNew)
        return FailValue(line, std::to_string(nId) + " is defined already at line " +
                                   std::to_string(it->second.nLine));
    m_dwBlockId = texts.dwId;
    return true;
}

bool CGsdReader::OpenDiagArea(const SGsdLine& line)
{
    CGsdValueReader value(line.strValue);
    SGsdDiagArea area;
    area.nLine = line.nLine;
    bool bList = false;
    std::int64_t nFirst = 0, nLast = 0;
    std::vector<std::int64_t> anIgnored;
    if (!value.ReadRangeOrList(bList, nFirst, nLast, anIgnored) || !value.ExpectEnd())
        return FailValue(line, value.Why());
    if (bList || nFirst < 0 || nLast > 8 * 244)
        return FailValue(line, "must be first-last, bits of the diagnosis");
    area.dwFirstBit = static_cast<std::uint32_t>(nFirst);
    area.dwLastBit = static_cast<std::uint32_t>(nLast);
    // Each diagnosis a slave sends is put into words with these; more of them than any device
    // needs, or one twice, only makes that slow.
    if (m_station.unitDiagAreas.size() >= kMaxUnitDiagAreas)
        return FailValue(line, "more than " + std::to_string(kMaxUnitDiagAreas) +
                                   " areas, the most a station may declare");
    for (const SGsdDiagArea& given : m_station.unitDiagAreas)
    {
        if (given.dwFirstBit == area.dwFirstBit && given.dwLastBit == area.dwLastBit)
            return FailValue(line, "bits " + std::to_string(nFirst) + "-" + std::to_string(nLast) +
                                       " are declared already at line " +
                                       std::to_string(given.nLine));
    }
    m_station.unitDiagAreas.push_back(area);
    return true;
}

bool CGsdReader::NoteGiven(const SGsdLine& line)
{
    const std::string strKey =
        line.strLower + (line.bHasArgument ? "(" + line.strArgument + ")" : "");
    auto [it, bNew] = m_givenAt.emplace(strKey, line.nLine);
    if (bNew)
        return true;
    return Fail(line.nLine,
                line.strKeyword + (line.bHasArgument ? "(" + line.strArgument + ")" : "") +
                    " is given again (first at line " + std::to_string(it->second) + ")");
}

bool CGsdReader::ReadStationNumber(const SGsdLine& line, bool& bKnown)
{
    for (const SStationNumber& number : kStationNumbers)
    {
        if (line.strLower != number.pszLower)
            continue;
        bKnown = true;
        CGsdValueReader value(line.strValue);
        SGsdNumber& target = m_station.*number.pNumber;
        if (!NoteGiven(line))
            return false;
        if (!value.ReadNumberIn(0, number.nMax, "value", target.nValue) || !value.ExpectEnd())
            return FailValue(line, value.Why());
        target.nLine = line.nLine;
        return true;
    }
    for (std::size_t i = 0; i < kGsdBaudRates.size(); ++i)
    {
        if (line.strLower != Lower(kGsdBaudRates[i].pszKeyword))
            continue;
        bKnown = true;
        CGsdValueReader value(line.strValue);
        if (!NoteGiven(line))
            return false;
        if (!value.ReadNumberIn(0, 1, "value", m_station.baudRates[i].nValue) || !value.ExpectEnd())
            return FailValue(line, value.Why());
        m_station.baudRates[i].nLine = line.nLine;
        return true;
    }
    return true;
}

bool CGsdReader::ReadIndexedText(const SGsdLine& line, std::int64_t nMin, std::int64_t nMax,
                                 std::int64_t& nIndex, std::string& strText)
{
    CGsdValueReader index(line.strArgument);
    CGsdValueReader value(line.strValue);
    if (!line.bHasArgument || !line.bAssigned)
        return FailValue(line, "expected " + line.strKeyword + "(n) = \"text\"");
    if (!index.ReadNumberIn(nMin, nMax, "number", nIndex) || !index.ExpectEnd())
        return FailValue(line, index.Why());
    if (!value.ReadString(strText) || !value.ExpectEnd())
        return FailValue(line, value.Why());
    return true;
}

bool CGsdReader::ReadStationLine(const SGsdLine& line)
{
    bool bKnown = false;
    if (!ReadStationNumber(line, bKnown) || !ReadPrmEntry(line, m_station.prm, bKnown))
        return false;
    if (bKnown)
        return true;
    const std::string& strKey = line.strLower;
    std::int64_t nIndex = 0;
    std::string strText;
    if (strKey == "#profibus_dp" && !line.bAssigned)
        return true;
    if ((strKey == "vendor_name" || strKey == "model_name") && line.bAssigned)
    {
        CGsdValueReader value(line.strValue);
        std::string& strTarget = strKey == "vendor_name" ? m_station.strVendor : m_station.strModel;
        if (!NoteGiven(line))
            return false;
        return (value.ReadString(strTarget) && value.ExpectEnd()) || FailValue(line, value.Why());
    }
    if (strKey == "user_prm_data" && line.bAssigned)
    {
        CGsdValueReader value(line.strValue);
        if (!NoteGiven(line))
            return false;
        if (!value.ReadByteList(m_station.abyUserPrmData))
            return FailValue(line, value.Why());
        m_station.nUserPrmDataLine = line.nLine;
        if (static_cast<std::int64_t>(m_station.abyUserPrmData.size()) > kMaxPrmBytes)
            return FailValue(line, "more than " + std::to_string(kMaxPrmBytes) + " bytes");
        return true;
    }
    if (strKey == "unit_diag_bit")
    {
        if (!ReadIndexedText(line, 0, 8 * 244 - 1, nIndex, strText))
            return false;
        m_station.unitDiagBits[static_cast<std::uint32_t>(nIndex)] = strText;
        return true;
    }
    if (strKey == "channel_diag")
    {
        if (!ReadIndexedText(line, 0, 255, nIndex, strText))
            return false;
        m_station.channelDiag[static_cast<std::uint32_t>(nIndex)] = strText;
        return true;
    }
    if (strKey == "endmodule" || strKey == "endextuserprmdata" || strKey == "endprmtext" ||
        strKey == "unit_diag_area_end")
        return Fail(line.nLine, line.strKeyword + " without its opening keyword");
    Skip(line);
    return true;
}

// Ext_User_Prm_Data_Const(offset) and Ext_User_Prm_Data_Ref(offset), of the station or of a
// module; bKnown tells whether the line was one of them.
bool CGsdReader::ReadPrmEntry(const SGsdLine& line, SGsdPrmBlock& block, bool& bKnown)
{
    const bool bConst = line.strLower == "ext_user_prm_data_const";
    if (!bConst && line.strLower != "ext_user_prm_data_ref")
        return true;
    bKnown = true;
    if (!line.bHasArgument || !line.bAssigned)
        return FailValue(line, "expected " + line.strKeyword + "(offset) = ...");
    CGsdValueReader offset(line.strArgument);
    std::int64_t nOffset = 0;
    if (!offset.ReadNumberIn(0, kMaxPrmBytes - 1, "offset", nOffset) || !offset.ExpectEnd())
        return FailValue(line, offset.Why() + " (a Set_Prm carries " +
                                   std::to_string(kMaxPrmBytes) + " bytes of user parameters)");
    CGsdValueReader value(line.strValue);
    if (bConst)
    {
        SGsdPrmConst entry;
        entry.nOffset = static_cast<std::size_t>(nOffset);
        entry.nLine = line.nLine;
        if (!value.ReadByteList(entry.abyBytes))
            return FailValue(line, value.Why());
        if (nOffset + static_cast<std::int64_t>(entry.abyBytes.size()) > kMaxPrmBytes)
            return FailValue(line, "reaches beyond the " + std::to_string(kMaxPrmBytes) +
                                       " bytes of user parameters a Set_Prm carries");
        block.consts.push_back(std::move(entry));
        return true;
    }
    std::int64_t nId = 0;
    if (!value.ReadNumberIn(0, kMaxId, "id", nId) || !value.ExpectEnd())
        return FailValue(line, value.Why());
    block.refs.push_back(
        {static_cast<std::size_t>(nOffset), static_cast<std::uint32_t>(nId), line.nLine});
    return true;
}

bool CGsdReader::ReadModuleLine(const SGsdLine& line)
{
    SGsdModule& module = m_station.modules.back();
    const bool bFirst = m_bModuleFirstLine;
    m_bModuleFirstLine = false;
    bool bKnown = false;
    if (line.strLower == "endmodule")
    {
        m_eBlock = teBlock::None;
        return true;
    }
    if (!ReadPrmEntry(line, module.prm, bKnown))
        return false;
    if (bKnown)
        return true;
    if (line.strLower == "ext_module_prm_data_len" && line.bAssigned)
    {
        CGsdValueReader value(line.strValue);
        std::int64_t nLength = 0;
        if (!value.ReadNumberIn(0, kMaxPrmBytes, "length", nLength) || !value.ExpectEnd())
            return FailValue(line, value.Why());
        module.prm.nDeclaredLength = static_cast<std::size_t>(nLength);
        module.prm.nDeclaredLine = line.nLine;
        return true;
    }
    // The module's reference number stands alone on the line after Module.
    CGsdValueReader number(line.strKeyword);
    std::int64_t nReference = 0;
    if (bFirst && !line.bAssigned && line.strValue.empty() &&
        number.ReadNumberIn(0, kMaxId, "reference", nReference) && number.ExpectEnd())
    {
        module.dwReference = static_cast<std::uint32_t>(nReference);
        module.bHasReference = true;
        return true;
    }
    Skip(line);
    return true;
}

bool CGsdReader::ReadUserPrmLine(const SGsdLine& line)
{
    SGsdUserPrm& prm = m_station.userPrms[m_dwBlockId];
    if (line.strLower == "endextuserprmdata")
    {
        m_eBlock = teBlock::None;
        if (prm.nTypeLine == 0)
            return Fail(prm.nLine, "ExtUserPrmData " + std::to_string(prm.dwId) + " \"" +
                                       prm.strName + "\" has no data type line");
        return true;
    }
    if (line.strLower == "prm_text_ref" && line.bAssigned)
    {
        CGsdValueReader value(line.strValue);
        std::int64_t nId = 0;
        if (!value.ReadNumberIn(0, kMaxId, "id", nId) || !value.ExpectEnd())
            return FailValue(line, value.Why());
        prm.dwTextRef = static_cast<std::uint32_t>(nId);
        prm.nTextRefLine = line.nLine;
        return true;
    }
    // The data type line is the block's first line without '='.
    if (!line.bAssigned && prm.nTypeLine == 0)
    {
        std::string strWhy;
        if (!ReadGsdDataType(line, prm, strWhy))
            return Fail(line.nLine, strWhy);
        prm.nTypeLine = line.nLine;
        if (prm.eType == teGsdDataType::Unread)
            Skip(line);
        return true;
    }
    Skip(line);
    return true;
}

bool CGsdReader::ReadPrmTextLine(const SGsdLine& line)
{
    if (line.strLower == "endprmtext")
    {
        m_eBlock = teBlock::None;
        return true;
    }
    if (line.strLower != "text")
    {
        Skip(line);
        return true;
    }
    std::int64_t nValue = 0;
    std::string strText;
    if (!ReadIndexedText(line, -2147483648LL, 0xFFFFFFFFLL, nValue, strText))
        return false;
    m_station.prmTexts[m_dwBlockId].texts.emplace_back(nValue, strText);
    return true;
}

bool CGsdReader::ReadDiagAreaLine(const SGsdLine& line)
{
    if (line.strLower == "unit_diag_area_end")
    {
        m_eBlock = teBlock::None;
        return true;
    }
    if (line.strLower != "value")
    {
        Skip(line);
        return true;
    }
    SGsdDiagArea& area = m_station.unitDiagAreas.back();
    std::int64_t nValue = 0;
    std::string strText;
    const std::uint32_t dwBits = area.dwLastBit - area.dwFirstBit + 1;
    const std::int64_t nMax = dwBits >= 32 ? 0xFFFFFFFFLL : (std::int64_t{1} << dwBits) - 1;
    if (!ReadIndexedText(line, 0, nMax, nValue, strText))
        return false;
    area.values[nValue] = strText;
    return true;
}

} // namespace dp
