#include "platform/CriticalSection.h"

#include <exception>
#include <mutex>
#include <new>
#include <system_error>

namespace platform
{

struct CCriticalSection::SImpl
{
    std::recursive_mutex m_mutex;
};

CCriticalSection::CCriticalSection() : m_pImpl(new (std::nothrow) SImpl)
{
    // A lock that could not be made must not pass for one.
    if (m_pImpl == nullptr)
        std::terminate();
}

CCriticalSection::~CCriticalSection() = default;

void CCriticalSection::Enter()
{
    try
    {
        m_pImpl->m_mutex.lock();
    }
    catch (const std::system_error&)
    {
        // Only a nesting deeper than the system allows gets here; no caller of ours nests so.
        std::terminate();
    }
}

bool CCriticalSection::TryEnter()
{
    return m_pImpl->m_mutex.try_lock();
}

void CCriticalSection::Leave()
{
    m_pImpl->m_mutex.unlock();
}

} // namespace platform
