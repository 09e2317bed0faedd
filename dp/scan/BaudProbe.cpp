#include "dp/scan/BaudProbe.h"

#include "dp/fdl/BusTiming.h"
#include "dp/scan/ScanTiming.h"

#include <algorithm>

namespace dp
{

namespace
{

constexpr std::uint64_t kShortestListenNs = 200000000ull;
constexpr std::uint64_t kLongestListenNs = 3000000000ull;
constexpr std::uint8_t kHighestAddress = 126;
// Token telegrams carry no check sum: a rate with nothing else needs this many of them.
constexpr std::uint32_t kTokensNeeded = 4;
constexpr std::uint32_t kCheckedNeeded = 2;
// A rate with this many good telegrams and hardly any garbage ends the probe.
constexpr std::uint32_t kBeyondDoubt = 8;

std::uint32_t Garbage(const SLineHeard& heard)
{
    return heard.parser.dwBadCheckSums + heard.parser.dwBadFrames + heard.parser.dwTruncated;
}

std::uint32_t Evidence(const SLineHeard& heard)
{
    return heard.dwChecked + (heard.dwTokens >= kTokensNeeded ? heard.dwTokens : 0);
}

} // namespace

std::uint64_t ProbeTimeNs(std::uint32_t dwBaudRate)
{
    SBusParameters bus;
    if (!DefaultBusParameters(dwBaudRate, bus))
        return kShortestListenNs;
    const std::uint64_t qwNs = BitsToNanoseconds(TimeOutBits(bus, kHighestAddress), bus.dwBaudRate);
    return std::clamp(qwNs, kShortestListenNs, kLongestListenNs);
}

bool CarriesTelegrams(const SLineHeard& heard)
{
    if (heard.dwChecked < kCheckedNeeded && heard.dwTokens < kTokensNeeded)
        return false;
    // Bytes that start nothing: a listen may begin inside a telegram, but at a wrong rate
    // most bytes start nothing.
    const std::uint32_t dwTelegramish =
        heard.dwBytes - std::min(heard.dwBytes, heard.parser.dwSkippedBytes);
    return Garbage(heard) < Evidence(heard) && heard.parser.dwSkippedBytes <= dwTelegramish;
}

SBaudProbe ProbeBaudRates(const FOpenLineAt& openLineAt)
{
    SBaudProbe probe;
    std::uint32_t dwBest = 0;
    for (const std::uint32_t dwRate : kStandardBaudRates)
    {
        SRateHeard rate;
        rate.dwBaudRate = dwRate;
        IDpLine* pLine = openLineAt(dwRate, rate.strError);
        if (pLine != nullptr)
        {
            // What waited in the driver came at the rate before.
            pLine->Drain();
            rate.heard = ListenFor(*pLine, ProbeTimeNs(dwRate));
        }
        const SLineHeard& heard = rate.heard;
        probe.bSilent = probe.bSilent && heard.dwBytes == 0;
        const bool bCarries = pLine != nullptr && !heard.bFailed && CarriesTelegrams(heard);
        if (bCarries && Evidence(heard) > dwBest)
        {
            dwBest = Evidence(heard);
            probe.dwFound = dwRate;
        }
        probe.rates.push_back(rate);
        if (bCarries && heard.dwChecked >= kBeyondDoubt && Garbage(heard) == 0)
            break;
    }
    return probe;
}

} // namespace dp
