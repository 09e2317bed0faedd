// The loader on Windows. Without --lib, movactl takes MovaJob.dll from its own folder, where
// the build puts both and where an installation keeps them together; a path that is not
// absolute would let the current directory choose the library.
#include "tools/movactl/LibraryLoader.h"

#include "platform/win32/WindowsHeaders.h"

#include <cstdio>

namespace movactl
{

namespace
{

constexpr char kLibraryName[] = "MovaJob.dll";

// The system's words for an error, without the line end and full stop it puts after them.
std::string DescribeError(DWORD dwError)
{
    char szText[512] = {};
    DWORD dwLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, dwError, 0, szText, sizeof szText, nullptr);
    std::string strText(szText, dwLength);
    while (!strText.empty() && (strText.back() == '\r' || strText.back() == '\n' ||
                                strText.back() == ' ' || strText.back() == '.'))
        strText.pop_back();
    char szNumber[32];
    std::snprintf(szNumber, sizeof szNumber, "error %lu", static_cast<unsigned long>(dwError));
    return strText.empty() ? szNumber : strText + " (" + szNumber + ")";
}

// The folder of movactl.exe with its separator, or "" when the system does not say.
std::string OwnFolder()
{
    std::string strPath(MAX_PATH, '\0');
    for (;;)
    {
        DWORD dwLength =
            GetModuleFileNameA(nullptr, strPath.data(), static_cast<DWORD>(strPath.size()));
        if (dwLength == 0)
            return "";
        if (dwLength < strPath.size())
        {
            strPath.resize(dwLength);
            break;
        }
        if (strPath.size() >= 32768) // the longest path Windows has
            return "";
        strPath.resize(strPath.size() * 2);
    }
    std::size_t nSeparator = strPath.find_last_of("\\/");
    return nSeparator == std::string::npos ? "" : strPath.substr(0, nSeparator + 1);
}

} // namespace

void* OpenLibrary(const std::string& strPath, std::string& strError)
{
    HMODULE hLibrary = LoadLibraryA(strPath.c_str());
    if (hLibrary == nullptr)
        strError = DescribeError(GetLastError());
    return reinterpret_cast<void*>(hLibrary);
}

void* FindExport(void* pLibrary, const char* pszName)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(pLibrary), pszName));
}

void CloseLibrary(void* pLibrary)
{
    FreeLibrary(static_cast<HMODULE>(pLibrary));
}

std::vector<std::string> DefaultLibraries()
{
    return {OwnFolder() + kLibraryName};
}

} // namespace movactl
