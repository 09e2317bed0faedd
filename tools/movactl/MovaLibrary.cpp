#include "tools/movactl/MovaLibrary.h"

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

std::string LoaderError()
{
    const char* pszError = dlerror();
    return pszError ? pszError : "unknown reason";
}

} // namespace

CMovaLibrary::~CMovaLibrary()
{
    if (m_pHandle != nullptr)
        dlclose(m_pHandle);
}

bool CMovaLibrary::Load(const std::string& strPath, std::string& strError)
{
    if (!strPath.empty())
        return Open(strPath, strError);
    std::string strBuiltError;
    if (kBuiltLibrary[0] != '\0' && Open(kBuiltLibrary, strBuiltError))
        return true;
    if (Open(kInstalledLibrary, strError))
        return true;
    if (!strBuiltError.empty())
        strError = strBuiltError + "; " + strError;
    return false;
}

bool CMovaLibrary::Open(const std::string& strPath, std::string& strError)
{
    void* pHandle = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (pHandle == nullptr)
    {
        strError = "cannot load " + strPath + ": " + LoaderError();
        return false;
    }
    auto pfnCreateJob = reinterpret_cast<PFN_CREATE_IMOVAJOB>(dlsym(pHandle, "CreateIMovaJob"));
    if (pfnCreateJob == nullptr)
    {
        strError = strPath + " does not export CreateIMovaJob";
        dlclose(pHandle);
        return false;
    }
    if (m_pHandle != nullptr)
        dlclose(m_pHandle);
    m_pHandle = pHandle;
    m_pfnCreateJob = pfnCreateJob;
    m_strPath = strPath;
    return true;
}

IMovaJob* CMovaLibrary::CreateJob(std::string& strError)
{
    IMovaJob* pJob = nullptr;
    if (m_pfnCreateJob != nullptr && m_pfnCreateJob(&pJob) == 1 && pJob != nullptr)
        return pJob;
    strError = m_pfnCreateJob ? "CreateIMovaJob gave no job" : "no library loaded";
    return nullptr;
}

} // namespace movactl
