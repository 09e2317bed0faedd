// The job object the host holds for one channel to one board: it queues the host's batches and
// one worker thread executes them in order through the protocol object and reports each back.
#pragma once

#include "core/Unknown.h"
#include "include/MovaJob.h"
#include "job/JobQueue.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/ReadWriteLock.h"
#include "platform/Thread.h"

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
    // as soon as that call has returned.
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
    bool ReportFinished(const SJobParamArr& batch);
    void OfferWaitingBatches(std::uint32_t dwValue);
    bool IsCalledBack() const;
    void CloseOnWorker();
    std::int32_t FinishClose();
    IMovaProto* LoadProto() const;
    bool IsDestroyedAfterCallback() const;
    // Every line of the job goes through here, safe against OpenJob replacing the tracer.
    void TraceJob(int nLevel, const char* pszFormat, ...) __attribute__((format(gnu_printf, 3, 4)));

    IMovaProto* m_pProto;
    CJobQueue m_JobQueue;
    platform::CCriticalSection m_csQueue;
    IJobNotify* m_pNotify;
    platform::CThread m_hThread;
    std::uint32_t m_dwThreadId;
    platform::CAutoResetEvent m_hJobEvent;
    std::int32_t m_bOpened;
    std::int32_t m_lStop;
    CTracer* m_pTracer;

    // Guards m_pNotify while the sink is called, so that a sink is never called after the
    // Release that dropped it has returned. Taken before m_csQueue wherever both are held.
    platform::CCriticalSection m_csNotify;
    // Shared by every trace call, taken alone by OpenJob and the destructor to replace or
    // delete m_pTracer: host threads and the worker trace while the host opens the job again.
    platform::CReadWriteLock m_rwTracer;
    // The thread walking the queue in EnumJobQueue, or 0.
    std::uint32_t m_dwEnumThreadId;
    // Set by a Release of the last reference made inside a call into the host.
    std::int32_t m_bDestroyAfterCallback;
};
