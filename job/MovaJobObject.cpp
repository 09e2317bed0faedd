// The host's side of the job object: opening, closing, queueing batches, the sink and the
// enumeration of waiting batches. The rules of threads, locks and destruction are at the top of
// job/MovaJobObject.h.
#include "job/MovaJobObject.h"

#include "include/MovaJob.h"
#include "job/HostCall.h"
#include "platform/Interlocked.h"
#include "trace/TraceApi.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

constexpr char kTraceName[] = "MovaJob";
constexpr char kWindowClass[] = "MovaJobWin";

// Holds a critical section from construction, or only tries to, and leaves it on every way out.
class CLifeCycleClaim
{
public:
    CLifeCycleClaim(platform::CCriticalSection& cs, bool bWait)
        : m_cs(cs), m_bHeld(bWait ? (cs.Enter(), true) : cs.TryEnter())
    {
    }
    ~CLifeCycleClaim()
    {
        if (m_bHeld)
            m_cs.Leave();
    }
    CLifeCycleClaim(const CLifeCycleClaim&) = delete;
    CLifeCycleClaim& operator=(const CLifeCycleClaim&) = delete;
    bool IsHeld() const { return m_bHeld; }

private:
    platform::CCriticalSection& m_cs;
    bool m_bHeld;
};

} // namespace

CMovaJob::CMovaJob()
    : m_pProto(nullptr), m_pNotify(nullptr), m_dwThreadId(0), m_bOpened(0), m_lStop(0),
      m_pTracer(nullptr)
{
    m_pTracer = CreateTracer(kTraceName, kWindowClass, TIMESTAMP_CLOCK, 0);
    TraceJob(100, "Anfang CMovaJob::CMovaJob\n");
    TraceJob(100, "Ende CMovaJob::CMovaJob\n");
}

CMovaJob::~CMovaJob()
{
    // Nobody else holds a reference: no other thread calls in, and the worker, if it runs,
    // either is this thread or waits in the queue for CloseJob's stop request.
    TraceJob(100, "Anfang CMovaJob::~CMovaJob\n");
    if (m_bOpened)
    {
        // The last reference went inside OnPutJobFinished: the job dies on its own worker,
        // which cannot wait for its own end.
        if (platform::CurrentThreadId() == m_hThread.GetId())
            CloseOnWorker();
        else
            CloseJob();
    }
    // A sink registered while the job was closed would otherwise keep our reference forever.
    if (IJobNotify* pSink = DropSink())
        pSink->Release();
    if (IMovaProto* pProto = m_pProto.exchange(nullptr))
        pProto->Release();
    TraceJob(100, "Ende CMovaJob::~CMovaJob\n");
    {
        platform::CExclusiveLockGuard guard(m_rwTracer);
        DeleteTracer(m_pTracer);
        m_pTracer = nullptr;
    }
    // Batches put while the job was closed go with it, untold.
    m_JobQueue.Clear();
}

void CMovaJob::TraceJob(int nLevel, const char* pszFormat, ...)
{
    platform::CSharedLockGuard guard(m_rwTracer);
    // Lines of level 0 or more are formatted only when they pass; errors go out as they are.
    if (!m_pTracer || (nLevel >= 0 && !m_pTracer->IsLevelEnabled(nLevel)))
        return;
    va_list args;
    va_start(args, pszFormat);
    m_pTracer->TraceV(nLevel, pszFormat, args);
    va_end(args);
}

const char* MOVA_CALL CMovaJob::GetVersion()
{
    return kMovaJobVersion;
}

std::int32_t MOVA_CALL CMovaJob::OpenJob(SProtoParams* pProtoParams, SCommParams* pCommParams,
                                         std::int32_t)
{
    // Without communication parameters there is no board to name the session after.
    if (!pCommParams)
        return MOVA_RESULT_NULL_POINTER;
    {
        // Host threads and the worker may be tracing right now: they hold the lock shared.
        platform::CExclusiveLockGuard guard(m_rwTracer);
        DeleteTracer(m_pTracer);
        char szTraceName[32];
        std::snprintf(szTraceName, sizeof szTraceName, "%s%d", kTraceName,
                      static_cast<int>(pCommParams->Board));
        m_pTracer = CreateTracer(szTraceName, kWindowClass, TIMESTAMP_CLOCK, 0);
    }
    TraceJob(100, "Anfang CMovaJob::OpenJob\n");

    // Inside a report a CloseJob of another thread may hold the claim while it waits for this
    // very report: only try. A job that is being opened or closed right then counts as open.
    CLifeCycleClaim claim(m_csLifeCycle, !CHostCall::IsInProgress(*this));
    if (!claim.IsHeld() || m_bOpened)
    {
        TraceJob(100, "Ende CMovaJob::OpenJob  allready opened\n");
        return -1;
    }
    return OpenLocked(pProtoParams, pCommParams);
}

std::int32_t CMovaJob::OpenLocked(SProtoParams* pProtoParams, SCommParams* pCommParams)
{
    IMovaProto* pProto = m_pProto.load();
    if (!pProto)
    {
        if (!CreateIMovaProto(&pProto))
        {
            TraceJob(100, "Ende CMovaJob::OpenJob  m_pProto==NULL\n");
            return -1;
        }
        m_pProto.store(pProto);
    }
    if (m_dwThreadId != 0)
    {
        TraceJob(100, "Ende CMovaJob::OpenJob  m_hThread!=NULL\n");
        return -2;
    }
    std::int32_t lOpen = pProto->Open(pProtoParams, pCommParams);
    if (lOpen != 0)
        return lOpen;
    if (!m_hThread.Start(WorkingThread, this))
    {
        // Without a worker nothing would ever run: undo the open and say so.
        pProto->Close();
        TraceJob(-2, "Ende CMovaJob::OpenJob  worker thread not started\n");
        return -1;
    }
    m_dwThreadId = m_hThread.GetId();
    m_bOpened = 1;
    return 0;
}

std::int32_t MOVA_CALL CMovaJob::CloseJob()
{
    // From the worker (inside OnPutJobFinished) CloseJob would wait for itself; from inside
    // OnEnumJob it would wait for a worker that needs the queue lock this thread holds.
    if (CHostCall::IsInProgress(*this))
    {
        TraceJob(-2, "Ende CMovaJob::CloseJob  called back from the job\n");
        return kCloseFromCallback;
    }
    CLifeCycleClaim claim(m_csLifeCycle, true);
    if (m_dwThreadId == 0)
        return -1;
    TraceJob(100, "Anfang CMovaJob::CloseJob\n");
    {
        platform::CCriticalSectionGuard guard(m_csQueue);
        m_JobQueue.Clear();
        platform::AtomicIncrement(&m_lStop);
    }
    m_hJobEvent.Set();
    m_hThread.Join();
    return FinishClose();
}

void CMovaJob::CloseOnWorker()
{
    TraceJob(100, "Anfang CMovaJob::CloseJob\n");
    {
        platform::CCriticalSectionGuard guard(m_csQueue);
        m_JobQueue.Clear();
    }
    // The worker returns from the report into nothing of ours and ends by itself.
    m_hThread.Detach();
    FinishClose();
}

std::int32_t CMovaJob::FinishClose()
{
    m_dwThreadId = 0;
    m_bOpened = 0;
    if (IJobNotify* pSink = DropSink())
        pSink->Release();
    IMovaProto* pProto = m_pProto.load();
    if (!pProto)
    {
        TraceJob(100, "Ende CMovaJob::CloseJob  m_pProto == NULL\n");
        return 0;
    }
    std::int32_t lClose = pProto->Close();
    TraceJob(100, "Ende CMovaJob::CloseJob\n");
    return lClose;
}

std::int32_t MOVA_CALL CMovaJob::PutJob(std::uint32_t dwCount, SJobParam* pBuf,
                                        std::uint32_t dwContext)
{
    TraceJob(100, "Anfang CMovaJob::PutJob\n");
    if (!m_pProto.load())
    {
        TraceJob(100, "Ende CMovaJob::PutJob  m_pProto==NULL\n");
        return -1;
    }
    if (!pBuf)
    {
        TraceJob(100, "Ende CMovaJob::PutJob  pBuf==NULL\n");
        return -2;
    }
    {
        platform::CCriticalSectionGuard guard(m_csQueue);
        if (!m_JobQueue.AddNewest({dwCount, pBuf, dwContext}))
            return -1;
        if (!m_hJobEvent.Mark())
        {
            TraceJob(100, "Ende CMovaJob::PutJob  !SetEvent\n");
            return 0;
        }
    }
    // Woken only now: the worker runs at a higher priority and, on the same CPU, would
    // otherwise preempt us inside the lock and at once block on it.
    m_hJobEvent.Wake();
    TraceJob(100, "Ende CMovaJob::PutJob\n");
    return 0;
}

std::int32_t MOVA_CALL CMovaJob::SetJobNotification(IJobNotify* ptr)
{
    TraceJob(100, "Anfang CMovaJob::SetJobNotification\n");
    if (!ptr)
    {
        // A report in progress holds a reference of its own: no need to wait for it.
        if (IJobNotify* pSink = DropSink())
            pSink->Release();
        TraceJob(-2, "Ende CMovaJob::SetJobNotification ptr == NULL\n");
        return 0;
    }
    if (IsSinkRegistered(nullptr))
    {
        // The version is asked for outside the lock: it is a call into the host.
        const char* pszVersion = ptr->GetVersion();
        if (!pszVersion || std::strcmp(pszVersion, kMovaJobVersion) != 0)
        {
            pszVersion = ptr->GetVersion();
            TraceJob(-2, "Ende CMovaJob::SetJobNotification version check (need '%s', got '%s')\n",
                     kMovaJobVersion, pszVersion ? pszVersion : "(null)");
            return -1;
        }
        platform::CCriticalSectionGuard guard(m_csNotify);
        // Another thread may have registered a sink while we asked for the version.
        if (!m_pNotify)
        {
            m_pNotify = ptr;
            m_pNotify->AddRef();
            TraceJob(100, "Ende CMovaJob::SetJobNotification\n");
            return 0;
        }
    }
    TraceJob(-2, "Ende CMovaJob::SetJobNotification m_pNotify != NULL\n");
    return -1;
}

IJobNotify* CMovaJob::TakeSinkReference()
{
    platform::CCriticalSectionGuard guard(m_csNotify);
    if (m_pNotify)
        m_pNotify->AddRef();
    return m_pNotify;
}

bool CMovaJob::IsSinkRegistered(const IJobNotify* pSink)
{
    platform::CCriticalSectionGuard guard(m_csNotify);
    return m_pNotify == pSink;
}

IJobNotify* CMovaJob::DropSink()
{
    platform::CCriticalSectionGuard guard(m_csNotify);
    IJobNotify* pSink = m_pNotify;
    m_pNotify = nullptr;
    return pSink;
}

HRESULT MOVA_CALL CMovaJob::GetProto(IMovaProto** ppProto)
{
    IMovaProto* pProto = m_pProto.load();
    if (!pProto)
        return E_NOINTERFACE;
    if (!ppProto)
        return E_POINTER;
    *ppProto = pProto;
    pProto->AddRef();
    return S_OK;
}

ULONG MOVA_CALL CMovaJob::Release()
{
    std::int32_t lCount = platform::AtomicDecrement(&m_lRefCount);
    if (lCount == 0 && !CHostCall::DeferDestruction(*this))
        delete this;
    return static_cast<ULONG>(lCount);
}

HRESULT MOVA_CALL CMovaJob::Reserved(void*)
{
    return E_NOTIMPL;
}

std::int32_t MOVA_CALL CMovaJob::EnumJobQueue(std::uint32_t dwValue)
{
    TraceJob(100, "Anfang CMovaJob::EnumJobQueue\n");
    // An enumeration started from inside OnEnumJob could unlink the node the outer walk goes
    // on with: it offers nothing.
    bool bNested = CHostCall::IsInProgress(*this, CHostCall::Enumeration);
    CHostCall call(*this, CHostCall::Enumeration);
    IJobNotify* pSink = nullptr;
    {
        platform::CCriticalSectionGuard guard(m_csQueue);
        TraceJob(0, "CMovaJob::EnumJobQueue(): enumerating job queue (%d entries)\n",
                 static_cast<int>(m_JobQueue.Count()));
        // Without a sink nobody can be asked: every batch stays.
        if (!bNested && m_JobQueue.Count() != 0)
            pSink = TakeSinkReference();
        if (pSink)
            OfferWaitingBatches(pSink, dwValue);
    }
    if (pSink)
        pSink->Release();
    TraceJob(100, "Ende CMovaJob::EnumJobQueue\n");
    static_cast<void>(call.Leave()); // may destroy the job: nothing of it is touched after
    return 0;
}

void CMovaJob::OfferWaitingBatches(IJobNotify* pSink, std::uint32_t dwValue)
{
    // A sink that is dropped during the walk, or a job the host let go of, ends it.
    for (CJobQueue::SNode* pNode = m_JobQueue.Newest();
         pNode && IsSinkRegistered(pSink) && platform::AtomicRead(&m_lRefCount) != 0;)
    {
        CJobQueue::SNode* pOlder = CJobQueue::Older(pNode);
        const SJobParamArr& batch = CJobQueue::Batch(pNode);
        if (pSink->OnEnumJob(batch.dwCount, batch.pBuf, batch.dwContext, dwValue) == 1)
            m_JobQueue.Remove(pNode);
        pNode = pOlder;
    }
}
