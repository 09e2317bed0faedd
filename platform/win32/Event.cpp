#include "platform/Event.h"

#include "platform/win32/WindowsHeaders.h"

#include <new>

namespace platform
{

struct CAutoResetEvent::SImpl
{
    HANDLE m_hEvent;
};

CAutoResetEvent::CAutoResetEvent()
    : m_pImpl(new (std::nothrow) SImpl{CreateEventA(nullptr, FALSE, FALSE, nullptr)})
{
}

CAutoResetEvent::~CAutoResetEvent()
{
    if (m_pImpl && m_pImpl->m_hEvent != nullptr)
        CloseHandle(m_pImpl->m_hEvent);
}

bool CAutoResetEvent::Set()
{
    return m_pImpl && m_pImpl->m_hEvent != nullptr && SetEvent(m_pImpl->m_hEvent) != FALSE;
}

bool CAutoResetEvent::Mark()
{
    return Set();
}

void CAutoResetEvent::Wake() {}

teWaitResult CAutoResetEvent::Wait(std::uint32_t dwMilliseconds)
{
    if (!m_pImpl || m_pImpl->m_hEvent == nullptr)
        return teWaitResult::Failed;
    // kWaitInfinite is INFINITE.
    switch (WaitForSingleObject(m_pImpl->m_hEvent, dwMilliseconds))
    {
    case WAIT_OBJECT_0:
        return teWaitResult::Signalled;
    case WAIT_TIMEOUT:
        return teWaitResult::TimedOut;
    default:
        return teWaitResult::Failed;
    }
}

} // namespace platform
