#include "tests/win32/PeImage.h"

#include "platform/win32/WindowsHeaders.h"

namespace win32test
{

namespace
{

template <typename T> const T* At(const BYTE* pBase, DWORD dwRva)
{
    return reinterpret_cast<const T*>(pBase + dwRva);
}

const IMAGE_DATA_DIRECTORY& Directory(const BYTE* pBase, int nEntry)
{
    const auto* pDos = At<IMAGE_DOS_HEADER>(pBase, 0);
    const auto* pNt = At<IMAGE_NT_HEADERS32>(pBase, static_cast<DWORD>(pDos->e_lfanew));
    return pNt->OptionalHeader.DataDirectory[nEntry];
}

SExports ReadExports(const BYTE* pBase)
{
    SExports exports;
    const IMAGE_DATA_DIRECTORY& directory = Directory(pBase, IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (directory.VirtualAddress == 0)
        return exports;
    const auto* pExport = At<IMAGE_EXPORT_DIRECTORY>(pBase, directory.VirtualAddress);
    const auto* pFunctions = At<DWORD>(pBase, pExport->AddressOfFunctions);
    for (DWORD i = 0; i < pExport->NumberOfFunctions; ++i)
    {
        if (pFunctions[i] != 0)
            exports.setOrdinals.insert(pExport->Base + i);
    }
    const auto* pNames = At<DWORD>(pBase, pExport->AddressOfNames);
    for (DWORD i = 0; i < pExport->NumberOfNames; ++i)
        exports.aNames.emplace_back(At<char>(pBase, pNames[i]));
    return exports;
}

std::vector<SImportedDll> ReadImports(const BYTE* pBase)
{
    std::vector<SImportedDll> aImports;
    const IMAGE_DATA_DIRECTORY& directory = Directory(pBase, IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (directory.VirtualAddress == 0)
        return aImports;
    for (const auto* pDescriptor = At<IMAGE_IMPORT_DESCRIPTOR>(pBase, directory.VirtualAddress);
         pDescriptor->Name != 0; ++pDescriptor)
    {
        SImportedDll dll;
        dll.strName = At<char>(pBase, pDescriptor->Name);
        // The lookup table keeps the names and ordinals; the address table may be bound.
        DWORD dwTable = pDescriptor->OriginalFirstThunk != 0 ? pDescriptor->OriginalFirstThunk
                                                             : pDescriptor->FirstThunk;
        for (const auto* pThunk = At<IMAGE_THUNK_DATA32>(pBase, dwTable);
             pThunk->u1.AddressOfData != 0; ++pThunk)
        {
            if (IMAGE_SNAP_BY_ORDINAL32(pThunk->u1.Ordinal))
                dll.setOrdinals.insert(IMAGE_ORDINAL32(pThunk->u1.Ordinal));
            else
                dll.aNames.emplace_back(
                    At<IMAGE_IMPORT_BY_NAME>(pBase, pThunk->u1.AddressOfData)->Name);
        }
        aImports.push_back(std::move(dll));
    }
    return aImports;
}

} // namespace

SPeImage ReadPeImage(const std::string& strPath)
{
    SPeImage image;
    HMODULE hModule = LoadLibraryExA(strPath.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (hModule == nullptr)
        return image;
    const BYTE* pBase = reinterpret_cast<const BYTE*>(hModule);
    image.bLoaded = true;
    image.exports = ReadExports(pBase);
    image.aImports = ReadImports(pBase);
    FreeLibrary(hModule);
    return image;
}

} // namespace win32test
