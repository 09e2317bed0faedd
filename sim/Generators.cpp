#include "sim/Generators.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace korix
{

namespace
{

// Writes the low byLength bytes of qwValue big-endian; longer ranges get leading zeros.
void PutBigEndian(std::uint8_t* pbyTarget, std::uint8_t byLength, std::uint64_t qwValue)
{
    for (int i = byLength - 1; i >= 0; --i)
    {
        pbyTarget[i] = static_cast<std::uint8_t>(qwValue);
        qwValue >>= 8;
    }
}

std::uint64_t JoinValue(const SGenerator& generator)
{
    return (static_cast<std::uint64_t>(generator.dwValueHigh) << 32) | generator.dwValueLow;
}

std::uint64_t CounterValue(const SGenerator& generator, std::uint32_t dwElapsedMs)
{
    std::uint32_t dwPeriod = generator.dwPeriodMs == 0 ? 1 : generator.dwPeriodMs;
    return JoinValue(generator) +
           static_cast<std::uint64_t>(dwElapsedMs / dwPeriod) * generator.dwStep;
}

std::int64_t SineValue(const SGenerator& generator, std::uint32_t dwElapsedMs)
{
    std::uint32_t dwPeriod = generator.dwPeriodMs == 0 ? 1 : generator.dwPeriodMs;
    double dPhase = static_cast<double>(dwElapsedMs % dwPeriod) / dwPeriod;
    double dValue =
        generator.nCenter + generator.nAmplitude * std::sin(2.0 * std::numbers::pi * dPhase);
    return std::llround(dValue);
}

std::uint32_t NextRandom(std::uint32_t& dwState)
{
    if (dwState == 0)
        dwState = 0x9E3779B9u;
    dwState ^= dwState << 13;
    dwState ^= dwState >> 17;
    dwState ^= dwState << 5;
    return dwState;
}

void ApplyGenerator(SGenerator& generator, SBoardSlave& slave, std::uint32_t dwElapsedMs)
{
    std::uint8_t* pbyTarget = slave.abyInput + generator.byOffset;
    switch (generator.byKind)
    {
    case GenConstant:
        PutBigEndian(pbyTarget, generator.byLength, JoinValue(generator));
        break;
    case GenCounter:
        PutBigEndian(pbyTarget, generator.byLength, CounterValue(generator, dwElapsedMs));
        break;
    case GenSine:
        PutBigEndian(pbyTarget, generator.byLength,
                     static_cast<std::uint64_t>(SineValue(generator, dwElapsedMs)));
        break;
    case GenLoopback:
        std::memmove(pbyTarget, slave.abyOutput + generator.bySource, generator.byLength);
        break;
    case GenRandom:
        for (std::uint8_t i = 0; i < generator.byLength; ++i)
            pbyTarget[i] = static_cast<std::uint8_t>(NextRandom(generator.dwRandomState) >> 24);
        break;
    default:
        break;
    }
}

} // namespace

const char* GeneratorKindName(std::uint8_t byKind)
{
    switch (byKind)
    {
    case GenConstant:
        return "constant";
    case GenCounter:
        return "counter";
    case GenSine:
        return "sine";
    case GenLoopback:
        return "loopback";
    case GenRandom:
        return "random";
    default:
        return nullptr;
    }
}

bool IsGeneratorInside(const SGenerator& generator, const SBoardSlave& slave)
{
    unsigned nInputs = slave.byInputLength > kMaxDataLength ? 0 : slave.byInputLength;
    unsigned nOutputs = slave.byOutputLength > kMaxDataLength ? 0 : slave.byOutputLength;
    if (GeneratorKindName(generator.byKind) == nullptr || generator.byLength == 0 ||
        generator.byOffset + generator.byLength > nInputs)
        return false;
    if (generator.byKind == GenCounter && generator.byLength > 8)
        return false;
    if (generator.byKind == GenSine && generator.byLength > 4)
        return false;
    return generator.byKind != GenLoopback || generator.bySource + generator.byLength <= nOutputs;
}

void ApplyGenerators(SBoardSlave& slave, std::uint32_t dwElapsedMs)
{
    std::uint8_t byCount =
        slave.byGeneratorCount > kMaxGenerators ? kMaxGenerators : slave.byGeneratorCount;
    for (std::uint8_t i = 0; i < byCount; ++i)
    {
        if (IsGeneratorInside(slave.aGenerators[i], slave))
            ApplyGenerator(slave.aGenerators[i], slave, dwElapsedMs);
    }
}

std::uint32_t DefaultRandomSeed(std::uint8_t byAddress, std::uint8_t byOffset)
{
    std::uint32_t dwSeed = 0x9E3779B9u ^ (static_cast<std::uint32_t>(byAddress) << 8) ^ byOffset;
    return dwSeed == 0 ? 1 : dwSeed;
}

} // namespace korix
