// The system's loader as a host uses it: a library by its file name, an export by its name.
// dlopen and dlsym on POSIX, LoadLibraryA and GetProcAddress on Windows.
#pragma once

#include <string>
#include <vector>

namespace movactl
{

// The loaded library, or null with the loader's reason in strError.
void* OpenLibrary(const std::string& strPath, std::string& strError);

// The address of the export pszName, or null when the library has none of that name.
void* FindExport(void* pLibrary, const char* pszName);

void CloseLibrary(void* pLibrary);

// The libraries tried in turn when none is named on the command line.
std::vector<std::string> DefaultLibraries();

} // namespace movactl
