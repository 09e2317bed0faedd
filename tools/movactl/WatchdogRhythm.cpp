#include "tools/movactl/WatchdogRhythm.h"

namespace movactl
{

std::string WatchdogWarning(std::uint8_t byWatchdog, std::uint32_t dwIntervalMs)
{
    std::uint32_t dwWatchdogMs = 10u * byWatchdog;
    if (byWatchdog == 0 || dwWatchdogMs > dwIntervalMs)
        return "";
    return "warning: the watchdog (--watchdog " + std::to_string(byWatchdog) + ", " +
           std::to_string(dwWatchdogMs) + " ms) is not longer than the interval of " +
           std::to_string(dwIntervalMs) +
           " ms: it expires between rounds, and the board then sets the slaves' outputs to 0, "
           "which the next rounds read as values; give a --watchdog above " +
           std::to_string(dwIntervalMs / 10) + " (10 ms each) or an --interval below " +
           std::to_string(dwWatchdogMs) + " ms, or --watchdog 0";
}

} // namespace movactl
