// Stop requests on POSIX: SIGINT and SIGTERM, caught by a handler that only sets a flag and
// calls the tool's async-signal-safe stop function.
//
// The handler is installed without SA_RESTART (std::signal would set it): a tool blocked in a
// write to an output nobody reads, or in a sleep, must get EINTR and return to its loop, which
// then sees the request. The tools' loops check the flag after every wait, and the platform's
// calls retry a call that a signal interrupted.
#include "tools/common/StopRequest.h"

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace tools
{

namespace
{

volatile std::sig_atomic_t g_bStopRequested = 0;

// Lock-free atomics, and therefore safe to read in a signal handler. The context is stored
// before the function and cleared after it, so the handler never pairs a function with a
// context that is not its own.
std::atomic<CStopRequest::PFN_ON_STOP> g_pfnOnStop{nullptr};
std::atomic<void*> g_pOnStopContext{nullptr};

extern "C" void OnStopSignal(int)
{
    g_bStopRequested = 1;
    CStopRequest::PFN_ON_STOP pfnOnStop = g_pfnOnStop.load();
    if (pfnOnStop != nullptr)
        pfnOnStop(g_pOnStopContext.load());
}

volatile std::sig_atomic_t g_nGraceExitCode = 0;

extern "C" void OnStopGraceOver(int)
{
    _exit(g_nGraceExitCode);
}

} // namespace

// sigaction and alarm are async-signal-safe; the alarm fires once, after the grace.
void ExitAfterStopGrace(int nExitCode)
{
    g_nGraceExitCode = nExitCode;
    struct sigaction action = {};
    action.sa_handler = OnStopGraceOver;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    alarm(kStopGraceSeconds);
}

struct CStopRequest::SSaved
{
    struct sigaction oldInt;
    struct sigaction oldTerm;
};

CStopRequest::CStopRequest(PFN_ON_STOP pfnOnStop, void* pContext)
    : m_pSaved(std::make_unique<SSaved>())
{
    g_pOnStopContext.store(pContext);
    g_pfnOnStop.store(pfnOnStop);
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: see above
    sigaction(SIGINT, &action, &m_pSaved->oldInt);
    sigaction(SIGTERM, &action, &m_pSaved->oldTerm);
}

CStopRequest::~CStopRequest()
{
    sigaction(SIGINT, &m_pSaved->oldInt, nullptr);
    sigaction(SIGTERM, &m_pSaved->oldTerm, nullptr);
    g_pfnOnStop.store(nullptr);
    g_pOnStopContext.store(nullptr);
}

bool CStopRequest::IsStopRequested()
{
    return g_bStopRequested != 0;
}

struct CStopRequestHeld::SImpl
{
    sigset_t oldMask;
};

CStopRequestHeld::CStopRequestHeld() : m_pImpl(std::make_unique<SImpl>())
{
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigemptyset(&m_pImpl->oldMask);
    pthread_sigmask(SIG_BLOCK, &held, &m_pImpl->oldMask);
}

CStopRequestHeld::~CStopRequestHeld()
{
    pthread_sigmask(SIG_SETMASK, &m_pImpl->oldMask, nullptr);
}

} // namespace tools
