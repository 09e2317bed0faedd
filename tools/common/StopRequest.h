// A person's request to stop a tool that runs until stopped: Ctrl-C, and on POSIX also
// SIGTERM. The request ends the tool's loop instead of the process, so that the tool closes
// what it holds (a job, a trace window) and exits with its own status.
#pragma once

#include <cstdint>
#include <memory>

namespace tools
{

// While one exists, a stop request is remembered instead of ending the process, and
// pfnOnStop (when given) is called with pContext. On POSIX pfnOnStop runs inside the signal
// handler, on Windows on the thread the console starts for the event: it must be safe in both
// (CTraceWindowHost::Stop is). One at a time per process.
class CStopRequest
{
public:
    using PFN_ON_STOP = void (*)(void* pContext);

    explicit CStopRequest(PFN_ON_STOP pfnOnStop = nullptr, void* pContext = nullptr);
    ~CStopRequest(); // the handling before it again; a request stays remembered
    CStopRequest(const CStopRequest&) = delete;
    CStopRequest& operator=(const CStopRequest&) = delete;

    static bool IsStopRequested();

    // Sleeps dwMilliseconds or until a stop request; false on a stop request.
    static bool SleepUnlessStopped(std::uint32_t dwMilliseconds);

private:
    struct SSaved; // what was installed before
    std::unique_ptr<SSaved> m_pSaved;
};

// For a pfnOnStop whose tool can be stuck where a stop request does not reach its loop (a write
// to a pipe that nobody reads): ends the process with nExitCode unless it has ended by itself
// within kStopGraceSeconds. Safe in a signal handler. POSIX only; on Windows it does nothing.
inline constexpr unsigned kStopGraceSeconds = 1;
void ExitAfterStopGrace(int nExitCode);

// While one exists, the calling thread holds stop requests back. Threads started meanwhile
// (the job's worker) inherit that and never take them, so a request always lands on a thread
// of ours and never interrupts a board call. Where requests arrive on a thread of their own
// (Windows) there is nothing to hold back.
class CStopRequestHeld
{
public:
    CStopRequestHeld();
    ~CStopRequestHeld();
    CStopRequestHeld(const CStopRequestHeld&) = delete;
    CStopRequestHeld& operator=(const CStopRequestHeld&) = delete;

private:
    struct SImpl; // the thread's previous signal mask
    std::unique_ptr<SImpl> m_pImpl;
};

} // namespace tools
