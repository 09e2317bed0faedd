// The host's side of the job object: opening, closing, queueing batches, the sink and the
// enumeration of waiting batches.
#include "job/MovaJobObject.h"

#include "include/MovaJob.h"
#include "platform/Interlocked.h"
#include "trace/TraceApi.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

constexpr char kTraceName[] = "MovaJob";
constexpr char kWindowClass[] = "MovaJobWin";

std::uint32_t LoadId(const std::uint32_t& dwId)
{
    return std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(dwId)).load();
}

void StoreId(std::uint32_t& dwId, std::uint32_t dwValue)
{
    std::atomic_ref<std::uint32_t>(dwId).store(dwValue);
}

std::uint32_t TakeId(std::uint32_t& dwId)
{
    return std::atomic_ref<std::uint32_t>(dwId).exchange(0);
}

} // namespace

CMovaJob::CMovaJob()
    : m_pProto(nullptr), m_pNotify(nullptr), m_dwThreadId(0), m_bOpened(0), m_lStop(0),
      m_pTracer(nullptr), m_dwEnumThreadId(0), m_bDestroyAfterCallback(0)
{
    m_pTracer = CreateTracer(kTraceName, kWindowClass, TIMESTAMP_CLOCK, 0);
    TraceJob(100, "Anfang CMovaJob::CMovaJob\n");
    TraceJob(100, "Ende CMovaJob::CMovaJob\n");
}

CMovaJob::~CMovaJob()
{
    TraceJob(100, "Anfang CMovaJob::~CMovaJob\n");
    if (platform::AtomicRead(&m_bOpened))
    {
        // A host may let go of its last reference from inside OnPutJobFinished: the job then
        // dies on its own worker, which cannot wait for its own end.
        if (platform::CurrentThreadId() == m_hThread.GetId())
            CloseOnWorker();
        else
            CloseJob();
    }
    // A sink registered while the job was closed would otherwise keep our reference forever.
    if (m_pNotify)
    {
        m_pNotify->Release();
        m_pNotify = nullptr;
    }
    if (m_pProto)
    {
        m_pProto->Release();
        m_pProto = nullptr;
    }
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

    if (platform::AtomicRead(&m_bOpened))
    {
        TraceJob(100, "Ende CMovaJob::OpenJob  allready opened\n");
        return -1;
    }
    if (!LoadProto())
    {
        IMovaProto* pProto = nullptr;
        if (!CreateIMovaProto(&pProto))
        {
            TraceJob(100, "Ende CMovaJob::OpenJob  m_pProto==NULL\n");
            return -1;
        }
        std::atomic_ref<IMovaProto*>(m_pProto).store(pProto);
    }
    if (LoadId(m_dwThreadId) != 0)
    {
        TraceJob(100, "Ende CMovaJob::OpenJob  m_hThread!=NULL\n");
        return -2;
    }
    std::int32_t lOpen = m_pProto->Open(pProtoParams, pCommParams);
    if (lOpen != 0)
        return lOpen;
    if (!m_hThread.Start(WorkingThread, this))
    {
        // Without a worker nothing would ever run: undo the open and say so.
        m_pProto->Close();
        TraceJob(-2, "Ende CMovaJob::OpenJob  worker thread not started\n");
        return -1;
    }
    StoreId(m_dwThreadId, m_hThread.GetId());
    std::atomic_ref<std::int32_t>(m_bOpened).store(1);
    return 0;
}

bool CMovaJob::IsCalledBack() const
{
    std::uint32_t dwSelf = platform::CurrentThreadId();
    return dwSelf == m_hThread.GetId() || dwSelf == LoadId(m_dwEnumThreadId);
}

std::int32_t MOVA_CALL CMovaJob::CloseJob()
{
    // From the worker (inside OnPutJobFinished) CloseJob would wait for itself; from inside
    // OnEnumJob it would wait for a worker that needs the queue lock this thread holds.
    if (IsCalledBack())
    {
        TraceJob(-2, "Ende CMovaJob::CloseJob  called back from the job\n");
        return kCloseFromCallback;
    }
    // Claiming the worker's id makes one caller the closer when two host threads close at once.
    if (TakeId(m_dwThreadId) == 0)
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
    TakeId(m_dwThreadId);
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
    std::atomic_ref<std::int32_t>(m_bOpened).store(0);
    {
        platform::CCriticalSectionGuard guard(m_csNotify);
        if (m_pNotify)
        {
            m_pNotify->Release();
            m_pNotify = nullptr;
        }
    }
    if (!m_pProto)
    {
        TraceJob(100, "Ende CMovaJob::CloseJob  m_pProto == NULL\n");
        return 0;
    }
    std::int32_t lClose = m_pProto->Close();
    TraceJob(100, "Ende CMovaJob::CloseJob\n");
    return lClose;
}

std::int32_t MOVA_CALL CMovaJob::PutJob(std::uint32_t dwCount, SJobParam* pBuf,
                                        std::uint32_t dwContext)
{
    TraceJob(100, "Anfang CMovaJob::PutJob\n");
    if (!LoadProto())
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
        if (!m_hJobEvent.Set())
        {
            TraceJob(100, "Ende CMovaJob::PutJob  !SetEvent\n");
            return 0;
        }
    }
    TraceJob(100, "Ende CMovaJob::PutJob\n");
    return 0;
}

std::int32_t MOVA_CALL CMovaJob::SetJobNotification(IJobNotify* ptr)
{
    TraceJob(100, "Anfang CMovaJob::SetJobNotification\n");
    // Waits for a report in progress on the worker, so the sink is not called once its
    // Release has returned; the worker itself (a sink dropping itself) enters again.
    platform::CCriticalSectionGuard guard(m_csNotify);
    if (!ptr)
    {
        if (m_pNotify)
        {
            m_pNotify->Release();
            m_pNotify = nullptr;
        }
        TraceJob(-2, "Ende CMovaJob::SetJobNotification ptr == NULL\n");
        return 0;
    }
    if (m_pNotify)
    {
        TraceJob(-2, "Ende CMovaJob::SetJobNotification m_pNotify != NULL\n");
        return -1;
    }
    const char* pszVersion = ptr->GetVersion();
    if (!pszVersion || std::strcmp(pszVersion, kMovaJobVersion) != 0)
    {
        pszVersion = ptr->GetVersion();
        TraceJob(-2, "Ende CMovaJob::SetJobNotification version check (need '%s', got '%s')\n",
                 kMovaJobVersion, pszVersion ? pszVersion : "(null)");
        return -1;
    }
    m_pNotify = ptr;
    m_pNotify->AddRef();
    TraceJob(100, "Ende CMovaJob::SetJobNotification\n");
    return 0;
}

HRESULT MOVA_CALL CMovaJob::GetProto(IMovaProto** ppProto)
{
    IMovaProto* pProto = LoadProto();
    if (!pProto)
        return E_NOINTERFACE;
    if (!ppProto)
        return E_POINTER;
    *ppProto = pProto;
    pProto->AddRef();
    return S_OK;
}

IMovaProto* CMovaJob::LoadProto() const
{
    return std::atomic_ref<IMovaProto*>(const_cast<IMovaProto*&>(m_pProto)).load();
}

ULONG MOVA_CALL CMovaJob::Release()
{
    std::int32_t lCount = platform::AtomicDecrement(&m_lRefCount);
    if (lCount != 0)
        return static_cast<ULONG>(lCount);
    // The host let go of its last reference from inside OnPutJobFinished or OnEnumJob: the
    // thread that called it still runs in the job and holds its locks. The job is destroyed
    // as soon as that call has returned.
    if (IsCalledBack())
    {
        std::atomic_ref<std::int32_t>(m_bDestroyAfterCallback).store(1);
        return 0;
    }
    delete this;
    return 0;
}

bool CMovaJob::IsDestroyedAfterCallback() const
{
    return std::atomic_ref<std::int32_t>(const_cast<std::int32_t&>(m_bDestroyAfterCallback))
               .load() != 0;
}

HRESULT MOVA_CALL CMovaJob::Reserved(void*)
{
    return E_NOTIMPL;
}

std::int32_t MOVA_CALL CMovaJob::EnumJobQueue(std::uint32_t dwValue)
{
    TraceJob(100, "Anfang CMovaJob::EnumJobQueue\n");
    {
        platform::CCriticalSectionGuard notifyGuard(m_csNotify);
        platform::CCriticalSectionGuard queueGuard(m_csQueue);
        TraceJob(0, "CMovaJob::EnumJobQueue(): enumerating job queue (%d entries)\n",
                 static_cast<int>(m_JobQueue.Count()));
        // An enumeration started from inside OnEnumJob could unlink the node the outer walk
        // goes on with: it offers nothing.
        if (LoadId(m_dwEnumThreadId) != platform::CurrentThreadId())
            OfferWaitingBatches(dwValue);
    }
    TraceJob(100, "Ende CMovaJob::EnumJobQueue\n");
    if (IsDestroyedAfterCallback())
        delete this;
    return 0;
}

void CMovaJob::OfferWaitingBatches(std::uint32_t dwValue)
{
    StoreId(m_dwEnumThreadId, platform::CurrentThreadId());
    // Without a sink nobody can be asked: every batch stays. A sink that drops itself during
    // the walk ends it the same way.
    for (CJobQueue::SNode* pNode = m_JobQueue.Newest();
         pNode && m_pNotify && !IsDestroyedAfterCallback();)
    {
        CJobQueue::SNode* pOlder = CJobQueue::Older(pNode);
        const SJobParamArr& batch = CJobQueue::Batch(pNode);
        if (m_pNotify->OnEnumJob(batch.dwCount, batch.pBuf, batch.dwContext, dwValue) == 1)
            m_JobQueue.Remove(pNode);
        pNode = pOlder;
    }
    StoreId(m_dwEnumThreadId, 0);
}
