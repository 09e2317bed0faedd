#include "platform/Event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>

namespace platform
{

struct CAutoResetEvent::SImpl
{
    std::mutex m_mutex;
    std::condition_variable m_cvSignalled;
    bool m_bSignalled = false;
};

CAutoResetEvent::CAutoResetEvent() : m_pImpl(new (std::nothrow) SImpl) {}

CAutoResetEvent::~CAutoResetEvent() = default;

bool CAutoResetEvent::Set()
{
    if (!Mark())
        return false;
    Wake();
    return true;
}

bool CAutoResetEvent::Mark()
{
    if (m_pImpl == nullptr)
        return false;
    try
    {
        std::lock_guard lock(m_pImpl->m_mutex);
        m_pImpl->m_bSignalled = true;
    }
    catch (const std::system_error&)
    {
        return false;
    }
    return true;
}

void CAutoResetEvent::Wake()
{
    if (m_pImpl != nullptr)
        m_pImpl->m_cvSignalled.notify_one();
}

teWaitResult CAutoResetEvent::Wait(std::uint32_t dwMilliseconds)
{
    if (m_pImpl == nullptr)
        return teWaitResult::Failed;
    try
    {
        std::unique_lock lock(m_pImpl->m_mutex);
        auto isSignalled = [this] { return m_pImpl->m_bSignalled; };
        if (dwMilliseconds == kWaitInfinite)
            m_pImpl->m_cvSignalled.wait(lock, isSignalled);
        else if (!m_pImpl->m_cvSignalled.wait_for(lock, std::chrono::milliseconds(dwMilliseconds),
                                                  isSignalled))
            return teWaitResult::TimedOut;
        m_pImpl->m_bSignalled = false; // the one waiter it releases resets it
        return teWaitResult::Signalled;
    }
    catch (const std::system_error&)
    {
        return teWaitResult::Failed;
    }
}

} // namespace platform
