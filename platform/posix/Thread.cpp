#include "platform/Thread.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace platform
{

std::uint32_t CurrentThreadId()
{
    return static_cast<std::uint32_t>(gettid());
}

struct CThread::SImpl
{
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cvStarted;
    std::atomic<std::uint32_t> m_dwId{0}; // the kernel's id of the running thread, else 0
    std::atomic<bool> m_bRunning{false};

    void Run(PFN_THREAD_START pfnStart, void* pArg)
    {
        SetState(CurrentThreadId(), true);
        pfnStart(pArg);
        SetState(0, false);
    }

    void SetState(std::uint32_t dwId, bool bRunning)
    {
        {
            std::lock_guard lock(m_mutex);
            m_dwId = dwId;
            m_bRunning = bRunning;
        }
        m_cvStarted.notify_all();
    }
};

CThread::CThread() : m_pImpl(new (std::nothrow) SImpl) {}

CThread::~CThread()
{
    Join();
}

bool CThread::Start(PFN_THREAD_START pfnStart, void* pArg)
{
    if (m_pImpl == nullptr || pfnStart == nullptr || IsRunning())
        return false;
    SImpl& impl = *m_pImpl;
    try
    {
        if (impl.m_thread.joinable())
            impl.m_thread.join(); // an earlier thread that has ended
        std::unique_lock lock(impl.m_mutex);
        impl.m_bRunning = true;
        impl.m_thread =
            std::thread([pImpl = m_pImpl, pfnStart, pArg] { pImpl->Run(pfnStart, pArg); });
        // The id is known to the caller as soon as Start returns, as with CreateThread.
        impl.m_cvStarted.wait(lock, [&impl] { return impl.m_dwId != 0 || !impl.m_bRunning; });
        return true;
    }
    catch (const std::exception&) // no thread to be had, or no memory for one
    {
        impl.m_bRunning = false;
        return false;
    }
}

bool CThread::Join()
{
    if (m_pImpl == nullptr || !m_pImpl->m_thread.joinable() ||
        m_pImpl->m_thread.get_id() == std::this_thread::get_id())
        return false;
    try
    {
        m_pImpl->m_thread.join();
        return true;
    }
    catch (const std::system_error&)
    {
        return false;
    }
}

void CThread::Detach()
{
    if (m_pImpl == nullptr || !m_pImpl->m_thread.joinable())
        return;
    m_pImpl->m_thread.detach();
    // The detached thread keeps the old state to itself; a later Start begins afresh.
    m_pImpl.reset(new (std::nothrow) SImpl);
}

bool CThread::IsRunning() const
{
    return m_pImpl != nullptr && m_pImpl->m_bRunning;
}

std::uint32_t CThread::GetId() const
{
    return m_pImpl != nullptr ? m_pImpl->m_dwId.load() : 0;
}

void CThread::RaisePriorityAboveNormal()
{
    std::uint32_t dwId = GetId();
    if (dwId == 0)
        return;
    // On Linux the nice value is per thread. Without CAP_SYS_NICE the kernel says EACCES or
    // EPERM, and the thread keeps running at its priority, which is all we can ask.
    errno = 0;
    int nNice = getpriority(PRIO_PROCESS, dwId);
    if (nNice == -1 && errno != 0)
        return;
    setpriority(PRIO_PROCESS, dwId, nNice - 1);
}

} // namespace platform
