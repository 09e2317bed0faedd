// The loader on POSIX. Without --lib, movactl takes the libmovajob.so built with it (its path
// comes from the build), else libmovajob.so.1 from the loader's search path.
#include "tools/movactl/LibraryLoader.h"

#include <dlfcn.h>

namespace movactl
{

namespace
{

#ifdef MOVACTL_BUILT_LIBRARY
constexpr char kBuiltLibrary[] = MOVACTL_BUILT_LIBRARY;
#else
constexpr char kBuiltLibrary[] = "";
#endif
constexpr char kInstalledLibrary[] = "libmovajob.so.1";

} // namespace

void* OpenLibrary(const std::string& strPath, std::string& strError)
{
    void* pLibrary = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (pLibrary == nullptr)
    {
        const char* pszError = dlerror();
        strError = pszError ? pszError : "unknown reason";
    }
    return pLibrary;
}

void* FindExport(void* pLibrary, const char* pszName)
{
    return dlsym(pLibrary, pszName);
}

void CloseLibrary(void* pLibrary)
{
    dlclose(pLibrary);
}

std::vector<std::string> DefaultLibraries()
{
    std::vector<std::string> aPaths;
    if (kBuiltLibrary[0] != '\0')
        aPaths.emplace_back(kBuiltLibrary);
    aPaths.emplace_back(kInstalledLibrary);
    return aPaths;
}

} // namespace movactl
