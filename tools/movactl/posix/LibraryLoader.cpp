// The loader on POSIX. Without --lib, movactl takes libmovajob.so.1 from the loader's search
// path, which in the build tree starts with the folder of the library built with it (the
// program's run path, set by the build and dropped when it is installed).
#include "tools/movactl/LibraryLoader.h"

#include <dlfcn.h>

namespace movactl
{

namespace
{

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
    return {kInstalledLibrary};
}

} // namespace movactl
