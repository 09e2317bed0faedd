// The worker: waits for batches, executes them one at a time in the order they were put, and
// reports each to the host's sink.
#include "job/MovaJobObject.h"

#include "job/HostCall.h"
#include "platform/Interlocked.h"

namespace
{

// The longest a stop request can go unseen when nothing wakes the worker.
constexpr std::uint32_t kWaitMilliseconds = 50;

} // namespace

std::uint32_t CMovaJob::WorkingThread(void* pJob)
{
    static_cast<CMovaJob*>(pJob)->RunWorker();
    return 0;
}

void CMovaJob::RunWorker()
{
    TraceJob(100, "Anfang WorkingThread\n");
    m_hThread.RaisePriorityAboveNormal();
    for (;;)
    {
        platform::teWaitResult eWait = m_hJobEvent.Wait(kWaitMilliseconds);
        if (platform::AtomicRead(&m_lStop) != 0)
        {
            platform::AtomicDecrement(&m_lStop);
            TraceJob(100, "Ende WorkingThread\n");
            return;
        }
        if (eWait != platform::teWaitResult::Signalled)
            continue;
        for (teDrain eDrain = DrainQueue(); eDrain != DrainEmpty; eDrain = DrainQueue())
            if (eDrain == DrainJobGone)
                return;
    }
}

// Executes and reports the oldest batch.
CMovaJob::teDrain CMovaJob::DrainQueue()
{
    {
        platform::CCriticalSectionGuard guard(m_csQueue);
        if (m_JobQueue.Count() == 0)
            return DrainEmpty;
    }
    SJobParamArr batch;
    {
        // A CloseJob between the two holds may have emptied the queue: back to waiting.
        platform::CCriticalSectionGuard guard(m_csQueue);
        if (!m_JobQueue.TakeOldest(&batch))
            return DrainEmpty;
    }
    ExecuteBatch(batch);
    return ReportFinished(batch) ? DrainDone : DrainJobGone;
}

void CMovaJob::ExecuteBatch(const SJobParamArr& batch)
{
    // The first record decides, even in a batch of none.
    switch (batch.pBuf[0].dwCommand)
    {
    case JobRead:
        TraceJob(5, "WorkingThread JobRead\n");
        m_pProto.load()->Read(batch.pBuf, batch.dwCount);
        break;
    case JobWrite:
        TraceJob(5, "WorkingThread JobWrite\n");
        m_pProto.load()->Write(batch.pBuf, batch.dwCount);
        break;
    default:
        ExecuteRecords(batch);
        break;
    }
}

void CMovaJob::ExecuteRecords(const SJobParamArr& batch)
{
    for (std::uint32_t i = 0; i < batch.dwCount; ++i)
    {
        SJobParam& record = batch.pBuf[i];
        switch (record.dwCommand)
        {
        case JobTestConn:
            TraceJob(5, "WorkingThread JobTestConn\n");
            record.lResult = m_pProto.load()->TestConnection(&record);
            break;
        case JobCanceled:
            TraceJob(5, "WorkingThread JobCanceled\n");
            record.lResult = 0;
            break;
        default:
            TraceJob(-2, "unknown job command\n");
            break;
        }
    }
}

// Reports the batch to the sink, if one is registered, with no lock of the job held. The call
// is counted (CSinkCall), not referenced: the host sees no AddRef or Release around it.
bool CMovaJob::ReportFinished(const SJobParamArr& batch)
{
    CSinkRegistration::CSinkCall sinkCall(m_pNotify);
    if (!sinkCall.Sink())
        return true;
    CHostCall call(*this, CHostCall::Report);
    sinkCall.Sink()->OnPutJobFinished(batch.dwCount, batch.pBuf, batch.dwContext);
    TraceJob(10, "GetJob out of Q  OnPutJobFinished\n");
    // The sink was dropped inside the report, or while it ran, and ours was the last call
    // into it: its Release falls to us. Still inside the call, so that a sink whose Release
    // lets go of the job's last reference is covered too.
    if (IJobNotify* pOwedRelease = sinkCall.Leave())
        pOwedRelease->Release();
    return call.Leave();
}
