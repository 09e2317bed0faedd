#include "dp/scan/ModuleMatch.h"

#include <algorithm>
#include <cstddef>
#include <deque>

namespace dp
{

namespace
{

bool BytesAt(const std::vector<std::uint8_t>& abyConfig, std::size_t nAt,
             const std::vector<std::uint8_t>& abyModule)
{
    return !abyModule.empty() && abyModule.size() <= abyConfig.size() - nAt &&
           std::equal(abyModule.begin(), abyModule.end(), abyConfig.begin() + nAt);
}

SModuleMatch Compact(const SGsdStation& station, const std::vector<std::uint8_t>& abyConfig)
{
    SModuleMatch match;
    for (const SGsdModule& module : station.modules)
    {
        if (module.abyConfig == abyConfig)
        {
            match.bFound = true;
            match.modules.push_back(&module);
            return match;
        }
    }
    match.strWhy = "no Module of the compact station has these configuration bytes";
    return match;
}

} // namespace

SModuleMatch MatchModules(const SGsdStation& station, const std::vector<std::uint8_t>& abyConfig)
{
    if (!station.IsModular())
        return Compact(station, abyConfig);
    SModuleMatch match;
    if (abyConfig.empty())
    {
        match.strWhy = "the slave returned no configuration bytes";
        return match;
    }
    // The module that first reached each position, and the position it came from.
    const std::size_t nEnd = abyConfig.size();
    std::vector<const SGsdModule*> reachedBy(nEnd + 1, nullptr);
    std::vector<std::size_t> cameFrom(nEnd + 1, 0);
    std::vector<bool> reached(nEnd + 1, false);
    reached[0] = true;
    std::deque<std::size_t> queue = {0};
    while (!queue.empty() && !reached[nEnd])
    {
        const std::size_t nAt = queue.front();
        queue.pop_front();
        for (const SGsdModule& module : station.modules)
        {
            if (!BytesAt(abyConfig, nAt, module.abyConfig))
                continue;
            const std::size_t nTo = nAt + module.abyConfig.size();
            if (reached[nTo])
                continue;
            reached[nTo] = true;
            reachedBy[nTo] = &module;
            cameFrom[nTo] = nAt;
            queue.push_back(nTo);
        }
    }
    if (!reached[nEnd])
    {
        match.strWhy = "no sequence of the file's modules gives these configuration bytes";
        return match;
    }
    for (std::size_t nAt = nEnd; nAt != 0; nAt = cameFrom[nAt])
        match.modules.push_back(reachedBy[nAt]);
    std::reverse(match.modules.begin(), match.modules.end());
    if (station.maxModule.Given() &&
        match.modules.size() >
            static_cast<std::uint64_t>(std::max<std::int64_t>(station.maxModule.nValue, 0)))
    {
        match.strWhy = "the configuration needs " + std::to_string(match.modules.size()) +
                       " modules, more than the station's Max_Module " +
                       std::to_string(station.maxModule.nValue);
        match.modules.clear();
        return match;
    }
    match.bFound = true;
    return match;
}

} // namespace dp
