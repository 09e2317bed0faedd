// The loader on Windows. Without --lib, movactl takes MovaJob.dll from its own folder, where
// the build puts both and where an installation keeps them together; a path that is not
// absolute would let the current directory choose the library.
#include "tools/movactl/LibraryLoader.h"

#include "platform/win32/WindowsHeaders.h"

#include <cstdio>
#include <vector>

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

// The DLLs that the library imports and the loader does not find. The library is mapped
// without its imports resolved, and each import is looked for as Windows looks for the
// imports of a library loaded by its full path: the folder of the program first, not the
// library's own folder.
std::vector<std::string> MissingImports(const std::string& strPath)
{
    std::vector<std::string> aMissing;
    HMODULE hImage = LoadLibraryExA(strPath.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (hImage == nullptr)
        return aMissing;
    const BYTE* pbyBase = reinterpret_cast<const BYTE*>(hImage);
    const auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pbyBase);
    const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pbyBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress != 0)
    {
        for (const auto* pImport =
                 reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pbyBase + imports.VirtualAddress);
             pImport->Name != 0; ++pImport)
        {
            const char* pszName = reinterpret_cast<const char*>(pbyBase + pImport->Name);
            HMODULE hImport = LoadLibraryExA(pszName, nullptr, LOAD_LIBRARY_AS_DATAFILE);
            if (hImport == nullptr)
                aMissing.push_back(pszName);
            else
                FreeLibrary(hImport);
        }
    }
    FreeLibrary(hImage);
    return aMissing;
}

// Error 126 names the library, but for a library that is there it means that one of the DLLs
// it imports was not found: name that one, and where Windows looks for it.
std::string DescribeMissingModule(const std::string& strPath, DWORD dwError)
{
    DWORD dwAttributes = GetFileAttributesA(strPath.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return DescribeError(dwError);
    std::vector<std::string> aMissing = MissingImports(strPath);
    std::string strWhere = "Windows looks for a library's imports in the folder of movactl.exe (" +
                           OwnFolder() +
                           "), the system folders and the folders on PATH; not beside a library "
                           "loaded by its full path from elsewhere";
    if (aMissing.empty())
        return "a DLL it needs, or one that those need, was not found (" + DescribeError(dwError) +
               "); " + strWhere;
    std::string strNames;
    bool bBoardLibrary = false;
    for (const std::string& strName : aMissing)
    {
        strNames += (strNames.empty() ? "" : ", ") + strName;
        bBoardLibrary = bBoardLibrary || _stricmp(strName.c_str(), "KORIX.dll") == 0;
    }
    return strNames +
           (aMissing.size() == 1 ? ", which it imports, was" : ", which it imports, were") +
           " not found (" + DescribeError(dwError) + "): " + strWhere +
           (bBoardLibrary ? ". KORIX.dll is the board library: the simulated board built with "
                            "movactl, or the board vendor's"
                          : "");
}

} // namespace

void* OpenLibrary(const std::string& strPath, std::string& strError)
{
    HMODULE hLibrary = LoadLibraryA(strPath.c_str());
    if (hLibrary == nullptr)
    {
        DWORD dwError = GetLastError();
        strError = dwError == ERROR_MOD_NOT_FOUND ? DescribeMissingModule(strPath, dwError)
                                                  : DescribeError(dwError);
    }
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
