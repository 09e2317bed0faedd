// The slave simulator's slave file (docs/dp-master.md): what each simulated slave expects and
// how its inputs change. Refusals name the place, as the bus file's do; the generators are
// read as a plant file's are.
#pragma once

#include "dp/slave/SimulatedSlave.h"

#include <string>
#include <vector>

namespace dp
{

bool ParseSlaveFile(const std::string& strText, std::vector<SSlaveDefinition>& slaves,
                    std::string& strError);

} // namespace dp
