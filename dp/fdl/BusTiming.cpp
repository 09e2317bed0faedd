#include "dp/fdl/BusTiming.h"

#include <algorithm>
#include <iterator>

namespace dp
{

namespace
{

struct SDefaults
{
    std::uint32_t dwBaudRate;
    std::uint32_t dwSlotTime;
    std::uint32_t dwMinTsdr;
    std::uint32_t dwMaxTsdr;
    std::uint32_t dwQuietTime;
    std::uint32_t dwSetupTime;
    std::uint32_t dwRetryLimit;
};

// The values commonly given for DP slaves of every make at each rate.
constexpr SDefaults kDefaults[] = {
    {9600, 100, 11, 60, 0, 1, 1},       {19200, 100, 11, 60, 0, 1, 1},
    {31250, 100, 11, 60, 0, 1, 1},      {45450, 640, 11, 400, 0, 95, 1},
    {93750, 100, 11, 60, 0, 1, 1},      {187500, 100, 11, 60, 0, 1, 1},
    {500000, 200, 11, 100, 0, 1, 1},    {1500000, 300, 11, 150, 0, 1, 1},
    {3000000, 400, 11, 250, 3, 4, 2},   {6000000, 600, 11, 450, 6, 8, 3},
    {12000000, 1000, 11, 800, 9, 16, 4}};

} // namespace

bool IsStandardBaudRate(std::uint32_t dwBaudRate)
{
    return std::find(std::begin(kStandardBaudRates), std::end(kStandardBaudRates), dwBaudRate) !=
           std::end(kStandardBaudRates);
}

bool DefaultBusParameters(std::uint32_t dwBaudRate, SBusParameters& parameters)
{
    if (dwBaudRate == 0)
        return false;
    const SDefaults* pChosen = &kDefaults[std::size(kDefaults) - 1];
    for (const SDefaults& defaults : kDefaults)
    {
        if (defaults.dwBaudRate >= dwBaudRate)
        {
            pChosen = &defaults;
            break;
        }
    }
    parameters.dwBaudRate = dwBaudRate;
    parameters.dwSlotTime = pChosen->dwSlotTime;
    parameters.dwMinTsdr = pChosen->dwMinTsdr;
    parameters.dwMaxTsdr = pChosen->dwMaxTsdr;
    parameters.dwQuietTime = pChosen->dwQuietTime;
    parameters.dwSetupTime = pChosen->dwSetupTime;
    parameters.dwRetryLimit = pChosen->dwRetryLimit;
    return true;
}

std::uint64_t BitsToNanoseconds(std::uint64_t qwBits, std::uint32_t dwBaudRate)
{
    if (dwBaudRate == 0)
        return 0;
    return (qwBits * 1000000000ull + dwBaudRate - 1) / dwBaudRate;
}

std::uint32_t IdleTime1Bits(const SBusParameters& parameters)
{
    return std::max(kSyncBits + parameters.dwSetupTime,
                    parameters.dwQuietTime + parameters.dwMinTsdr);
}

std::uint32_t IdleTime2Bits(const SBusParameters& parameters)
{
    return std::max(kSyncBits + parameters.dwSetupTime, parameters.dwMaxTsdr);
}

std::uint32_t ExchangeBits(const SBusParameters& parameters, std::uint32_t dwRequestBytes,
                           std::uint32_t dwAnswerBytes)
{
    return IdleTime1Bits(parameters) + dwRequestBytes * kBitsPerCharacter + parameters.dwMinTsdr +
           dwAnswerBytes * kBitsPerCharacter;
}

} // namespace dp
