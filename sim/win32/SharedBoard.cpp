// A board's state is a named file mapping over the paging file; its lock is a named mutex.
// The system abandons a mutex whose holder ends, and the next waiter gets it with
// WAIT_ABANDONED: the state's own marks then tell whether the holder left it half changed.
// The mapping lives while any process has it open, so a board starts afresh once every
// process that used it has ended.
#include "sim/SharedBoard.h"

#include "sim/common/BoardPrefix.h"

#include "platform/win32/WindowsHeaders.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace korix
{

class CSharedBoard
{
public:
    HANDLE m_hMapping = nullptr;
    HANDLE m_hMutex = nullptr;
    SBoardState* m_pState = nullptr;
};

namespace
{

// Opened boards stay mapped until the process ends: unmapping at unload would race with calls
// still running on other threads, and the system cleans up after us anyway.
std::array<std::atomic<CSharedBoard*>, 256> g_apBoards{};

CSharedBoard* MapBoard(std::uint8_t byBoard)
{
    char szName[128];
    char szMutexName[sizeof szName + 8];
    if (!MakeSharedBoardName(byBoard, szName, sizeof szName))
        return nullptr;
    std::snprintf(szMutexName, sizeof szMutexName, "%s.lock", szName);
    CSharedBoard* pBoard = new (std::nothrow) CSharedBoard;
    if (pBoard == nullptr)
        return nullptr;
    // A new mapping is zero-filled; zeros carry no magic, so the first lock holder
    // initialises the state.
    pBoard->m_hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(SBoardState), szName);
    pBoard->m_hMutex = CreateMutexA(nullptr, FALSE, szMutexName);
    if (pBoard->m_hMapping != nullptr && pBoard->m_hMutex != nullptr)
        pBoard->m_pState = static_cast<SBoardState*>(MapViewOfFile(
            pBoard->m_hMapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(SBoardState)));
    if (pBoard->m_pState == nullptr)
    {
        if (pBoard->m_hMapping != nullptr)
            CloseHandle(pBoard->m_hMapping);
        if (pBoard->m_hMutex != nullptr)
            CloseHandle(pBoard->m_hMutex);
        delete pBoard;
        return nullptr;
    }
    return pBoard;
}

} // namespace

bool MakeSharedBoardName(std::uint8_t byBoard, char* pszName, std::size_t nSize)
{
    const char* pszPrefix = BoardNamePrefix();
    if (pszPrefix == nullptr)
        return false;
    int nLength =
        std::snprintf(pszName, nSize, "%s.board%u", pszPrefix, static_cast<unsigned>(byBoard));
    return nLength > 0 && static_cast<std::size_t>(nLength) < nSize;
}

CSharedBoard* OpenSharedBoard(std::uint8_t byBoard)
{
    CSharedBoard* pBoard = g_apBoards[byBoard].load(std::memory_order_acquire);
    if (pBoard != nullptr)
        return pBoard;
    // Two threads may map at once; the loser gives its mapping back.
    pBoard = MapBoard(byBoard);
    if (pBoard == nullptr)
        return nullptr;
    CSharedBoard* pExpected = nullptr;
    if (!g_apBoards[byBoard].compare_exchange_strong(pExpected, pBoard))
    {
        UnmapViewOfFile(pBoard->m_pState);
        CloseHandle(pBoard->m_hMapping);
        CloseHandle(pBoard->m_hMutex);
        delete pBoard;
        pBoard = pExpected;
    }
    return pBoard;
}

SBoardState* LockSharedBoard(CSharedBoard* pBoard)
{
    if (pBoard == nullptr)
        return nullptr;
    // A mutex is owned by a thread, so threads of this process queue on it like processes do.
    DWORD dwWait = WaitForSingleObject(pBoard->m_hMutex, kBoardLockWaitMs);
    if (dwWait != WAIT_OBJECT_0 && dwWait != WAIT_ABANDONED)
        return nullptr;
    return pBoard->m_pState;
}

void UnlockSharedBoard(CSharedBoard* pBoard)
{
    if (pBoard != nullptr)
        ReleaseMutex(pBoard->m_hMutex);
}

} // namespace korix
