// A GSD file's station for people: what it is, its limits and baud rates, its modules with
// their lengths, its parameters with defaults, allowed values and texts, its diagnosis texts,
// and what the reader skipped.
#pragma once

#include "dp/gsd/GsdStation.h"

#include <string>

namespace gsdtool
{

std::string FormatStation(const dp::SGsdStation& station);

// Why the master refuses the station whatever modules and values are chosen for it, as
// "<file>:<line>: <reason>"; empty when nothing does.
std::string StationRefusal(const dp::SGsdStation& station);

} // namespace gsdtool
