// From what a scan found to a bus file that brings the bus up as found: each slave that gave
// its diagnosis and configuration gets an entry; with its GSD file found, the file and the
// modules (so that its parameters come from the file), else its ident and configuration bytes.
// The keys are the bus file's own (docs/dp-master.md, dp/demo/bus-gsd.json).
#pragma once

#include "dp/scan/GsdCatalog.h"
#include "dp/scan/ModuleMatch.h"
#include "dp/scan/ScannedStation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

// The GSD file of a slave: among the files of its ident, the first whose modules give its
// configuration; when none does, the first, with the reason.
struct SGsdChoice
{
    const SGsdStation* pStation = nullptr; // nullptr: no file of the ident
    std::size_t nCandidates = 0;           // files of the ident
    SModuleMatch match;
};

SGsdChoice ChooseGsd(const SGsdCatalog& catalog, const SScannedStation& station);

struct SFoundSlave
{
    const SScannedStation* pStation = nullptr;
    SGsdChoice gsd;
};

struct SBusFileFacts
{
    std::uint32_t dwBaudRate = 0;
    std::uint8_t byMasterAddress = 1;
    std::uint32_t dwResponseAllowanceUs = 0; // 0: left to the master's default
    std::string strComment;
};

// The bus file's text; strBusFile is where it goes, so that the GSD files are named relative
// to its folder. Slaves without diagnosis or configuration are left out and named in
// skipped ("slave 7: no answer to Get_Cfg").
std::string BusFileText(const SBusFileFacts& facts, const std::vector<SFoundSlave>& slaves,
                        const std::string& strBusFile, std::vector<std::string>& skipped);

// Writes a new file; an existing one only with bOverwrite. False with "<path>: <reason>".
bool WriteBusFile(const std::string& strPath, const std::string& strText, bool bOverwrite,
                  std::string& strError);

} // namespace dp
