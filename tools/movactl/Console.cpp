#include "tools/movactl/Console.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace movactl
{

namespace
{

volatile std::sig_atomic_t g_bStopRequested = 0;

extern "C" void OnStopSignal(int)
{
    g_bStopRequested = 1;
}

// A stop request is noticed within this time.
constexpr std::uint32_t kSliceMs = 20;

} // namespace

bool IsTerminal(std::FILE* pStream)
{
    return isatty(fileno(pStream)) != 0;
}

CStopSignals::CStopSignals()
    : m_pfnOldInt(std::signal(SIGINT, OnStopSignal)),
      m_pfnOldTerm(std::signal(SIGTERM, OnStopSignal))
{
}

CStopSignals::~CStopSignals()
{
    std::signal(SIGINT, m_pfnOldInt);
    std::signal(SIGTERM, m_pfnOldTerm);
}

bool CStopSignals::IsStopRequested()
{
    return g_bStopRequested != 0;
}

bool CStopSignals::SleepUnlessStopped(std::uint32_t dwMilliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    while (!IsStopRequested())
    {
        auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            left, std::chrono::milliseconds(kSliceMs)));
    }
    return false;
}

struct CStopSignalsHeld::SImpl
{
    sigset_t oldMask;
};

CStopSignalsHeld::CStopSignalsHeld() : m_pImpl(std::make_unique<SImpl>())
{
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigemptyset(&m_pImpl->oldMask);
    pthread_sigmask(SIG_BLOCK, &held, &m_pImpl->oldMask);
}

CStopSignalsHeld::~CStopSignalsHeld()
{
    pthread_sigmask(SIG_SETMASK, &m_pImpl->oldMask, nullptr);
}

} // namespace movactl
