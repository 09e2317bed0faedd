#include "platform/ReadWriteLock.h"

#include <exception>
#include <new>
#include <shared_mutex>
#include <system_error>

namespace platform
{

struct CReadWriteLock::SImpl
{
    std::shared_mutex m_mutex;
};

CReadWriteLock::CReadWriteLock() : m_pImpl(new (std::nothrow) SImpl)
{
    // A lock that could not be made must not pass for one.
    if (m_pImpl == nullptr)
        std::terminate();
}

CReadWriteLock::~CReadWriteLock() = default;

void CReadWriteLock::LockShared()
{
    try
    {
        m_pImpl->m_mutex.lock_shared();
    }
    catch (const std::system_error&)
    {
        std::terminate(); // only more readers than the system counts get here
    }
}

void CReadWriteLock::UnlockShared()
{
    m_pImpl->m_mutex.unlock_shared();
}

void CReadWriteLock::LockExclusive()
{
    try
    {
        m_pImpl->m_mutex.lock();
    }
    catch (const std::system_error&)
    {
        std::terminate(); // a deadlock the system saw: a caller took it twice
    }
}

void CReadWriteLock::UnlockExclusive()
{
    m_pImpl->m_mutex.unlock();
}

} // namespace platform
