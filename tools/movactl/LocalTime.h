// Time stamps of watch rounds in the local time of the machine: on screen the time of day to the
// millisecond ("14:03:07.250"), which is what a person compares with a clock; in records for
// other programs the date, the time and the offset from UTC ("2026-12-07T14:03:07.250+01:00",
// ISO 8601), so that a log read later, across midnight or in another time zone, stays exact.
#pragma once

#include <chrono>
#include <string>

namespace movactl
{

using TWallTime = std::chrono::system_clock::time_point;

std::string ClockText(TWallTime time);
std::string IsoText(TWallTime time);

} // namespace movactl
