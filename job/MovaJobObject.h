// The job object the host holds for one channel to one board: it queues the host's batches and
// one worker thread (WorkingThread.cpp) executes them in order and reports each to the sink.
// Locks, taken only in this order: m_csLifeCycle (OpenJob, CloseJob; only tried inside a call
// into the host), m_csQueue (the queue; held by EnumJobQueue across its OnEnumJob calls),
// the sink's lock (CSinkRegistration), m_rwTracer. No other call into the host is made with a
// lock of the job held. The sink sees AddRef once and Release once per registration;
// dropping it waits for the calls into it in progress on other threads, except inside such a
// call (CSinkRegistration). The last Release inside a call into the host destroys the job once
// that call has returned (CHostCall). docs/api/sink-references.md has the whole contract.
#pragma once

#include "core/Unknown.h"
#include "include/MovaJob.h"
#include "job/JobQueue.h"
#include "job/SinkRegistration.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/ReadWriteLock.h"
#include "platform/Thread.h"

#include <atomic>

class CTracer;

class CMovaJob : public IMovaJob, public virtual CUnknown
{
public:
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
    void OfferWaitingBatches(const CSinkRegistration::CSinkCall& call, std::uint32_t dwValue);
    // Unregisters the sink (CSinkRegistration::Drop) and makes the Release that falls to us.
    void DropSink();
    void CloseOnWorker();
    // The sink that the close dropped, for the caller to Release once it holds no lock.
    std::int32_t FinishClose(IJobNotify** ppDroppedSink);
    // Every line of the job goes through here, safe against OpenJob replacing the tracer.
    void TraceJob(int nLevel, const char* pszFormat, ...) __attribute__((format(gnu_printf, 3, 4)));

    std::atomic<IMovaProto*> m_pProto; // set once by the first OpenJob, released by the destructor
    CJobQueue m_JobQueue;              // m_csQueue
    platform::CCriticalSection m_csQueue;
    CSinkRegistration m_pNotify; // the registered sink and the calls into it, under its own lock
    platform::CThread m_hThread; // m_csLifeCycle
    std::atomic<std::uint32_t> m_dwThreadId; // written under m_csLifeCycle; 0 while closed
    platform::CAutoResetEvent m_hJobEvent;
    std::int32_t m_bOpened; // m_csLifeCycle
    std::int32_t m_lStop;   // interlocked
    CTracer* m_pTracer;     // m_rwTracer

    platform::CCriticalSection m_csLifeCycle;
    platform::CReadWriteLock m_rwTracer;
};
