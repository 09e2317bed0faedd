#include "job/HostCall.h"

#include "job/MovaJobObject.h"

namespace
{

// The innermost call in progress on this thread; each call links to the one it is nested in.
thread_local CHostCall* t_pInnermost = nullptr;

} // namespace

CHostCall::CHostCall(CMovaJob& job, teKind eKind)
    : m_job(job), m_eKind(eKind), m_pOuter(t_pInnermost)
{
    t_pInnermost = this;
}

CHostCall::~CHostCall()
{
    if (!m_bLeft)
        static_cast<void>(Leave());
}

bool CHostCall::Leave()
{
    m_bLeft = true;
    t_pInnermost = m_pOuter;
    if (!m_bDestroyJob)
        return true;
    delete &m_job;
    return false;
}

bool CHostCall::DeferDestruction(const CMovaJob& job)
{
    CHostCall* pOutermost = nullptr;
    for (CHostCall* pCall = t_pInnermost; pCall; pCall = pCall->m_pOuter)
        if (&pCall->m_job == &job)
            pOutermost = pCall;
    if (!pOutermost)
        return false;
    pOutermost->m_bDestroyJob = true;
    return true;
}

bool CHostCall::IsInProgress(const CMovaJob& job)
{
    for (const CHostCall* pCall = t_pInnermost; pCall; pCall = pCall->m_pOuter)
        if (&pCall->m_job == &job)
            return true;
    return false;
}

bool CHostCall::IsInProgress(const CMovaJob& job, teKind eKind)
{
    for (const CHostCall* pCall = t_pInnermost; pCall; pCall = pCall->m_pOuter)
        if (&pCall->m_job == &job && pCall->m_eKind == eKind)
            return true;
    return false;
}
