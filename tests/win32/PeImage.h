// Reads the export and import tables of a DLL as the loader sees them, for the tests that
// check what MovaJob.dll and KORIX.dll offer and take.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace win32test
{

struct SExports
{
    std::vector<std::string> aNames;     // exported names
    std::set<std::uint32_t> setOrdinals; // ordinals with an address
};

struct SImportedDll
{
    std::string strName;
    std::vector<std::string> aNames;     // imported by name
    std::set<std::uint32_t> setOrdinals; // imported by ordinal
};

struct SPeImage
{
    bool bLoaded = false;
    SExports exports;
    std::vector<SImportedDll> aImports;
};

// Maps the DLL as an image without running its code or loading what it imports.
SPeImage ReadPeImage(const std::string& strPath);

} // namespace win32test
