#include "platform/CriticalSection.h"

#include "platform/win32/WindowsHeaders.h"

#include <new>

namespace platform
{

struct CCriticalSection::SImpl
{
    CRITICAL_SECTION m_section;
};

CCriticalSection::CCriticalSection() : m_pImpl(new (std::nothrow) SImpl)
{
    if (m_pImpl)
        InitializeCriticalSection(&m_pImpl->m_section);
}

CCriticalSection::~CCriticalSection()
{
    if (m_pImpl)
        DeleteCriticalSection(&m_pImpl->m_section);
}

void CCriticalSection::Enter()
{
    if (m_pImpl)
        EnterCriticalSection(&m_pImpl->m_section);
}

bool CCriticalSection::TryEnter()
{
    return m_pImpl && TryEnterCriticalSection(&m_pImpl->m_section) != 0;
}

void CCriticalSection::Leave()
{
    if (m_pImpl)
        LeaveCriticalSection(&m_pImpl->m_section);
}

} // namespace platform
