// A process-local lock that many readers share and one writer takes alone (a slim
// reader/writer lock on Win32).
#pragma once

#include <memory>

namespace platform
{

class CReadWriteLock
{
public:
    CReadWriteLock();
    ~CReadWriteLock();
    CReadWriteLock(const CReadWriteLock&) = delete;
    CReadWriteLock& operator=(const CReadWriteLock&) = delete;

    void LockShared();
    void UnlockShared();
    void LockExclusive();
    void UnlockExclusive();

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

class CSharedLockGuard
{
public:
    explicit CSharedLockGuard(CReadWriteLock& lock) : m_lock(lock) { m_lock.LockShared(); }
    ~CSharedLockGuard() { m_lock.UnlockShared(); }
    CSharedLockGuard(const CSharedLockGuard&) = delete;
    CSharedLockGuard& operator=(const CSharedLockGuard&) = delete;

private:
    CReadWriteLock& m_lock;
};

class CExclusiveLockGuard
{
public:
    explicit CExclusiveLockGuard(CReadWriteLock& lock) : m_lock(lock) { m_lock.LockExclusive(); }
    ~CExclusiveLockGuard() { m_lock.UnlockExclusive(); }
    CExclusiveLockGuard(const CExclusiveLockGuard&) = delete;
    CExclusiveLockGuard& operator=(const CExclusiveLockGuard&) = delete;

private:
    CReadWriteLock& m_lock;
};

} // namespace platform
