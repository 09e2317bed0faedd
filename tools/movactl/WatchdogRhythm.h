// Whether the board's watchdog can be met by a command that touches the board at a rhythm of its
// own. The board's watchdog expires when no exchange comes within its time, and the board then
// sets the slaves' outputs to 0; the library re-triggers it at the next read, so the values
// read afterwards are the zeroed outputs, each read a success.
#pragma once

#include <cstdint>
#include <string>

namespace movactl
{

// The warning for a watchdog of byWatchdog (in 10 ms, 0 for none) that a command exchanging
// data every dwIntervalMs cannot meet: one not longer than the interval, which the time of
// the exchange itself only lengthens. "" when the watchdog is off or longer.
std::string WatchdogWarning(std::uint8_t byWatchdog, std::uint32_t dwIntervalMs);

} // namespace movactl
