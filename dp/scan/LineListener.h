// Listens to a line without sending: what came, telegram by telegram, until the line has
// been quiet for a while or a bound has passed. The scan listens before its first request
// (is another master on the line?), --baud auto at each rate (do valid telegrams come?).
#pragma once

#include "dp/fdl/TelegramParser.h"
#include "dp/line/DpLine.h"

#include <cstdint>

namespace dp
{

struct SLineHeard
{
    std::uint32_t dwBytes = 0;
    std::uint32_t dwTelegrams = 0; // valid telegrams of every frame
    std::uint32_t dwChecked = 0;   // of them SD1, SD2 and SD3: those with a check sum
    std::uint32_t dwTokens = 0;    // SD4
    std::uint32_t dwRequests = 0;  // SD1, SD2 and SD3 requests
    int nTokenHolder = -1;         // the sender of the last token telegram heard
    int nRequester = -1;           // the sender of the last request heard
    SParserCounters parser;
    bool bQuiet = false;  // the line stayed quiet for the time asked, at the end
    bool bFailed = false; // the port failed
};

// Listens until the line has carried nothing for qwQuietNs (from the start, or from its last
// byte), or until qwMaxNs have passed.
SLineHeard ListenToLine(IDpLine& line, std::uint64_t qwQuietNs, std::uint64_t qwMaxNs);

// Listens for qwForNs whatever comes.
SLineHeard ListenFor(IDpLine& line, std::uint64_t qwForNs);

} // namespace dp
