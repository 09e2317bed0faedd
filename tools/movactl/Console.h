// What movactl asks of the terminal and of signals: whether output goes to a terminal, and a
// stop request by Ctrl-C or SIGTERM for the commands that run until stopped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace movactl
{

bool IsTerminal(std::FILE* pStream);

// While one exists, SIGINT and SIGTERM ask to stop instead of ending the process.
class CStopSignals
{
public:
    CStopSignals();
    ~CStopSignals(); // the previous handlers again
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    static bool IsStopRequested();

    // Sleeps dwMilliseconds or until a stop request; false on a stop request.
    static bool SleepUnlessStopped(std::uint32_t dwMilliseconds);

private:
    void (*m_pfnOldInt)(int);
    void (*m_pfnOldTerm)(int);
};

// While one exists, the calling thread holds SIGINT and SIGTERM back. Threads started
// meanwhile (the job's worker) inherit that and never take them, so a stop request always
// lands on our own thread and never interrupts a board call.
class CStopSignalsHeld
{
public:
    CStopSignalsHeld();
    ~CStopSignalsHeld();
    CStopSignalsHeld(const CStopSignalsHeld&) = delete;
    CStopSignalsHeld& operator=(const CStopSignalsHeld&) = delete;

private:
    struct SImpl; // the thread's previous signal mask
    std::unique_ptr<SImpl> m_pImpl;
};

} // namespace movactl
