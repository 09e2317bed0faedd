#include "dp/files/TargetRotation.h"

#include "dp/fdl/Telegram.h"

#include <algorithm>

namespace dp
{

std::uint32_t DefaultTargetRotationBits(const SMasterConfig& config)
{
    const SBusParameters& bus = config.bus;
    auto bytesOf = [](std::size_t nDataUnits)
    { return static_cast<std::uint64_t>(TelegramSize(FrameForDataUnits(nDataUnits), nDataUnits)); };
    std::uint64_t qwBits = 0;
    for (const SSlaveConfig& slave : config.slaves)
        qwBits += IdleTime1Bits(bus) + bytesOf(slave.byOutputLength) * kBitsPerCharacter +
                  bus.dwMaxTsdr + bytesOf(slave.byInputLength) * kBitsPerCharacter;
    // Global_Control: DSAP, SSAP and two bytes, nobody answers.
    qwBits += IdleTime2Bits(bus) + bytesOf(4) * kBitsPerCharacter;
    // One FDL status of the GAP maintenance that nobody answers.
    qwBits += IdleTime1Bits(bus) + kSd1Size * kBitsPerCharacter + bus.dwSlotTime;
    // The token pass.
    qwBits += IdleTime1Bits(bus) + kSd4Size * kBitsPerCharacter;
    return static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(2 * qwBits, kMinTargetRotationBits, kMaxTargetRotationBits));
}

} // namespace dp
