// korix-dpmaster scan's lines for people: one per station, and the words for how a scan ended.
#pragma once

#include "dp/scan/ScanBusFile.h"
#include "dp/scan/ScanRunner.h"

#include <string>

namespace dpmaster
{

// "address 3: slave, ident 0x1234, master 2, exchanging data, config 17 27 (8 bytes in,
// 8 bytes out)", with the GSD file and its modules behind where a folder was searched.
std::string StationLine(const dp::SScannedStation& station, const dp::SGsdChoice* pGsd);

// The slave's state from its diagnosis, in words.
std::string SlaveStateText(const dp::SScannedStation& station);

// "the bus has an active master (station 5); joined its token ring in 120 ms (3 rotations)",
// or why it could not.
std::string ActiveMasterLine(const dp::SScanReport& report);
// Why a scan did not make its pass, in words (empty for a pass done).
std::string ScanEndText(const dp::SScanReport& report, std::uint32_t dwBaudRate);

} // namespace dpmaster
