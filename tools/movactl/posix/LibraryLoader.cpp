// The loader on POSIX. Without --lib, movactl takes a libmovajob.so.1 in its own folder (in the
// build tree, a link to the library built with it), else libmovajob.so.1 from the loader's
// search path (the installed library). A path of our own rather than the program's run path:
// a sanitizer's dlopen looks in the sanitizer's run path, not the program's.
#include "tools/movactl/LibraryLoader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace movactl
{

namespace
{

constexpr char kInstalledLibrary[] = "libmovajob.so.1";

// The folder of the running movactl with its separator, or "" when the system does not say.
std::string OwnFolder()
{
    char szPath[PATH_MAX];
    ssize_t nLength = readlink("/proc/self/exe", szPath, sizeof szPath - 1);
    if (nLength <= 0)
        return "";
    std::string strPath(szPath, static_cast<std::size_t>(nLength));
    std::size_t nSeparator = strPath.rfind('/');
    return nSeparator == std::string::npos ? "" : strPath.substr(0, nSeparator + 1);
}

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
    std::string strBeside = OwnFolder() + kInstalledLibrary;
    if (access(strBeside.c_str(), F_OK) == 0)
        aPaths.push_back(strBeside);
    aPaths.emplace_back(kInstalledLibrary);
    return aPaths;
}

} // namespace movactl
