// Reads the text of a GSD (device description) file into an SGsdStation. Keywords do not
// depend on case; keywords this reader does not use are skipped and counted, never refused.
// Anything it cannot read refuses the whole file with "<file>:<line>: <reason>", e.g.
// "pump.gsd:41: Ext_User_Prm_Data_Ref(3) names 17, which no ExtUserPrmData defines".
#pragma once

#include "dp/gsd/GsdStation.h"
#include "dp/gsd/GsdTextLines.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace dp
{

class CGsdReader
{
public:
    // strFile names the file in errors and in station.strFile (the caller's spelling of it).
    bool Read(std::string_view text, const std::string& strFile, SGsdStation& station,
              std::string& strError);

private:
    enum class teBlock
    {
        None,
        Module,
        UserPrm,
        PrmText,
        DiagArea
    };

    bool ReadLines(std::string_view text);
    bool ReadLine(const SGsdLine& line);
    bool OpensBlock(const SGsdLine& line, bool& bOpened);
    bool OpenModule(const SGsdLine& line);
    bool OpenUserPrm(const SGsdLine& line);
    bool OpenPrmText(const SGsdLine& line);
    bool OpenDiagArea(const SGsdLine& line);
    bool ReadStationLine(const SGsdLine& line);
    bool ReadStationNumber(const SGsdLine& line, bool& bKnown);
    bool ReadModuleLine(const SGsdLine& line);
    bool ReadUserPrmLine(const SGsdLine& line);
    bool ReadPrmTextLine(const SGsdLine& line);
    bool ReadDiagAreaLine(const SGsdLine& line);
    bool ReadPrmEntry(const SGsdLine& line, SGsdPrmBlock& block, bool& bKnown);
    bool ReadIndexedText(const SGsdLine& line, std::int64_t nMin, std::int64_t nMax,
                         std::int64_t& nIndex, std::string& strText);
    bool NoteGiven(const SGsdLine& line);
    void Skip(const SGsdLine& line);

    bool Fail(std::size_t nLine, const std::string& strWhy);
    bool FailValue(const SGsdLine& line, const std::string& strWhy);

    SGsdStation m_station;
    std::string m_strError;
    teBlock m_eBlock = teBlock::None;
    std::size_t m_nBlockLine = 0;
    std::uint32_t m_dwBlockId = 0;   // the ExtUserPrmData or PrmText being read
    bool m_bModuleFirstLine = false; // a module's reference number may follow its Module line
    std::map<std::string, std::size_t> m_givenAt;         // station keywords, lower case
    std::map<std::string, std::string> m_skippedSpelling; // lower case to first spelling
};

} // namespace dp
