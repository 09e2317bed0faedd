#include "platform/Thread.h"

#include "platform/win32/WindowsHeaders.h"

#include <new>

namespace platform
{

std::uint32_t CurrentThreadId()
{
    return GetCurrentThreadId();
}

struct CThread::SImpl
{
    HANDLE m_hThread = nullptr;
    DWORD m_dwId = 0;
};

namespace
{

struct SStart
{
    PFN_THREAD_START pfnStart;
    void* pArg;
};

DWORD WINAPI ThreadProc(LPVOID pParameter)
{
    SStart start = *static_cast<SStart*>(pParameter);
    delete static_cast<SStart*>(pParameter);
    return start.pfnStart(start.pArg);
}

} // namespace

CThread::CThread() : m_pImpl(new (std::nothrow) SImpl) {}

CThread::~CThread()
{
    Join();
    if (m_pImpl && m_pImpl->m_hThread != nullptr)
        CloseHandle(m_pImpl->m_hThread);
}

bool CThread::Start(PFN_THREAD_START pfnStart, void* pArg)
{
    if (m_pImpl == nullptr || pfnStart == nullptr || IsRunning())
        return false;
    SStart* pStart = new (std::nothrow) SStart{pfnStart, pArg};
    if (pStart == nullptr)
        return false;
    if (m_pImpl->m_hThread != nullptr) // an earlier thread that has ended
    {
        CloseHandle(m_pImpl->m_hThread);
        m_pImpl->m_hThread = nullptr;
    }
    // Held until its handle and id are stored: the thread may ask for its own priority, and
    // would otherwise find no handle to raise it through when it ran first.
    DWORD dwId = 0;
    HANDLE hThread = CreateThread(nullptr, 0, ThreadProc, pStart, CREATE_SUSPENDED, &dwId);
    if (hThread == nullptr)
    {
        delete pStart;
        return false;
    }
    m_pImpl->m_hThread = hThread;
    m_pImpl->m_dwId = dwId;
    if (ResumeThread(hThread) == static_cast<DWORD>(-1))
    {
        // It never ran, so its start record is still ours.
        TerminateThread(hThread, 0);
        CloseHandle(hThread);
        m_pImpl->m_hThread = nullptr;
        m_pImpl->m_dwId = 0;
        delete pStart;
        return false;
    }
    return true;
}

bool CThread::Join()
{
    if (m_pImpl == nullptr || m_pImpl->m_hThread == nullptr ||
        m_pImpl->m_dwId == GetCurrentThreadId())
        return false;
    if (WaitForSingleObject(m_pImpl->m_hThread, INFINITE) != WAIT_OBJECT_0)
        return false;
    // The handle would keep the ended thread's object alive until the next Start or our
    // destruction: a joined thread leaves nothing behind, as on Linux.
    CloseHandle(m_pImpl->m_hThread);
    m_pImpl->m_hThread = nullptr;
    m_pImpl->m_dwId = 0;
    return true;
}

void CThread::Detach()
{
    if (m_pImpl == nullptr || m_pImpl->m_hThread == nullptr)
        return;
    CloseHandle(m_pImpl->m_hThread);
    m_pImpl->m_hThread = nullptr;
    m_pImpl->m_dwId = 0;
}

bool CThread::IsRunning() const
{
    return m_pImpl != nullptr && m_pImpl->m_hThread != nullptr &&
           WaitForSingleObject(m_pImpl->m_hThread, 0) == WAIT_TIMEOUT;
}

std::uint32_t CThread::GetId() const
{
    return IsRunning() ? m_pImpl->m_dwId : 0;
}

void CThread::RaisePriorityAboveNormal()
{
    if (IsRunning())
        SetThreadPriority(m_pImpl->m_hThread, THREAD_PRIORITY_ABOVE_NORMAL);
}

} // namespace platform
