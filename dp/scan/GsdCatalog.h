// The GSD files of a folder, found by the ident number they declare: the scanner's way from a
// slave's diagnosis to its device description. A vendor's files share a name stem and a
// Vendor_Name; only the ident tells them apart.
//
// The folder is walked with bounds, since it may be anything a person points at: at most
// kMaxGsdEntries names looked at, kMaxGsdFiles files read (each at most kMaxGsdFileBytes, as
// the reader allows), kMaxGsdDepth folders deep; a link to a folder is followed once (a
// folder reached twice, by links in circles or not, is skipped); only names ending in .gs?
// (the language variants .gsd, .gse, .gsg, ...) are read. A file the reader refuses is named
// with its reason and skipped: a folder of vendors' files always holds some.
#pragma once

#include "dp/gsd/GsdStation.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace dp
{

inline constexpr std::size_t kMaxGsdEntries = 20000;
inline constexpr std::size_t kMaxGsdFiles = 2000;
inline constexpr std::size_t kMaxGsdDepth = 8;

struct SGsdCatalogLimits
{
    std::size_t nMaxEntries = kMaxGsdEntries;
    std::size_t nMaxFiles = kMaxGsdFiles;
    std::size_t nMaxDepth = kMaxGsdDepth;
};

struct SGsdCatalog
{
    // The stations of the idents asked for, each ident's files in path order.
    std::map<std::uint16_t, std::vector<SGsdStation>> byIdent;
    std::size_t nEntries = 0;         // names looked at
    std::size_t nFilesRead = 0;       // GSD files read (refused ones included)
    std::vector<std::string> refused; // "<file>: <reason>" (the first kMaxRefusalsKept)
    std::size_t nRefused = 0;
    std::size_t nLoopsSkipped = 0; // folders reached a second time
    // The walk stopped at a bound: the words say which.
    std::string strStopped;
};

inline constexpr std::size_t kMaxRefusalsKept = 20;

// Reads the folder for the stations of the idents wanted (every ident when the set is empty);
// false with the reason when the folder itself cannot be read.
bool ReadGsdCatalog(const std::string& strFolder, const std::set<std::uint16_t>& wanted,
                    SGsdCatalog& catalog, std::string& strError,
                    const SGsdCatalogLimits& limits = SGsdCatalogLimits());

} // namespace dp
