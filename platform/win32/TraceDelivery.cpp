// Sending side of trace delivery: the line travels as a global atom whose number goes to the
// window with SendMessageA; the window reads the text back while it handles the message.
#include "platform/TraceDelivery.h"

#include "platform/win32/WindowsHeaders.h"

#include <cstring>

namespace platform
{

std::uint32_t RegisterTraceMessage(const char* pszName)
{
    if (pszName == nullptr || *pszName == '\0')
        return 0;
    return RegisterWindowMessageA(pszName);
}

HTraceWindow FindTraceWindow(const char* pszWindowClass)
{
    if (pszWindowClass == nullptr)
        return nullptr;
    return reinterpret_cast<HTraceWindow>(FindWindowA(pszWindowClass, nullptr));
}

TraceAtom AddTraceAtom(const char* pszText)
{
    if (pszText == nullptr)
        return 0;
    std::size_t nLength = strnlen(pszText, kMaxTraceAtomText + 1);
    if (nLength == 0 || nLength > kMaxTraceAtomText)
        return 0;
    return GlobalAddAtomA(pszText);
}

bool SendTraceMessage(HTraceWindow hWindow, std::uint32_t uMsg, TraceAtom atom)
{
    if (hWindow == nullptr)
        return false;
    HWND hWnd = reinterpret_cast<HWND>(hWindow);
    // A window that went away since FindWindowA counts as none, so the caller can fall back to
    // the debug output instead of losing the line.
    SetLastError(ERROR_SUCCESS);
    LRESULT lResult = SendMessageA(hWnd, uMsg, static_cast<WPARAM>(atom), 0);
    return lResult != 0 || GetLastError() != ERROR_INVALID_WINDOW_HANDLE;
}

void DeleteTraceAtom(TraceAtom atom)
{
    if (atom != 0)
        GlobalDeleteAtom(static_cast<ATOM>(atom));
}

void ReleaseTraceWindow(HTraceWindow) {}

} // namespace platform
