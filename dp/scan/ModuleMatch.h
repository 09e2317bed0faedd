// Which modules of a GSD file make up the configuration a slave returned to Get_Cfg: their
// configuration bytes, one module after the other in slot order, must give the bytes exactly.
// A compact station has one configuration, its one Module (or one of those its file offers).
// For a modular station the search is a walk over the positions in the bytes (at most 244):
// from each position reached, every module whose bytes follow there; the first way to the end
// with the fewest modules wins (ties: the module first in the file), and no more than the
// station's Max_Module. The work is bounded by positions x modules, whatever the file holds.
#pragma once

#include "dp/gsd/GsdStation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

struct SModuleMatch
{
    bool bFound = false;
    std::vector<const SGsdModule*> modules; // slot order
    std::string strWhy;                     // not found: why
};

SModuleMatch MatchModules(const SGsdStation& station, const std::vector<std::uint8_t>& abyConfig);

} // namespace dp
