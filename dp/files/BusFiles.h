// The master's bus file (docs/dp-master.md). A file that breaks a rule is refused as a whole;
// the message names the place and the problem ("slaves[1].config: ...") or, for text that is
// not JSON, the line and column. Files are read and parsed as plant files are
// (sim/common/JsonFile.h).
#pragma once

#include "dp/files/MasterConfig.h"

#include <string>

namespace dp
{

// A slave may name its device description (GSD) file, "gsd", relative to strBaseDir (the bus
// file's folder), with its "modules" in slot order and named "parameters": the ident, the
// configuration and the user parameter data then come from the file, checked against what it
// declares, and "ident", "config" and "user_prm" typed by hand win over it, each on its own.
bool ParseBusFile(const std::string& strText, SMasterConfig& config, std::string& strError,
                  const std::string& strBaseDir = std::string());

// The folder of a file's path, for ParseBusFile: "plant/bus.json" gives "plant/", "bus.json"
// gives "".
std::string FolderOf(const std::string& strPath);

// Reads a whole plain file of at most 1 MiB; false with "<path>: <reason>". FIFOs, devices
// and folders are refused without being opened.
bool ReadTextFile(const std::string& strPath, std::string& strText, std::string& strError);

} // namespace dp
