// The last resort for a trace line that no window takes: OutputDebugStringA on Win32,
// syslog (LOG_USER | LOG_DEBUG) on POSIX.
#pragma once

namespace platform
{

void OutputDebugText(const char* pszText);

// Tests capture the debug output here. Returns the previous hook; null restores the system
// output. The hook runs on the thread that traced and must be thread-safe.
using PFN_DEBUG_OUTPUT = void (*)(const char* pszText);
PFN_DEBUG_OUTPUT SetDebugOutputHook(PFN_DEBUG_OUTPUT pfnHook);

} // namespace platform
