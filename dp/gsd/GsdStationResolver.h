// What a GSD file says that can only be settled once the whole file is read: every reference
// (Ext_User_Prm_Data_Ref to its ExtUserPrmData, Prm_Text_Ref to its PrmText) and every block
// of user parameters' length, the station's own part included.
#pragma once

#include "dp/gsd/GsdStation.h"

#include <cstddef>
#include <string>

namespace dp
{

class CGsdStationResolver
{
public:
    explicit CGsdStationResolver(SGsdStation& station) : m_station(station) {}

    // Fills each block's nLength; false with "<file>:<line>: <reason>".
    bool Resolve(std::string& strError);

private:
    bool ResolveAll();
    bool ResolveBlock(SGsdPrmBlock& block, const char* pszLengthKeyword);
    bool ResolveStationPrm();
    bool Fail(std::size_t nLine, const std::string& strWhy);

    SGsdStation& m_station;
    std::string m_strError;
};

} // namespace dp
