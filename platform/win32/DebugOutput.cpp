#include "platform/DebugOutput.h"

#include "platform/win32/WindowsHeaders.h"

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
        OutputDebugStringA(pszText);
}

PFN_DEBUG_OUTPUT SetDebugOutputHook(PFN_DEBUG_OUTPUT pfnHook)
{
    return g_pfnHook.exchange(pfnHook);
}

} // namespace platform
