// A process-local lock that the owning thread may enter again (a Win32 critical section).
#pragma once

#include <memory>

namespace platform
{

class CCriticalSection
{
public:
    CCriticalSection();
    ~CCriticalSection();
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter();
    // Enters only when no other thread holds the section; false otherwise (never waits).
    bool TryEnter();
    void Leave();

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

// Leaves the section on every way out of a scope.
class CCriticalSectionGuard
{
public:
    explicit CCriticalSectionGuard(CCriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~CCriticalSectionGuard() { m_cs.Leave(); }
    CCriticalSectionGuard(const CCriticalSectionGuard&) = delete;
    CCriticalSectionGuard& operator=(const CCriticalSectionGuard&) = delete;

private:
    CCriticalSection& m_cs;
};

} // namespace platform
