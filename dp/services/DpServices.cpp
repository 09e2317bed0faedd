#include "dp/services/DpServices.h"

namespace dp
{

bool WatchdogFactors(std::uint32_t dwMilliseconds, std::uint8_t& byFactor1, std::uint8_t& byFactor2)
{
    const std::uint32_t dwUnits = (dwMilliseconds + 9) / 10;
    if (dwUnits == 0 || dwUnits > 255u * 255u)
        return false;
    // The smallest second factor that lets the first one reach: the product then rounds up
    // the least.
    std::uint32_t dwBest1 = 255, dwBest2 = 255;
    for (std::uint32_t dw2 = 1; dw2 <= 255; ++dw2)
    {
        const std::uint32_t dw1 = (dwUnits + dw2 - 1) / dw2;
        if (dw1 > 255)
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
