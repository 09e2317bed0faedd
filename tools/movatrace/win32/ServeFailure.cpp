#include "tools/movatrace/ServeFailure.h"

#include "platform/win32/WindowsHeaders.h"

namespace movatrace
{

namespace
{

// Wine makes a top-level window only on a display: without one, window creation fails, with
// no error code that says so.
bool UnderWineWithoutDisplay()
{
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    bool bWine = hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
    char szDisplay[8];
    return bWine && GetEnvironmentVariableA("DISPLAY", szDisplay, sizeof szDisplay) == 0 &&
           GetEnvironmentVariableA("WAYLAND_DISPLAY", szDisplay, sizeof szDisplay) == 0;
}

} // namespace

std::string ServeFailureReason()
{
    DWORD dwError = GetLastError();
    std::string strReason = "Windows could not make its window";
    char szText[512] = {};
    DWORD dwLength =
        dwError == 0 ? 0
                     : FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, dwError, 0, szText, sizeof szText, nullptr);
    std::string strText(szText, dwLength);
    while (!strText.empty() && (strText.back() == '\r' || strText.back() == '\n' ||
                                strText.back() == ' ' || strText.back() == '.'))
        strText.pop_back();
    if (dwError != 0)
        strReason += ": " + (strText.empty() ? "" : strText + " ") + "(error " +
                     std::to_string(dwError) + ")";
    if (UnderWineWithoutDisplay())
        strReason += "; under Wine a window needs an X display, and DISPLAY is not set "
                     "(scripts/with-wine.sh starts a virtual one)";
    else
        strReason += "; a trace window needs a desktop to make its hidden window on (a "
                     "service or a session without one has none)";
    return strReason;
}

} // namespace movatrace
