#include "dp/gsd/GsdReader.h"

#include "dp/gsd/GsdDataType.h"
#include "dp/gsd/GsdStationResolver.h"
#include "dp/gsd/GsdTextLines.h"
#include "dp/gsd/GsdValueReader.h"
#include "dp/services/DiagnosisText.h"
#include "dp/services/DpServices.h"

#include <cstddef>
#include <map>
#include <vector>

namespace dp
{

namespace
{

constexpr auto kMaxPrmBytes = static_cast<std::int64_t>(kMaxUserPrmBytes);
constexpr std::int64_t kMaxId = 0xFFFFFFFF;
constexpr auto kMaxDiagBit = static_cast<std::int64_t>(8 * kMaxDiagBytes - 1);

constexpr const char* kPrmConstKeyword = "Ext_User_Prm_Data_Const";
constexpr const char* kPrmRefKeyword = "Ext_User_Prm_Data_Ref";

// The tables spell each keyword as the format does (errors quote them so); a line carries its
// keyword in lower case as well, since keywords do not depend on case.
bool IsKeyword(const std::string& strLower, const char* pszSpelling)
{
    std::size_t i = 0;
    for (; pszSpelling[i] != '\0'; ++i)
    {
        char ch = pszSpelling[i];
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
        if (i >= strLower.size() || strLower[i] != ch)
            return false;
    }
    return i == strLower.size();
}

class CLineReader;
using FLine = bool (CLineReader::*)(const SGsdLine& line);

// A keyword that opens a block with "keyword = ..." and the keyword that ends it; no block
// opens inside another.
struct SBlockKeyword
{
    const char* pszKeyword;
    const char* pszEnd;
    FLine pOpen;  // the opening line
    FLine pLine;  // each line inside the block
    FLine pClose; // the end line, where the whole block is checked; nullptr: nothing to check
};

// The form a station keyword's line must have to be read; a line of another form is skipped.
enum class teForm
{
    Any, // the reading function refuses what it cannot read
    Assigned,
    Bare
};

struct SStationKeyword;
using FStationLine = bool (CLineReader::*)(const SGsdLine& line, const SStationKeyword& keyword);

// A keyword of the station itself: how its line is read, where its value goes and its limits.
struct SStationKeyword
{
    const char* pszKeyword;
    FStationLine pRead;
    teForm eForm = teForm::Any;
    bool bOnce = false; // given again, it refuses the file
    SGsdNumber& (*pNumber)(SGsdStation&) = nullptr;
    std::string SGsdStation::*pText = nullptr;
    std::map<std::uint32_t, std::string> SGsdStation::*pIndexedTexts = nullptr;
    std::int64_t nMax = 0; // the largest number, or the largest index of an indexed text
};

// The reading of one file: the station so far, the block being read, what was given where.
class CLineReader
{
public:
    explicit CLineReader(const std::string& strFile) { m_station.strFile = strFile; }

    bool ReadLines(std::string_view text);
    SGsdStation& Station() { return m_station; }
    const std::string& Error() const { return m_strError; }

    // Blocks.
    bool OpenModule(const SGsdLine& line);
    bool OpenUserPrm(const SGsdLine& line);
    bool OpenPrmText(const SGsdLine& line);
    bool OpenDiagArea(const SGsdLine& line);
    bool ReadModuleLine(const SGsdLine& line);
    bool ReadUserPrmLine(const SGsdLine& line);
    bool ReadPrmTextLine(const SGsdLine& line);
    bool ReadDiagAreaLine(const SGsdLine& line);
    bool CloseUserPrm(const SGsdLine& line);

    // The station's own keywords.
    bool ReadMarker(const SGsdLine& line, const SStationKeyword& keyword);
    bool ReadNumber(const SGsdLine& line, const SStationKeyword& keyword);
    bool ReadText(const SGsdLine& line, const SStationKeyword& keyword);
    bool ReadIndexedText(const SGsdLine& line, const SStationKeyword& keyword);
    bool ReadUserPrmData(const SGsdLine& line, const SStationKeyword& keyword);
    bool ReadStationPrmEntry(const SGsdLine& line, const SStationKeyword& keyword);

private:
    bool ReadLine(const SGsdLine& line);
    bool Open(const SBlockKeyword& block, const SGsdLine& line);
    bool ReadStationLine(const SGsdLine& line);
    bool ReadPrmEntry(const SGsdLine& line, SGsdPrmBlock& block);
    bool ReadIndexedText(const SGsdLine& line, std::int64_t nMin, std::int64_t nMax,
                         std::int64_t& nIndex, std::string& strText);
    bool NoteGiven(const SGsdLine& line);
    void Skip(const SGsdLine& line);

    bool Fail(std::size_t nLine, const std::string& strWhy);
    bool FailValue(const SGsdLine& line, const std::string& strWhy);

    SGsdStation m_station;
    std::string m_strError;
    const SBlockKeyword* m_pBlock = nullptr; // the block being read; nullptr: the station's
    std::size_t m_nBlockLine = 0;
    std::uint32_t m_dwBlockId = 0;   // the ExtUserPrmData or PrmText being read
    bool m_bModuleFirstLine = false; // a module's reference number may follow its Module line
    std::map<std::string, std::size_t> m_givenAt;         // station keywords, lower case
    std::map<std::string, std::string> m_skippedSpelling; // lower case to first spelling
};

constexpr SBlockKeyword kBlockKeywords[] = {
    {"Module", "EndModule", &CLineReader::OpenModule, &CLineReader::ReadModuleLine, nullptr},
    {"ExtUserPrmData", "EndExtUserPrmData", &CLineReader::OpenUserPrm,
     &CLineReader::ReadUserPrmLine, &CLineReader::CloseUserPrm},
    {"PrmText", "EndPrmText", &CLineReader::OpenPrmText, &CLineReader::ReadPrmTextLine, nullptr},
    {"Unit_Diag_Area", "Unit_Diag_Area_End", &CLineReader::OpenDiagArea,
     &CLineReader::ReadDiagAreaLine, nullptr},
};

template <SGsdNumber SGsdStation::*pNumber> SGsdNumber& NumberOf(SGsdStation& station)
{
    return station.*pNumber;
}

template <std::size_t nRate> SGsdNumber& BaudRateOf(SGsdStation& station)
{
    return station.baudRates[nRate];
}

// A number given once. The limits only keep nonsense out; whether a slave fits the bus is
// checked when a slave is built from the station.
constexpr SStationKeyword Number(const char* pszKeyword, SGsdNumber& (*pNumber)(SGsdStation&),
                                 std::int64_t nMax)
{
    return {pszKeyword, &CLineReader::ReadNumber, teForm::Any, true, pNumber, nullptr, nullptr,
            nMax};
}

template <std::size_t nRate> constexpr SStationKeyword BaudRate()
{
    return Number(kGsdBaudRates[nRate].pszKeyword, &BaudRateOf<nRate>, 1);
}

constexpr SStationKeyword Text(const char* pszKeyword, std::string SGsdStation::*pText)
{
    return {pszKeyword, &CLineReader::ReadText, teForm::Assigned, true, nullptr, pText};
}

// Keyword(n) = "text", n from 0 to nMax; given again, the last text holds.
constexpr SStationKeyword IndexedText(const char* pszKeyword,
                                      std::map<std::uint32_t, std::string> SGsdStation::*pTexts,
                                      std::int64_t nMax)
{
    return {pszKeyword, &CLineReader::ReadIndexedText, teForm::Any, false, nullptr, nullptr, pTexts,
            nMax};
}

constexpr SStationKeyword kStationKeywords[] = {
    {"#Profibus_DP", &CLineReader::ReadMarker, teForm::Bare},
    Text("Vendor_Name", &SGsdStation::strVendor),
    Text("Model_Name", &SGsdStation::strModel),
    Number("Ident_Number", &NumberOf<&SGsdStation::identNumber>, 0xFFFF),
    Number("Station_Type", &NumberOf<&SGsdStation::stationType>, 255),
    Number("Modular_Station", &NumberOf<&SGsdStation::modularStation>, 1),
    Number("Max_Module", &NumberOf<&SGsdStation::maxModule>, 65535),
    Number("Max_Input_Len", &NumberOf<&SGsdStation::maxInputLength>, 65535),
    Number("Max_Output_Len", &NumberOf<&SGsdStation::maxOutputLength>, 65535),
    Number("Max_Data_Len", &NumberOf<&SGsdStation::maxDataLength>, 65535),
    Number("Max_User_Prm_Data_Len", &NumberOf<&SGsdStation::maxUserPrmLength>, 65535),
    Number("User_Prm_Data_Len", &NumberOf<&SGsdStation::userPrmLength>, kMaxPrmBytes),
    Number("Max_Diag_Data_Len", &NumberOf<&SGsdStation::maxDiagLength>, 65535),
    Number("DPV1_Slave", &NumberOf<&SGsdStation::dpv1Slave>, 1),
    BaudRate<0>(),
    BaudRate<1>(),
    BaudRate<2>(),
    BaudRate<3>(),
    BaudRate<4>(),
    BaudRate<5>(),
    BaudRate<6>(),
    BaudRate<7>(),
    BaudRate<8>(),
    BaudRate<9>(),
    BaudRate<10>(),
    {"User_Prm_Data", &CLineReader::ReadUserPrmData, teForm::Assigned, true},
    {kPrmConstKeyword, &CLineReader::ReadStationPrmEntry},
    {kPrmRefKeyword, &CLineReader::ReadStationPrmEntry},
    IndexedText("Unit_Diag_Bit", &SGsdStation::unitDiagBits, kMaxDiagBit),
    IndexedText("Channel_Diag", &SGsdStation::channelDiag, 255),
};
static_assert(kGsdBaudRates.size() == 11, "a baud rate keyword without its row");

bool FormFits(teForm eForm, const SGsdLine& line)
{
    return eForm == teForm::Any || line.bAssigned == (eForm == teForm::Assigned);
}

} // namespace

bool CLineReader::Fail(std::size_t nLine, const std::string& strWhy)
{
    m_strError = m_station.strFile + ":" + std::to_string(nLine) + ": " + strWhy;
    return false;
}

bool CLineReader::FailValue(const SGsdLine& line, const std::string& strWhy)
{
    std::string strKey = line.strKeyword;
    if (line.bHasArgument)
        strKey += "(" + line.strArgument + ")";
    return Fail(line.nLine, strKey + ": " + strWhy);
}

void CLineReader::Skip(const SGsdLine& line)
{
    auto [it, bNew] = m_skippedSpelling.emplace(line.strLower, line.strKeyword);
    ++m_station.skippedKeywords[it->second];
    ++m_station.nSkippedLines;
}

bool CLineReader::ReadLines(std::string_view text)
{
    std::vector<SGsdLine> lines;
    std::size_t nBadLine = 0;
    std::string strWhy;
    if (!CGsdTextLines::Split(text, lines, nBadLine, strWhy))
        return Fail(nBadLine, strWhy);
    for (const SGsdLine& line : lines)
        if (!ReadLine(line))
            return false;
    if (m_pBlock != nullptr)
        return Fail(m_nBlockLine,
                    std::string(m_pBlock->pszKeyword) + " without " + m_pBlock->pszEnd);
    CGsdStationResolver resolver(m_station);
    return resolver.Resolve(m_strError);
}

bool CLineReader::ReadLine(const SGsdLine& line)
{
    for (const SBlockKeyword& block : kBlockKeywords)
    {
        if (line.bAssigned && IsKeyword(line.strLower, block.pszKeyword))
            return Open(block, line);
    }
    if (m_pBlock == nullptr)
        return ReadStationLine(line);
    if (!IsKeyword(line.strLower, m_pBlock->pszEnd))
        return (this->*m_pBlock->pLine)(line);
    const FLine pClose = m_pBlock->pClose;
    m_pBlock = nullptr;
    return pClose == nullptr || (this->*pClose)(line);
}

bool CLineReader::Open(const SBlockKeyword& block, const SGsdLine& line)
{
    if (m_pBlock != nullptr)
        return Fail(line.nLine, std::string(block.pszKeyword) + " inside the " +
                                    m_pBlock->pszKeyword + " of line " +
                                    std::to_string(m_nBlockLine) + ": " + m_pBlock->pszEnd +
                                    " is missing");
    if (!(this->*block.pOpen)(line))
        return false;
    m_pBlock = &block;
    m_nBlockLine = line.nLine;
    return true;
}

bool CLineReader::ReadStationLine(const SGsdLine& line)
{
    for (const SStationKeyword& keyword : kStationKeywords)
    {
        if (!IsKeyword(line.strLower, keyword.pszKeyword))
            continue;
        if (!FormFits(keyword.eForm, line))
            break;
        if (keyword.bOnce && !NoteGiven(line))
            return false;
        return (this->*keyword.pRead)(line, keyword);
    }
    for (const SBlockKeyword& block : kBlockKeywords)
    {
        if (IsKeyword(line.strLower, block.pszEnd))
            return Fail(line.nLine, line.strKeyword + " without its opening keyword");
    }
    Skip(line);
    return true;
}

bool CLineReader::NoteGiven(const SGsdLine& line)
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

bool CLineReader::ReadMarker(const SGsdLine&, const SStationKeyword&)
{
    return true;
}

bool CLineReader::ReadNumber(const SGsdLine& line, const SStationKeyword& keyword)
{
    CGsdValueReader value(line.strValue);
    SGsdNumber& target = keyword.pNumber(m_station);
    if (!value.ReadNumberIn(0, keyword.nMax, "value", target.nValue) || !value.ExpectEnd())
        return FailValue(line, value.Why());
    target.nLine = line.nLine;
    return true;
}

bool CLineReader::ReadText(const SGsdLine& line, const SStationKeyword& keyword)
{
    CGsdValueReader value(line.strValue);
    return (value.ReadString(m_station.*keyword.pText) && value.ExpectEnd()) ||
           FailValue(line, value.Why());
}

bool CLineReader::ReadIndexedText(const SGsdLine& line, const SStationKeyword& keyword)
{
    std::int64_t nIndex = 0;
    std::string strText;
    if (!ReadIndexedText(line, 0, keyword.nMax, nIndex, strText))
        return false;
    (m_station.*keyword.pIndexedTexts)[static_cast<std::uint32_t>(nIndex)] = strText;
    return true;
}

bool CLineReader::ReadUserPrmData(const SGsdLine& line, const SStationKeyword&)
{
    CGsdValueReader value(line.strValue);
    if (!value.ReadByteList(m_station.abyUserPrmData))
        return FailValue(line, value.Why());
    m_station.nUserPrmDataLine = line.nLine;
    if (static_cast<std::int64_t>(m_station.abyUserPrmData.size()) > kMaxPrmBytes)
        return FailValue(line, "more than " + std::to_string(kMaxPrmBytes) + " bytes");
    return true;
}

bool CLineReader::ReadStationPrmEntry(const SGsdLine& line, const SStationKeyword&)
{
    return ReadPrmEntry(line, m_station.prm);
}

bool CLineReader::ReadIndexedText(const SGsdLine& line, std::int64_t nMin, std::int64_t nMax,
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

// Ext_User_Prm_Data_Const(offset) and Ext_User_Prm_Data_Ref(offset), of the station or of a
// module.
bool CLineReader::ReadPrmEntry(const SGsdLine& line, SGsdPrmBlock& block)
{
    const bool bConst = IsKeyword(line.strLower, kPrmConstKeyword);
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

bool CLineReader::OpenModule(const SGsdLine& line)
{
    CGsdValueReader value(line.strValue);
    SGsdModule module;
    module.nLine = line.nLine;
    if (!value.ReadString(module.strName) || !value.ReadByteList(module.abyConfig))
        return FailValue(line, value.Why());
    if (module.abyConfig.size() > kMaxConfigBytes)
        return FailValue(line,
                         "more than " + std::to_string(kMaxConfigBytes) + " configuration bytes");
    m_station.modules.push_back(std::move(module));
    m_bModuleFirstLine = true;
    return true;
}

bool CLineReader::ReadModuleLine(const SGsdLine& line)
{
    SGsdModule& module = m_station.modules.back();
    const bool bFirst = m_bModuleFirstLine;
    m_bModuleFirstLine = false;
    if (IsKeyword(line.strLower, kPrmConstKeyword) || IsKeyword(line.strLower, kPrmRefKeyword))
        return ReadPrmEntry(line, module.prm);
    if (IsKeyword(line.strLower, "Ext_Module_Prm_Data_Len") && line.bAssigned)
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

bool CLineReader::OpenUserPrm(const SGsdLine& line)
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

bool CLineReader::ReadUserPrmLine(const SGsdLine& line)
{
    SGsdUserPrm& prm = m_station.userPrms[m_dwBlockId];
    if (IsKeyword(line.strLower, "Prm_Text_Ref") && line.bAssigned)
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

bool CLineReader::CloseUserPrm(const SGsdLine&)
{
    const SGsdUserPrm& prm = m_station.userPrms[m_dwBlockId];
    if (prm.nTypeLine == 0)
        return Fail(prm.nLine, "ExtUserPrmData " + std::to_string(prm.dwId) + " \"" + prm.strName +
                                   "\" has no data type line");
    return true;
}

bool CLineReader::OpenPrmText(const SGsdLine& line)
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

bool CLineReader::ReadPrmTextLine(const SGsdLine& line)
{
    if (!IsKeyword(line.strLower, "Text"))
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

bool CLineReader::OpenDiagArea(const SGsdLine& line)
{
    CGsdValueReader value(line.strValue);
    SGsdDiagArea area;
    area.nLine = line.nLine;
    bool bList = false;
    std::int64_t nFirst = 0, nLast = 0;
    std::vector<std::int64_t> anIgnored;
    if (!value.ReadRangeOrList(bList, nFirst, nLast, anIgnored) || !value.ExpectEnd())
        return FailValue(line, value.Why());
    if (bList || nFirst < 0 || nLast > kMaxDiagBit + 1)
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

bool CLineReader::ReadDiagAreaLine(const SGsdLine& line)
{
    if (!IsKeyword(line.strLower, "Value"))
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

bool CGsdReader::Read(std::string_view text, const std::string& strFile, SGsdStation& station,
                      std::string& strError)
{
    CLineReader reader(strFile);
    if (!reader.ReadLines(text))
    {
        strError = reader.Error();
        return false;
    }
    station = std::move(reader.Station());
    return true;
}

} // namespace dp
