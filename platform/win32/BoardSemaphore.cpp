// The board semaphore as a named Win32 semaphore, count 1, maximum 1.
//
// A semaphore has no owner: Windows does not give back the count of a process that ends while
// it holds it, so every later WaitBoardSemaphore would wait for ever. The library holds it
// only for the length of one board exchange, and a handle closed by this process while it
// holds it is given back here; a holder killed inside an exchange is the one case left, and
// docs/board-semaphore.md says how to recover from it (end every process of the board).
#include "platform/BoardSemaphore.h"

#include "platform/win32/WindowsHeaders.h"

#include <new>

namespace platform
{

struct SBoardSemaphore
{
    HANDLE m_hSemaphore;
    LONG m_nHeld; // waits of this handle not yet released
};

HBoardSemaphore CreateBoardSemaphore(const char* pszName)
{
    if (pszName == nullptr || *pszName == '\0')
        return nullptr;
    HANDLE hSemaphore = CreateSemaphoreA(nullptr, 1, 1, pszName);
    if (hSemaphore == nullptr)
        return nullptr;
    SBoardSemaphore* pSemaphore = new (std::nothrow) SBoardSemaphore{hSemaphore, 0};
    if (pSemaphore == nullptr)
        CloseHandle(hSemaphore);
    return pSemaphore;
}

bool WaitBoardSemaphore(HBoardSemaphore hSemaphore)
{
    if (hSemaphore == nullptr ||
        WaitForSingleObject(hSemaphore->m_hSemaphore, INFINITE) != WAIT_OBJECT_0)
        return false;
    InterlockedIncrement(&hSemaphore->m_nHeld);
    return true;
}

bool ReleaseBoardSemaphore(HBoardSemaphore hSemaphore)
{
    if (hSemaphore == nullptr)
        return false;
    // Past its maximum the system refuses the release, and so do we for a handle that holds
    // nothing: another handle's hold is not ours to give back.
    if (InterlockedDecrement(&hSemaphore->m_nHeld) < 0)
    {
        InterlockedIncrement(&hSemaphore->m_nHeld);
        return false;
    }
    if (ReleaseSemaphore(hSemaphore->m_hSemaphore, 1, nullptr) == FALSE)
    {
        InterlockedIncrement(&hSemaphore->m_nHeld);
        return false;
    }
    return true;
}

void CloseBoardSemaphore(HBoardSemaphore hSemaphore)
{
    if (hSemaphore == nullptr)
        return;
    while (InterlockedDecrement(&hSemaphore->m_nHeld) >= 0)
        ReleaseSemaphore(hSemaphore->m_hSemaphore, 1, nullptr);
    CloseHandle(hSemaphore->m_hSemaphore);
    delete hSemaphore;
}

} // namespace platform
