// The JSON files of the DP programs (docs/dp-master.md): the master's bus file and the slave
// simulator's slave file. A file that breaks a rule is refused as a whole; the message names
// the place and the problem ("slaves[1].config: ...") or, for text that is not JSON, the line
// and column.
#pragma once

#include "dp/MasterConfig.h"
#include "dp/SimulatedSlave.h"

#include <string>
#include <vector>

namespace dp
{

bool ParseBusFile(const std::string& strText, SMasterConfig& config, std::string& strError);

bool ParseSlaveFile(const std::string& strText, std::vector<SSlaveDefinition>& slaves,
                    std::string& strError);

// Reads a whole file of at most 1 MiB; false with "<path>: <reason>".
bool ReadTextFile(const std::string& strPath, std::string& strText, std::string& strError);

} // namespace dp
