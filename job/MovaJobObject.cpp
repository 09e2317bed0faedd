// The host's side of the job object: opening, closing, queueing batches, the sink and the
// enumeration of waiting batches. The rules of threads, locks and destruction are at the top of
// job/MovaJobObject.h.
#include "job/MovaJobObject.h"

#include "include/MovaJob.h"
#include "job/HostCall.h"
#include "platform/Interlocked.h"
#include "trace/SessionNames.h"
#include "trace/TraceApi.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

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
    : m_pProto(nullptr), m_dwThreadId(0), m_bOpened(0), m_lStop(0), m_pTracer(nullptr)
{
    m_pTracer =
        CreateTracer(tracenames::kJobSession, tracenames::kJobWindowClass, TIMESTAMP_CLOCK, 0);
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
    DropSink();
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
        char szTraceName[tracenames::kSessionNameSize];
        tracenames::ComposeBoardSession(szTraceName, tracenames::kJobSession,
                                        static_cast<int>(pCommParams->Board));
        m_pTracer = CreateTracer(szTraceName, tracenames::kJobWindowClass, TIMESTAMP_CLOCK, 0);
    }
    TraceJob(100, "Anfang CMovaJob::OpenJob\n");

    // Inside a report a CloseJob of another thread may hold the claim while it waits for this
    // very report: only try. A job that is being opened or closed right then counts as open.
    CLifeCycleClaim claim(m_csLifeCycle, !CHostCall::IsInProgress(*this));
    if (!claim.IsHeld() || m_bOpened)
    {
        TraceJob(100, "Ende CMovaJob::OpenJob  allready opened\n");
        return MOVAJOB_OPEN_REFUSED;
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
            return MOVAJOB_OPEN_REFUSED;
        }
        m_pProto.store(pProto);
    }
    if (m_dwThreadId != 0)
    {
        TraceJob(100, "Ende CMovaJob::OpenJob  m_hThread!=NULL\n");
        return MOVAJOB_OPEN_WORKER_LEFT;
    }
    std::int32_t lOpen = pProto->Open(pProtoParams, pCommParams);
    if (lOpen != 0)
        return lOpen;
    if (!m_hThread.Start(WorkingThread, this))
    {
        // Without a worker nothing would ever run: undo the open and say so.
        pProto->Close();
        TraceJob(-2, "Ende CMovaJob::OpenJob  worker thread not started\n");
        return MOVAJOB_OPEN_REFUSED;
    }
    m_dwThreadId = m_hThread.GetId();
    m_bOpened = 1;
    return MOVAJOB_OK;
}

std::int32_t MOVA_CALL CMovaJob::CloseJob()
{
    // A closed job answers so from anywhere, also from inside a call into the host.
    if (m_dwThreadId.load() == 0)
        return MOVAJOB_CLOSE_NOT_OPEN;
    // From the worker (inside OnPutJobFinished) CloseJob would wait for itself; from inside
    // OnEnumJob it would wait for a worker that needs the queue lock this thread holds.
    if (CHostCall::IsInProgress(*this))
    {
        TraceJob(-2, "Ende CMovaJob::CloseJob  called back from the job\n");
        return MOVAJOB_CLOSE_IN_CALLBACK;
    }
    IJobNotify* pDroppedSink = nullptr;
    std::int32_t lClose = MOVAJOB_CLOSE_NOT_OPEN;
    {
        CLifeCycleClaim claim(m_csLifeCycle, true);
        if (m_dwThreadId.load() == 0)
            return MOVAJOB_CLOSE_NOT_OPEN;
        TraceJob(100, "Anfang CMovaJob::CloseJob\n");
        {
            platform::CCriticalSectionGuard guard(m_csQueue);
            m_JobQueue.Clear();
            platform::AtomicIncrement(&m_lStop);
        }
        m_hJobEvent.Set();
        m_hThread.Join();
        lClose = FinishClose(&pDroppedSink);
    }
    // The sink's Release is a call into the host: never under a lock of ours.
    if (pDroppedSink)
        pDroppedSink->Release();
    return lClose;
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
    IJobNotify* pDroppedSink = nullptr;
    FinishClose(&pDroppedSink);
    if (pDroppedSink)
        pDroppedSink->Release();
}

std::int32_t CMovaJob::FinishClose(IJobNotify** ppDroppedSink)
{
    m_dwThreadId = 0;
    m_bOpened = 0;
    // Never inside a call into the host (CloseJob refuses there, and the destructor runs after
    // the call it was deferred to): waits for walks in progress on other threads.
    *ppDroppedSink = m_pNotify.Drop(false);
    IMovaProto* pProto = m_pProto.load();
    if (!pProto)
    {
        TraceJob(100, "Ende CMovaJob::CloseJob  m_pProto == NULL\n");
        return MOVAJOB_OK;
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
        return MOVAJOB_PUT_REFUSED;
    }
    if (!pBuf)
    {
        TraceJob(100, "Ende CMovaJob::PutJob  pBuf==NULL\n");
        return MOVAJOB_PUT_NO_RECORDS;
    }
    {
        platform::CCriticalSectionGuard guard(m_csQueue);
        if (!m_JobQueue.AddNewest({dwCount, pBuf, dwContext}))
            return MOVAJOB_PUT_REFUSED;
        if (!m_hJobEvent.Mark())
        {
            TraceJob(100, "Ende CMovaJob::PutJob  !SetEvent\n");
            return MOVAJOB_OK;
        }
    }
    // Woken only now: the worker runs at a higher priority and, on the same CPU, would
    // otherwise preempt us inside the lock and at once block on it.
    m_hJobEvent.Wake();
    TraceJob(100, "Ende CMovaJob::PutJob\n");
    return MOVAJOB_OK;
}

std::int32_t MOVA_CALL CMovaJob::SetJobNotification(IJobNotify* ptr)
{
    TraceJob(100, "Anfang CMovaJob::SetJobNotification\n");
    if (!ptr)
    {
        // The sink's Release may give up the host's last reference to the job: ours keeps the
        // job alive to the end of this call.
        AddRef();
        DropSink();
        TraceJob(-2, "Ende CMovaJob::SetJobNotification ptr == NULL\n");
        Release();
        return MOVAJOB_OK;
    }
    if (!m_pNotify.IsRegistered())
    {
        const char* pszVersion = ptr->GetVersion();
        if (!pszVersion || std::strcmp(pszVersion, kMovaJobVersion) != 0)
        {
            pszVersion = ptr->GetVersion();
            TraceJob(-2, "Ende CMovaJob::SetJobNotification version check (need '%s', got '%s')\n",
                     kMovaJobVersion, pszVersion ? pszVersion : "(null)");
            return MOVAJOB_NOTIFY_REFUSED;
        }
        // Another thread may have registered a sink while we asked for the version. The place
        // is held while the reference is taken outside the lock: AddRef is the host's code.
        if (m_pNotify.Reserve())
        {
            ptr->AddRef();
            m_pNotify.Complete(ptr);
            TraceJob(100, "Ende CMovaJob::SetJobNotification\n");
            return MOVAJOB_OK;
        }
    }
    TraceJob(-2, "Ende CMovaJob::SetJobNotification m_pNotify != NULL\n");
    return MOVAJOB_NOTIFY_REFUSED;
}

void CMovaJob::DropSink()
{
    // Inside a call into the host this thread may be what another thread's call waits for
    // (a report that waits in EnumJobQueue for the queue lock our walk holds): no waiting.
    if (IJobNotify* pSink = m_pNotify.Drop(CHostCall::IsInProgress(*this)))
        pSink->Release();
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
    IJobNotify* pOwedRelease = nullptr;
    {
        platform::CCriticalSectionGuard guard(m_csQueue);
        TraceJob(0, "CMovaJob::EnumJobQueue(): enumerating job queue (%d entries)\n",
                 static_cast<int>(m_JobQueue.Count()));
        // Without a sink nobody can be asked: every batch stays.
        if (!bNested && m_JobQueue.Count() != 0)
        {
            CSinkRegistration::CSinkCall sinkCall(m_pNotify);
            if (sinkCall.Sink())
                OfferWaitingBatches(sinkCall, dwValue);
            pOwedRelease = sinkCall.Leave();
        }
    }
    // The sink was dropped during the walk and ours was the last call into it in progress.
    if (pOwedRelease)
        pOwedRelease->Release();
    TraceJob(100, "Ende CMovaJob::EnumJobQueue\n");
    static_cast<void>(call.Leave()); // may destroy the job: nothing of it is touched after
    return MOVAJOB_OK;
}

void CMovaJob::OfferWaitingBatches(const CSinkRegistration::CSinkCall& call, std::uint32_t dwValue)
{
    // A sink that is dropped during the walk, or a job the host let go of, ends it.
    for (CJobQueue::SNode* pNode = m_JobQueue.Newest();
         pNode && call.IsStillRegistered() && platform::AtomicRead(&m_lRefCount) != 0;)
    {
        CJobQueue::SNode* pOlder = CJobQueue::Older(pNode);
        const SJobParamArr& batch = CJobQueue::Batch(pNode);
        if (call.Sink()->OnEnumJob(batch.dwCount, batch.pBuf, batch.dwContext, dwValue) == 1)
            m_JobQueue.Remove(pNode);
        pNode = pOlder;
    }
}
