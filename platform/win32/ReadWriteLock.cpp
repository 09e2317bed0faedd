#include "platform/ReadWriteLock.h"

#include "platform/win32/WindowsHeaders.h"

#include <new>

namespace platform
{

struct CReadWriteLock::SImpl
{
    SRWLOCK m_lock = SRWLOCK_INIT;
};

CReadWriteLock::CReadWriteLock() : m_pImpl(new (std::nothrow) SImpl) {}

CReadWriteLock::~CReadWriteLock() = default;

void CReadWriteLock::LockShared()
{
    if (m_pImpl)
        AcquireSRWLockShared(&m_pImpl->m_lock);
}

void CReadWriteLock::UnlockShared()
{
    if (m_pImpl)
        ReleaseSRWLockShared(&m_pImpl->m_lock);
}

void CReadWriteLock::LockExclusive()
{
    if (m_pImpl)
        AcquireSRWLockExclusive(&m_pImpl->m_lock);
}

void CReadWriteLock::UnlockExclusive()
{
    if (m_pImpl)
        ReleaseSRWLockExclusive(&m_pImpl->m_lock);
}

} // namespace platform
