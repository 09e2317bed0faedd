// The debug output on POSIX is the system log; tests take it over through the hook.
#include "platform/DebugOutput.h"

#include <atomic>
#include <syslog.h>

namespace platform
{

namespace
{

std::atomic<PFN_DEBUG_OUTPUT> g_pfnHook{nullptr};

} // namespace

void OutputDebugText(const char* pszText)
{
    if (pszText == nullptr)
        return;
    if (PFN_DEBUG_OUTPUT pfnHook = g_pfnHook.load())
        pfnHook(pszText);
    else
        syslog(LOG_USER | LOG_DEBUG, "%s", pszText);
}

PFN_DEBUG_OUTPUT SetDebugOutputHook(PFN_DEBUG_OUTPUT pfnHook)
{
    return g_pfnHook.exchange(pfnHook);
}

} // namespace platform
