// Stop requests on Windows: Ctrl-C, Ctrl-Break and closing the console window, through
// SetConsoleCtrlHandler. The system calls the handler on a thread it starts for the event, so
// the tool's stop function runs there and nothing of ours is interrupted.
//
// Why not std::signal(SIGINT), which msvcrt also has: it is a console control handler under
// the hood anyway, but it leaves out Ctrl-Break and the closing window, Microsoft's runtime
// puts SIG_DFL back before each call (a second Ctrl-C would end the process at once), and
// SIGTERM never arrives on Windows. Under Wine the handler below is what a Unix SIGINT to the
// program becomes (Ctrl-C in the terminal, kill -INT): Wine starts a thread with CTRL_C_EVENT.
// A Unix SIGTERM ends a Wine program before any handler of either kind sees it.
#include "tools/common/StopRequest.h"

#include "platform/win32/WindowsHeaders.h"

#include <atomic>

namespace tools
{

namespace
{

std::atomic<bool> g_bStopRequested{false};
std::atomic<CStopRequest::PFN_ON_STOP> g_pfnOnStop{nullptr};
std::atomic<void*> g_pOnStopContext{nullptr};
// Handler calls under way: the destructor waits for them, so that no stop function runs after
// the tool has let go of what it stops.
std::atomic<int> g_nCallsUnderWay{0};

BOOL WINAPI OnConsoleEvent(DWORD dwEvent)
{
    switch (dwEvent)
    {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: // the system ends the process soon after; the tools flush each line
    {
        g_bStopRequested.store(true);
        ++g_nCallsUnderWay;
        CStopRequest::PFN_ON_STOP pfnOnStop = g_pfnOnStop.load();
        if (pfnOnStop != nullptr)
            pfnOnStop(g_pOnStopContext.load());
        --g_nCallsUnderWay;
        return TRUE;
    }
    default:
        // Logoff and shutdown: the system's default, ending the process, is right.
        return FALSE;
    }
}

} // namespace

struct CStopRequest::SSaved
{
};

// Not kept on Windows: the console's event arrives on a thread of its own, and there is no
// alarm to end the process from there later.
void ExitAfterStopGrace(int) {}

CStopRequest::CStopRequest(PFN_ON_STOP pfnOnStop, void* pContext)
{
    g_pOnStopContext.store(pContext);
    g_pfnOnStop.store(pfnOnStop);
    SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

CStopRequest::~CStopRequest()
{
    SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
    g_pfnOnStop.store(nullptr);
    // A call that started before the line above may still hold the old function; one that
    // starts after it finds none.
    while (g_nCallsUnderWay.load() != 0)
        Sleep(1);
    g_pOnStopContext.store(nullptr);
}

bool CStopRequest::IsStopRequested()
{
    return g_bStopRequested.load();
}

struct CStopRequestHeld::SImpl
{
};

CStopRequestHeld::CStopRequestHeld() = default;

CStopRequestHeld::~CStopRequestHeld() = default;

} // namespace tools
