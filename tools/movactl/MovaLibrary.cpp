#include "tools/movactl/MovaLibrary.h"

#include "tools/movactl/LibraryLoader.h"

#include <filesystem>
#include <system_error>

namespace movactl
{

CMovaLibrary::~CMovaLibrary()
{
    if (m_pLibrary != nullptr)
        CloseLibrary(m_pLibrary);
}

bool CMovaLibrary::Load(const std::string& strPath, std::string& strError)
{
    if (!strPath.empty())
        return Open(strPath, strError);
    strError.clear();
    for (const std::string& strDefault : DefaultLibraries())
    {
        std::string strOpenError;
        if (Open(strDefault, strOpenError))
            return true;
        strError += (strError.empty() ? "" : "; ") + strOpenError;
    }
    return false;
}

bool CMovaLibrary::Open(const std::string& strPath, std::string& strError)
{
    // The loader would wait for ever on a FIFO and read a device without end: only a plain
    // file, as korixsim takes only plain files for plants. A name that is not there is left to
    // the loader, which may look for it elsewhere and says why not.
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(strPath, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    {
        strError = "cannot load " + strPath + ": not a plain file";
        return false;
    }
    std::string strLoaderError;
    void* pLibrary = OpenLibrary(strPath, strLoaderError);
    if (pLibrary == nullptr)
    {
        strError = "cannot load " + strPath + ": " + strLoaderError;
        return false;
    }
    // A host looks both factories up and takes the library only with both.
    auto pfnCreateJob =
        reinterpret_cast<PFN_CREATE_IMOVAJOB>(FindExport(pLibrary, "CreateIMovaJob"));
    auto pfnCreateProto =
        reinterpret_cast<PFN_CREATE_IMOVAPROTO>(FindExport(pLibrary, "CreateIMovaProto"));
    if (pfnCreateJob == nullptr || pfnCreateProto == nullptr)
    {
        strError = strPath + " does not export " +
                   (pfnCreateJob == nullptr ? "CreateIMovaJob" : "CreateIMovaProto");
        CloseLibrary(pLibrary);
        return false;
    }
    if (m_pLibrary != nullptr)
        CloseLibrary(m_pLibrary);
    m_pLibrary = pLibrary;
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
