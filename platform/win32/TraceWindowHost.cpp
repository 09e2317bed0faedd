// The trace window on Win32: one top-level window per class, created by the thread that runs
// the host, handling the registered trace message. The line is a global atom whose text is
// read back with GlobalGetAtomNameA while the sender waits in SendMessageA.
#include "platform/TraceWindowHost.h"

#include "platform/TraceDelivery.h"
#include "platform/win32/WindowsHeaders.h"

#include <memory>
#include <new>
#include <vector>

namespace platform
{

struct CTraceWindowHost::SImpl
{
    struct SWindow
    {
        SImpl* pHost;
        std::size_t nClass;
        HWND hWnd;
        ATOM classAtom;
    };

    UINT m_uTraceMsg = 0;
    HANDLE m_hStop = nullptr; // manual-reset: a Stop stays seen until Run returns
    std::vector<std::unique_ptr<SWindow>> m_aWindows;
    PFN_LINE m_pfnLine = nullptr;
    void* m_pContext = nullptr;

    ~SImpl();
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
};

CTraceWindowHost::SImpl::~SImpl()
{
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    for (const auto& pWindow : m_aWindows)
    {
        DestroyWindow(pWindow->hWnd);
        UnregisterClassA(MAKEINTATOM(pWindow->classAtom), hInstance);
    }
    if (m_hStop != nullptr)
        CloseHandle(m_hStop);
}

LRESULT CALLBACK CTraceWindowHost::SImpl::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam,
                                                     LPARAM lParam)
{
    auto* pWindow = reinterpret_cast<SWindow*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (pWindow == nullptr)
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    // Closing any of the windows, the way Windows asks a program to end, ends the run; the
    // windows themselves go with the host.
    if (uMsg == WM_CLOSE)
    {
        SetEvent(pWindow->pHost->m_hStop);
        return 0;
    }
    if (uMsg != pWindow->pHost->m_uTraceMsg)
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    SImpl* pHost = pWindow->pHost;
    char szLine[kMaxTraceAtomText + 1] = {};
    UINT nLength = 0;
    // Atom 0 is an empty line; an atom that is gone by now reads as empty too.
    if (wParam != 0)
        nLength = GlobalGetAtomNameA(static_cast<ATOM>(wParam), szLine, sizeof szLine);
    if (pHost->m_pfnLine != nullptr)
        pHost->m_pfnLine(pHost->m_pContext, pWindow->nClass, SLineSender{}, szLine, nLength);
    return 1;
}

CTraceWindowHost::CTraceWindowHost() : m_pImpl(new (std::nothrow) SImpl)
{
    if (m_pImpl)
    {
        m_pImpl->m_uTraceMsg = RegisterWindowMessageA(kTraceMessageName);
        m_pImpl->m_hStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
}

CTraceWindowHost::~CTraceWindowHost() = default;

// A sent message carries only its two parameters, both fixed by the delivery (the atom and 0),
// and Windows offers no call that names the thread or process of a message's sender:
// InSendMessageEx says only that the message came from another thread.
bool CTraceWindowHost::KnowsSenders()
{
    return false;
}

// A window message names no sender, so there is no name to read either.
void CTraceWindowHost::NameSenders(bool) {}

teServeResult CTraceWindowHost::AddClass(const char* pszWindowClass)
{
    if (!m_pImpl || pszWindowClass == nullptr || *pszWindowClass == '\0' ||
        m_pImpl->m_uTraceMsg == 0)
        return teServeResult::Failed;
    if (FindWindowA(pszWindowClass, nullptr) != nullptr)
        return teServeResult::ClassTaken;

    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &SImpl::WindowProc;
    windowClass.hInstance = hInstance;
    windowClass.lpszClassName = pszWindowClass;
    ATOM classAtom = RegisterClassA(&windowClass);
    if (classAtom == 0)
        return teServeResult::Failed;

    std::unique_ptr<SImpl::SWindow> pWindow(new (std::nothrow) SImpl::SWindow{
        m_pImpl.get(), m_pImpl->m_aWindows.size(), nullptr, classAtom});
    // A top-level window, never shown: FindWindowA finds it all the same.
    HWND hWnd = pWindow ? CreateWindowExA(0, pszWindowClass, pszWindowClass, WS_OVERLAPPEDWINDOW,
                                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                          CW_USEDEFAULT, nullptr, nullptr, hInstance, nullptr)
                        : nullptr;
    if (hWnd == nullptr)
    {
        // The caller says why in the system's words: the error of the window, not of the
        // clean-up.
        DWORD dwError = GetLastError();
        UnregisterClassA(MAKEINTATOM(classAtom), hInstance);
        SetLastError(dwError);
        return teServeResult::Failed;
    }
    pWindow->hWnd = hWnd;
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pWindow.get()));
    try
    {
        m_pImpl->m_aWindows.push_back(std::move(pWindow));
    }
    catch (...)
    {
        DestroyWindow(hWnd);
        UnregisterClassA(MAKEINTATOM(classAtom), hInstance);
        return teServeResult::Failed;
    }
    return teServeResult::Serving;
}

bool CTraceWindowHost::Run(int nMilliseconds, PFN_LINE pfnLine, void* pContext)
{
    if (!m_pImpl || m_pImpl->m_hStop == nullptr || pfnLine == nullptr)
        return false;
    m_pImpl->m_pfnLine = pfnLine;
    m_pImpl->m_pContext = pContext;
    const DWORD dwStart = GetTickCount();
    bool bResult = true;
    for (;;)
    {
        DWORD dwTimeout = INFINITE;
        if (nMilliseconds >= 0)
        {
            DWORD dwElapsed = GetTickCount() - dwStart;
            if (dwElapsed >= static_cast<DWORD>(nMilliseconds))
                break;
            dwTimeout = static_cast<DWORD>(nMilliseconds) - dwElapsed;
        }
        DWORD dwWait =
            MsgWaitForMultipleObjects(1, &m_pImpl->m_hStop, FALSE, dwTimeout, QS_ALLINPUT);
        if (dwWait == WAIT_OBJECT_0)
        {
            ResetEvent(m_pImpl->m_hStop);
            break;
        }
        if (dwWait == WAIT_FAILED)
        {
            bResult = false;
            break;
        }
        // Sent messages are handled inside PeekMessage; posted ones are dispatched here.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    m_pImpl->m_pfnLine = nullptr;
    m_pImpl->m_pContext = nullptr;
    return bResult;
}

// A Stop that comes before Run is kept, so a console break that arrives early is not lost.
void CTraceWindowHost::Stop()
{
    if (m_pImpl && m_pImpl->m_hStop != nullptr)
        SetEvent(m_pImpl->m_hStop);
}

} // namespace platform
