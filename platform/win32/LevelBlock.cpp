// The level block as a named file mapping over the paging file. The system keeps it while any
// handle or view of it is open, and the name is the trace name exactly as given.
#include "platform/LevelBlock.h"

#include "platform/win32/WindowsHeaders.h"

namespace platform
{

namespace
{

HANDLE AsHandle(HLevelBlock hBlock)
{
    return reinterpret_cast<HANDLE>(hBlock);
}

HLevelBlock AsBlock(HANDLE hMapping)
{
    return reinterpret_cast<HLevelBlock>(hMapping);
}

bool IsUsableName(const char* pszName)
{
    return pszName != nullptr && *pszName != '\0';
}

} // namespace

teBlockCreate CreateLevelBlock(const char* pszName, HLevelBlock* phBlock)
{
    if (phBlock == nullptr)
        return teBlockCreate::Failed;
    *phBlock = nullptr;
    if (!IsUsableName(pszName))
        return teBlockCreate::Failed;
    HANDLE hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         sizeof(std::int16_t), pszName);
    if (hMapping == nullptr)
        return teBlockCreate::Failed;
    if (GetLastError() == ERROR_ALREADY_EXISTS)
    {
        CloseHandle(hMapping);
        return teBlockCreate::AlreadyExists;
    }
    // A new mapping of the paging file is zero-filled by the system.
    *phBlock = AsBlock(hMapping);
    return teBlockCreate::Created;
}

HLevelBlock OpenLevelBlock(const char* pszName)
{
    if (!IsUsableName(pszName))
        return nullptr;
    return AsBlock(OpenFileMappingA(FILE_MAP_WRITE | FILE_MAP_READ, FALSE, pszName));
}

std::int16_t* MapLevelBlock(HLevelBlock hBlock)
{
    if (hBlock == nullptr)
        return nullptr;
    return static_cast<std::int16_t*>(MapViewOfFile(
        AsHandle(hBlock), FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, sizeof(std::int16_t)));
}

void UnmapLevelBlock(std::int16_t* pLevel)
{
    if (pLevel != nullptr)
        UnmapViewOfFile(pLevel);
}

void CloseLevelBlock(HLevelBlock hBlock)
{
    if (hBlock != nullptr)
        CloseHandle(AsHandle(hBlock));
}

// Windows names no way to list the named objects of a session; the trace window tool asks for
// the names it knows instead.
void ListLevelBlocks(void (*)(const char*, void*), void*) {}

// Windows has no documented call that names the processes holding a handle to a named file
// mapping.
bool ListLevelBlockHolders(const char*, void (*)(std::uint32_t, const char*, void*), void*)
{
    return false;
}

// A named file mapping is no file: there is no path or owner to name here.
bool DescribeLevelBlockObstacle(const char*, char* pszText, std::size_t nSize)
{
    if (pszText != nullptr && nSize > 0)
        *pszText = '\0';
    return false;
}

} // namespace platform
