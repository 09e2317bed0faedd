#include "tests/dp/ptybus/LineStats.h"

#include <nlohmann/json.hpp>

namespace ptybus
{

std::string StatsJson(const CSharedLine& line, const std::vector<SPseudoTerminal>& terminals,
                      const SLineSettings& settings, std::uint64_t qwWakeups)
{
    nlohmann::json stats;
    stats["baud_rate"] = settings.dwBaudRate;
    stats["character_ns"] = line.CharacterNs();
    stats["echo"] = settings.bEcho;
    stats["characters_garbled"] = line.GarbledCharacters();
    stats["wakeups"] = qwWakeups;
    nlohmann::json endpoints = nlohmann::json::array();
    for (std::size_t n = 0; n < terminals.size(); ++n)
    {
        const SEndpointCounts& counts = line.Counts(n);
        endpoints.push_back({{"name", terminals[n].strName},
                             {"path", terminals[n].strPath},
                             {"link", terminals[n].strLink},
                             {"bytes_sent", counts.qwBytesSent},
                             {"bytes_received", counts.qwBytesReceived},
                             {"bytes_dropped", counts.qwBytesDropped},
                             {"characters_garbled", counts.qwCharactersGarbled}});
    }
    stats["endpoints"] = endpoints;
    return stats.dump();
}

} // namespace ptybus
