// The master's status for people: the bus, the cycle time, and per slave its state, its
// diagnosis and its counters.
#pragma once

#include "dp/master/DpMaster.h"

#include <string>

namespace dpmaster
{

std::string FormatStatus(const dp::CDpMaster& master, const std::string& strPort);

} // namespace dpmaster
