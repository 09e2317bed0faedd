// The console handler of the master, called before the tools' own (the last handler set is
// called first). Ctrl-C and Ctrl-Break are passed on to that one. For the window closing, a
// logoff or a shutdown the system ends the process once a handler returns: this one asks the
// bus loop to end and waits until the master has let the board go, for at most 4 s of the
// 5 s that Windows grants a closing console (shutdown grants more).
#include "tools/dpmaster/SystemEnd.h"

#include "platform/win32/WindowsHeaders.h"

#include <atomic>

namespace dpmaster
{

namespace
{

constexpr DWORD kEndWaitMs = 4000;

std::atomic<bool> g_bRequested{false};
std::atomic<bool> g_bService{false};
std::atomic<HANDLE> g_hDone{nullptr}; // set when the board is let go

BOOL WINAPI OnConsoleEnd(DWORD dwEvent)
{
    if (dwEvent == CTRL_C_EVENT || dwEvent == CTRL_BREAK_EVENT)
        return FALSE;
    // A service lives on when the user who started the machine's session logs off.
    if (dwEvent == CTRL_LOGOFF_EVENT && g_bService.load())
        return TRUE;
    g_bRequested.store(true);
    const HANDLE hDone = g_hDone.load();
    if (hDone != nullptr)
        WaitForSingleObject(hDone, kEndWaitMs);
    return TRUE;
}

} // namespace

CSystemEnd::CSystemEnd(bool bService)
{
    g_bService.store(bService);
    g_hDone.store(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    SetConsoleCtrlHandler(&OnConsoleEnd, TRUE);
}

CSystemEnd::~CSystemEnd()
{
    // The handler stays set: a handler that returned at once now would let the system end
    // the process before what the caller does next, but what matters, the board, is let go.
    const HANDLE hDone = g_hDone.load();
    if (hDone != nullptr)
        SetEvent(hDone);
}

bool CSystemEnd::IsRequested()
{
    return g_bRequested.load();
}

void CSystemEnd::Request()
{
    g_bRequested.store(true);
}

} // namespace dpmaster
