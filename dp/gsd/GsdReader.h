// Reads the text of a GSD (device description) file into an SGsdStation. Keywords do not
// depend on case; keywords this reader does not use are skipped and counted, never refused.
// Anything it cannot read refuses the whole file with "<file>:<line>: <reason>", e.g.
// "pump.gsd:41: Ext_User_Prm_Data_Ref(3) names 17, which no ExtUserPrmData defines".
// The keywords it knows are two tables in GsdReader.cpp, the blocks and the station's own: a
// new keyword is one row there and the function that reads its line.
#pragma once

#include "dp/gsd/GsdStation.h"

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
};

} // namespace dp
