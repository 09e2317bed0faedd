// A call from a job into its host's sink (a report or an enumeration), in progress on this
// thread. The one place that decides when a job is destroyed whose last reference the host
// lets go of inside such a call: the thread still runs in the job and may hold its locks, so
// the Release only marks the outermost call of that job on this thread, and that call's Leave,
// once the call has returned and no lock of the job is held, destroys the job. Calls nest (an
// enumeration inside a report, on the worker): only the outermost Leave destroys.
#pragma once

class CMovaJob;

class CHostCall
{
public:
    enum teKind
    {
        Report,     // OnPutJobFinished, on the worker
        Enumeration // OnEnumJob, on the thread that called EnumJobQueue
    };

    CHostCall(CMovaJob& job, teKind eKind);
    ~CHostCall(); // leaves, if Leave was not called
    CHostCall(const CHostCall&) = delete;
    CHostCall& operator=(const CHostCall&) = delete;

    // Ends the call. False when the job was destroyed: the caller must not touch it again.
    // Called without any lock of the job held.
    [[nodiscard]] bool Leave();

    // For the Release that took the job's last reference: true when this thread is inside a
    // call of the job, which then destroys it on leaving; false when the caller destroys it.
    static bool DeferDestruction(const CMovaJob& job);

    // Whether this thread is inside a call into the host made by the job (of any kind, or of
    // the given kind).
    static bool IsInProgress(const CMovaJob& job);
    static bool IsInProgress(const CMovaJob& job, teKind eKind);

private:
    CMovaJob& m_job;
    teKind m_eKind;
    CHostCall* m_pOuter; // the call this one is nested in, on this thread
    bool m_bLeft = false;
    bool m_bDestroyJob = false; // set on the outermost call of the job by DeferDestruction
};
