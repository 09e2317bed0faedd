#include "dp/services/DpServices.h"

namespace dp
{

bool WatchdogFactors(std::uint32_t dwMilliseconds, std::uint8_t& byFactor1, std::uint8_t& byFactor2)
{
    const std::uint32_t dwUnits = (dwMilliseconds + kWatchdogUnitMs - 1) / kWatchdogUnitMs;
    if (dwUnits == 0 || dwUnits > kMaxWatchdogFactor * kMaxWatchdogFactor)
        return false;
    // The smallest second factor that lets the first one reach: the product then rounds up
    // the least.
    std::uint32_t dwBest1 = kMaxWatchdogFactor, dwBest2 = kMaxWatchdogFactor;
    for (std::uint32_t dw2 = 1; dw2 <= kMaxWatchdogFactor; ++dw2)
    {
        const std::uint32_t dw1 = (dwUnits + dw2 - 1) / dw2;
        if (dw1 > kMaxWatchdogFactor)
            continue;
        if (dw1 * dw2 < dwBest1 * dwBest2)
        {
            dwBest1 = dw1;
            dwBest2 = dw2;
        }
        if (dw1 * dw2 == dwUnits)
            break;
    }
    byFactor1 = static_cast<std::uint8_t>(dwBest1);
    byFactor2 = static_cast<std::uint8_t>(dwBest2);
    return true;
}

} // namespace dp
