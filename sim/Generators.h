// What a slave's input bytes do on their own: each generator fills its byte range whenever
// the inputs are read.
#pragma once

#include "sim/SharedBoardLayout.h"

#include <cstdint>

namespace korix
{

// The name a plant file uses for the kind ("constant", "counter", ...); null for none.
const char* GeneratorKindName(std::uint8_t byKind);

// Whether the generator's bytes lie inside the slave's inputs, and a loopback's source inside
// its outputs; generators that do not are never applied.
bool IsGeneratorInside(const SGenerator& generator, const SBoardSlave& slave);

// Runs every generator of the slave, dwElapsedMs after the plant's epoch.
void ApplyGenerators(SBoardSlave& slave, std::uint32_t dwElapsedMs);

// The seed of a random generator whose plant gives none; never 0.
std::uint32_t DefaultRandomSeed(std::uint8_t byAddress, std::uint8_t byOffset);

} // namespace korix
