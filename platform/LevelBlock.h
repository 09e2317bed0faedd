// The named 2-byte block that holds a trace session's level, shared by every process that
// opens the name. Each call stands for one Win32 call on the named file mapping.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform
{

struct SLevelBlock;               // one holder's hold on a named block
using HLevelBlock = SLevelBlock*; // null: no block

enum class teBlockCreate
{
    Created,       // the caller is the block's one creator; the block is zero-filled
    AlreadyExists, // somebody holds a block of that name; the caller holds nothing
    Failed         // the system refused (bad name, no memory, no rights)
};

// CreateFileMappingA over the paging file, size 2, plus GetLastError. The block lives while
// any holder has it open; a holder that died counts as released.
teBlockCreate CreateLevelBlock(const char* pszName, HLevelBlock* phBlock);

// OpenFileMappingA with write access: null when no live holder has the name.
HLevelBlock OpenLevelBlock(const char* pszName);

// MapViewOfFile over the whole block, writable: the level word at offset 0, or null.
std::int16_t* MapLevelBlock(HLevelBlock hBlock);

// UnmapViewOfFile; null is ignored.
void UnmapLevelBlock(std::int16_t* pLevel);

// CloseHandle: gives up this holder's hold; the last one out removes the name. Null is ignored.
void CloseLevelBlock(HLevelBlock hBlock);

// For tools: calls pfnVisit with the name of every block of this user that a live process
// holds. A name may come twice when it lives in two places. Platforms that cannot enumerate
// names visit nothing.
void ListLevelBlocks(void (*pfnVisit)(const char* pszName, void* pContext), void* pContext);

// For tools: calls pfnVisit once with the process id and program name of every process other
// than the caller that has the live block of the name open (every such process holds it: the
// creator and those that opened it). Returns false, having visited nothing, where the platform
// cannot tell who holds a block.
bool ListLevelBlockHolders(const char* pszName,
                           void (*pfnVisit)(std::uint32_t dwPid, const char* pszProgram,
                                            void* pContext),
                           void* pContext);

// For messages, after Create or Open failed: when something other than a usable block of ours
// stands under the name (a file of another user, something that is not a plain file, a held
// block shorter than the level word), writes what and where it is, and whose, into pszText
// (e.g. "/dev/shm/movatrace.1000.X belongs to user 'bob' (uid 1001)") and returns true.
// Platforms whose names cannot be squatted answer false.
bool DescribeLevelBlockObstacle(const char* pszName, char* pszText, std::size_t nSize);

} // namespace platform
