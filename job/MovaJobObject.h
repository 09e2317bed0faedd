// The job object the host holds for one channel to one board: it queues the host's batches and
// one worker thread executes them in order through the protocol object and reports each back.
//
// Threads
//   Host threads call every IMovaJob slot, any of them at any time, from any thread.
//   The worker (WorkingThread.cpp) runs while the job is open. It alone executes batches and
//   calls OnPutJobFinished, with no lock of the job held.
//   OnEnumJob runs on the thread that called EnumJobQueue, with m_csQueue held.
//
// Locks, in the order they may be taken (never the other way round)
//   1. m_csLifeCycle  OpenJob and CloseJob, whole. Never taken by the worker, and never waited
//                     for inside a call into the host (OpenJob there only tries it): CloseJob
//                     holds it while it waits for the worker's report to return.
//   2. m_csQueue      m_JobQueue only; PutJob, the worker's two short holds per batch, CloseJob's
//                     clear, and EnumJobQueue's whole walk with its OnEnumJob calls.
//   3. m_csNotify     m_pNotify only, and the AddRef that takes a reference to the sink: held
//                     for a few instructions, never across a call into the host but that AddRef.
//   4. m_rwTracer     m_pTracer: shared by every trace line, alone while OpenJob replaces it.
//   The worker holds no lock while it executes a batch or reports it, so neither PutJob nor
//   EnumJobQueue nor SetJobNotification ever waits for a board transfer or a report.
//
// Life cycle (changed only under m_csLifeCycle)
//   Created  m_pProto null, no worker          OpenJob -> Open, or stays on failure
//   Open     m_bOpened 1, worker running       CloseJob -> Closed
//   Closed   m_pProto kept, no worker          OpenJob -> Open; PutJob still queues
//
// The sink
//   The job holds one reference while the sink is registered (SetJobNotification to
//   SetJobNotification(NULL) or CloseJob). Each call into it is made under a reference of its
//   own: taken under m_csNotify (AddRef) before the call, given back (Release) after it. So
//   dropping the sink never waits for a report in progress, and the sink is never called after
//   the job has given back its last reference to it. docs/api/sink-references.md lists every
//   AddRef and Release a host sees.
//
// Destruction
//   The last Release destroys the job at once, on the releasing thread; the destructor closes
//   an open job, waiting for the worker to finish the batch in hand and its report. When the
//   last reference goes inside a call into the host, that thread still runs in the job: the
//   job is destroyed when the outermost call of the job on that thread has returned
//   (CHostCall::Leave), with no lock of the job held. On the worker the destructor then closes
//   without waiting for the worker (it is the worker), which ends without touching the job.
//   Nothing may touch the job after CHostCall::Leave returned false.
//
// Shared fields are std::atomic, or are guarded by the lock named beside them; the reference
// count and the stop request use the platform's interlocked calls.
#pragma once

#include "core/Unknown.h"
#include "include/MovaJob.h"
#include "job/JobQueue.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/ReadWriteLock.h"
#include "platform/Thread.h"

#include <atomic>

class CTracer;

class CMovaJob : public IMovaJob, public virtual CUnknown
{
public:
    // CloseJob from a thread it would have to wait for: the worker, or inside OnEnumJob.
    static constexpr std::int32_t kCloseFromCallback = -3;

    CMovaJob();
    ~CMovaJob() override;

    HRESULT MOVA_CALL QueryInterface(REFIID riid, void** ppvObject) override
    {
        return CUnknown::QueryInterface(riid, ppvObject);
    }
    ULONG MOVA_CALL AddRef() override { return CUnknown::AddRef(); }
    // Destroys the job at once, or, when the last reference goes inside a call into the host,
    // as soon as that call has returned (CHostCall).
    ULONG MOVA_CALL Release() override;

    const char* MOVA_CALL GetVersion() override;
    std::int32_t MOVA_CALL OpenJob(SProtoParams* pProtoParams, SCommParams* pCommParams,
                                   std::int32_t nReserved) override;
    std::int32_t MOVA_CALL CloseJob() override;
    std::int32_t MOVA_CALL PutJob(std::uint32_t dwCount, SJobParam* pBuf,
                                  std::uint32_t dwContext) override;
    std::int32_t MOVA_CALL SetJobNotification(IJobNotify* ptr) override;
    HRESULT MOVA_CALL GetProto(IMovaProto** ppProto) override;
    HRESULT MOVA_CALL Reserved(void* pReserved) override;
    std::int32_t MOVA_CALL EnumJobQueue(std::uint32_t dwValue) override;

private:
    friend class CHostCall; // destroys the job when the host let go of it inside a call

    enum teDrain
    {
        DrainEmpty,  // nothing waits
        DrainDone,   // one batch executed and reported
        DrainJobGone // the host let go of the job inside the report: touch nothing of it
    };

    static std::uint32_t WorkingThread(void* pJob);
    void RunWorker();
    teDrain DrainQueue();
    void ExecuteBatch(const SJobParamArr& batch);
    void ExecuteRecords(const SJobParamArr& batch);
    // False when the report let go of the job's last reference: the job is destroyed.
    bool ReportFinished(const SJobParamArr& batch);
    std::int32_t OpenLocked(SProtoParams* pProtoParams, SCommParams* pCommParams);
    void OfferWaitingBatches(IJobNotify* pSink, std::uint32_t dwValue);
    // The registered sink with a reference of the caller's own, or null.
    IJobNotify* TakeSinkReference();
    bool IsSinkRegistered(const IJobNotify* pSink);
    // Unregisters the sink; the caller gives back the returned reference, outside m_csNotify.
    IJobNotify* DropSink();
    void CloseOnWorker();
    std::int32_t FinishClose();
    // Every line of the job goes through here, safe against OpenJob replacing the tracer.
    void TraceJob(int nLevel, const char* pszFormat, ...) __attribute__((format(gnu_printf, 3, 4)));

    std::atomic<IMovaProto*> m_pProto; // set once by the first OpenJob, released by the destructor
    CJobQueue m_JobQueue;              // m_csQueue
    platform::CCriticalSection m_csQueue;
    IJobNotify* m_pNotify;       // m_csNotify
    platform::CThread m_hThread; // m_csLifeCycle
    std::uint32_t m_dwThreadId;  // m_csLifeCycle; 0 while closed
    platform::CAutoResetEvent m_hJobEvent;
    std::int32_t m_bOpened; // m_csLifeCycle
    std::int32_t m_lStop;   // interlocked
    CTracer* m_pTracer;     // m_rwTracer

    platform::CCriticalSection m_csLifeCycle;
    platform::CCriticalSection m_csNotify;
    platform::CReadWriteLock m_rwTracer;
};
