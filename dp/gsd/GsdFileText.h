// Reads a GSD file from disk with the care a file named in a bus file deserves: only a
// regular file, never waiting on a FIFO or a device, and at most kMaxGsdFileBytes.
#pragma once

#include "dp/gsd/GsdStation.h"

#include <cstddef>
#include <string>

namespace dp
{

// The largest device description files (modular stations with hundreds of modules and their
// texts) stay well below a few hundred KiB; a file beyond 1 MiB is not a GSD file, and the
// bound keeps what a bus file can make the master read small.
inline constexpr std::size_t kMaxGsdFileBytes = 1024 * 1024;

// False with "<path>: <reason>".
bool ReadGsdFileText(const std::string& strPath, std::string& strText, std::string& strError);

// Reads and parses the file; errors begin with strPath as given ("pump.gsd:41: ...").
bool ReadGsdFile(const std::string& strPath, SGsdStation& station, std::string& strError);

} // namespace dp
