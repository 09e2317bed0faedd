#include "job/SinkRegistration.h"

CSinkRegistration::CSinkCall::CSinkCall(CSinkRegistration& registration)
    : m_registration(registration)
{
    platform::CCriticalSectionGuard guard(registration.m_cs);
    if (!registration.m_pSink)
        return;
    m_pSink = registration.m_pSink;
    m_dwRegistration = registration.m_dwRegistration;
    m_pNext = registration.m_pCalls;
    registration.m_pCalls = this;
}

CSinkRegistration::CSinkCall::~CSinkCall()
{
    if (m_bLeft)
        return;
    if (IJobNotify* pSink = Leave())
        pSink->Release();
}

bool CSinkRegistration::CSinkCall::IsStillRegistered() const
{
    platform::CCriticalSectionGuard guard(m_registration.m_cs);
    return m_pSink && m_registration.m_pSink == m_pSink &&
           m_registration.m_dwRegistration == m_dwRegistration;
}

IJobNotify* CSinkRegistration::CSinkCall::Leave()
{
    m_bLeft = true;
    if (!m_pSink)
        return nullptr;
    platform::CCriticalSectionGuard guard(m_registration.m_cs);
    for (CSinkCall** ppCall = &m_registration.m_pCalls; *ppCall; ppCall = &(*ppCall)->m_pNext)
    {
        if (*ppCall == this)
        {
            *ppCall = m_pNext;
            break;
        }
    }
    if (m_registration.CountCallsLocked(m_dwRegistration) != 0)
        return nullptr;
    // The last call of a dropped sink: the Drop that waits checks the count under the same
    // lock, so its event still exists while we set it.
    if (m_pIdle)
        m_pIdle->Set();
    return m_bReleaseOwed ? m_pSink : nullptr;
}

bool CSinkRegistration::Reserve()
{
    platform::CCriticalSectionGuard guard(m_cs);
    if (m_pSink || m_bReserved)
        return false;
    m_bReserved = true;
    return true;
}

void CSinkRegistration::Complete(IJobNotify* pSink)
{
    platform::CCriticalSectionGuard guard(m_cs);
    m_pSink = pSink;
    m_bReserved = false;
    ++m_dwRegistration;
}

bool CSinkRegistration::IsRegistered()
{
    platform::CCriticalSectionGuard guard(m_cs);
    return m_pSink != nullptr || m_bReserved;
}

IJobNotify* CSinkRegistration::Drop(bool bInsideCall)
{
    platform::CAutoResetEvent idle;
    IJobNotify* pSink = nullptr;
    std::uint32_t dwRegistration = 0;
    {
        platform::CCriticalSectionGuard guard(m_cs);
        pSink = m_pSink;
        if (!pSink)
            return nullptr;
        m_pSink = nullptr;
        dwRegistration = m_dwRegistration;
        if (CountCallsLocked(dwRegistration) == 0)
            return pSink;
        for (CSinkCall* pCall = m_pCalls; pCall; pCall = pCall->m_pNext)
        {
            if (pCall->m_dwRegistration != dwRegistration)
                continue;
            if (bInsideCall)
                pCall->m_bReleaseOwed = true;
            else
                pCall->m_pIdle = &idle;
        }
        if (bInsideCall)
            return nullptr;
    }
    for (;;)
    {
        idle.Wait(platform::kWaitInfinite);
        platform::CCriticalSectionGuard guard(m_cs);
        if (CountCallsLocked(dwRegistration) == 0)
            return pSink;
    }
}

std::size_t CSinkRegistration::CountCallsLocked(std::uint32_t dwRegistration) const
{
    std::size_t nCalls = 0;
    for (const CSinkCall* pCall = m_pCalls; pCall; pCall = pCall->m_pNext)
        if (pCall->m_dwRegistration == dwRegistration)
            ++nCalls;
    return nCalls;
}
