// The hook through which tests capture what would go to the system's debug output.
#include "platform/DebugOutput.h"

#include "platform/SystemDebugOutput.h"

#include <atomic>

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
        WriteSystemDebugOutput(pszText);
}

PFN_DEBUG_OUTPUT SetDebugOutputHook(PFN_DEBUG_OUTPUT pfnHook)
{
    return g_pfnHook.exchange(pfnHook);
}

} // namespace platform
