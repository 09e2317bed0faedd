#include "tests/win32/RawTraceWindow.h"

namespace win32test
{

CRawTraceWindow::CRawTraceWindow(const std::string& strClass)
    : m_strClass(strClass), m_uTraceMsg(RegisterWindowMessageA("*WM_TRACE_MSG"))
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &CRawTraceWindow::WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = m_strClass.c_str();
    if (RegisterClassA(&windowClass) == 0)
        return;
    m_hWnd = CreateWindowExA(0, m_strClass.c_str(), "raw trace window", WS_OVERLAPPEDWINDOW, 0, 0,
                             100, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (m_hWnd != nullptr)
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CRawTraceWindow::~CRawTraceWindow()
{
    if (m_hWnd != nullptr)
        DestroyWindow(m_hWnd);
    UnregisterClassA(m_strClass.c_str(), GetModuleHandleA(nullptr));
}

LRESULT CALLBACK CRawTraceWindow::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    auto* pWindow = reinterpret_cast<CRawTraceWindow*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (pWindow == nullptr || uMsg != pWindow->m_uTraceMsg)
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    char szText[256] = {};
    ATOM atom = static_cast<ATOM>(wParam);
    UINT nLength = GlobalGetAtomNameA(atom, szText, sizeof szText);
    pWindow->m_aLines.push_back({atom, std::string(szText, nLength)});
    return 1;
}

void CRawTraceWindow::Pump(int nMilliseconds)
{
    const DWORD dwStart = GetTickCount();
    for (;;)
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= static_cast<DWORD>(nMilliseconds))
            return;
        // Messages sent from other threads are handled inside the wait's PeekMessage.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(nMilliseconds) - dwElapsed,
                                  QS_ALLINPUT);
    }
}

} // namespace win32test
