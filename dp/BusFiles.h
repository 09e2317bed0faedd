// The master's bus file (docs/dp-master.md). A file that breaks a rule is refused as a whole;
// the message names the place and the problem ("slaves[1].config: ...") or, for text that is
// not JSON, the line and column. Files are read and parsed as plant files are (sim/JsonFile.h).
#pragma once

#include "dp/MasterConfig.h"

#include <string>

namespace dp
{

bool ParseBusFile(const std::string& strText, SMasterConfig& config, std::string& strError);

// Reads a whole plain file of at most 1 MiB; false with "<path>: <reason>". FIFOs, devices
// and folders are refused without being opened.
bool ReadTextFile(const std::string& strPath, std::string& strText, std::string& strError);

} // namespace dp
