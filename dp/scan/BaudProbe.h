// --baud auto: listens at each standard rate, slowest first, for a bounded time, and names
// the rate at which valid telegrams come. At a wrong rate a UART makes garbage of the bus's
// characters: parity and framing errors, bytes that start no telegram, check sums that fail.
// A rate counts only with telegrams that carry a check sum (SD1, SD2, SD3: a token telegram
// has none, and garbage forms one easily) or a run of token telegrams, and with less garbage
// than telegrams. Nothing is sent.
#pragma once

#include "dp/line/DpLine.h"
#include "dp/scan/LineListener.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dp
{

// Opens (or sets) the line at a rate; nullptr with the reason when it cannot. The line stays
// the opener's, and valid until the next call.
using FOpenLineAt = std::function<IDpLine*(std::uint32_t dwBaudRate, std::string& strError)>;

struct SRateHeard
{
    std::uint32_t dwBaudRate = 0;
    SLineHeard heard;
    std::string strError; // the line could not be opened at the rate
};

struct SBaudProbe
{
    std::vector<SRateHeard> rates; // in the order listened to
    std::uint32_t dwFound = 0;     // 0: no rate carried telegrams
    bool bSilent = true;           // no rate carried a byte
};

// How long the probe listens at a rate: the time-out TTO of the highest address at the rate's
// customary slot time (a master that passes the token at all does so within it), at least
// 200 ms, at most 3 s.
std::uint64_t ProbeTimeNs(std::uint32_t dwBaudRate);

// Whether what was heard at a rate says the line runs at it.
bool CarriesTelegrams(const SLineHeard& heard);

// Listens at each standard rate; stops early at a rate whose telegrams leave no doubt.
SBaudProbe ProbeBaudRates(const FOpenLineAt& openLineAt);

} // namespace dp
