// The line's counts as one JSON object, for the tests that read them.
#pragma once

#include "tests/dp/ptybus/SharedLine.h"
#include "tests/dp/ptybus/SystemCalls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ptybus
{

struct SLineSettings
{
    std::uint32_t dwBaudRate = 0;
    bool bEcho = false;
};

// {"baud_rate", "character_ns", "echo", "characters_garbled", "wakeups", "endpoints": [{"name",
// "path", "link", "bytes_sent", "bytes_received", "bytes_dropped", "characters_garbled"}]}; the
// endpoints in the order the command line named them. One line, no line end.
std::string StatsJson(const CSharedLine& line, const std::vector<SPseudoTerminal>& terminals,
                      const SLineSettings& settings, std::uint64_t qwWakeups);

} // namespace ptybus
