// A slave's "generators" as plant files and the slave simulator's slave files give them
// (docs/simulated-board.md, "Plant files"): each checked against the slave's lengths and the
// other generators, each refusal naming its place ("slaves[1].generators[0].length: ...").
#pragma once

#include "sim/SharedBoardLayout.h"
#include "sim/common/PlantFields.h"

#include <string>

namespace korix
{

// Reads the optional "generators" array of jSlave, found at strPlace, into slave.aGenerators
// and slave.byGeneratorCount; the slave's input and output lengths must be set. byAddress
// gives a random generator without a seed its default one.
bool ReadGenerators(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
                    std::uint8_t byAddress, SBoardSlave& slave);

} // namespace korix
