// A trace window written on the plain Windows calls, as any program could write one: it takes
// the registered trace message and reads the line's atom while the sender waits.
#pragma once

#include "platform/win32/WindowsHeaders.h"

#include <string>
#include <vector>

namespace win32test
{

struct SReceivedLine
{
    ATOM atom;
    std::string strText;
};

class CRawTraceWindow
{
public:
    explicit CRawTraceWindow(const std::string& strClass);
    ~CRawTraceWindow();
    CRawTraceWindow(const CRawTraceWindow&) = delete;
    CRawTraceWindow& operator=(const CRawTraceWindow&) = delete;

    bool IsOpen() const { return m_hWnd != nullptr; }

    // Handles messages for nMilliseconds.
    void Pump(int nMilliseconds);

    const std::vector<SReceivedLine>& Lines() const { return m_aLines; }

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    std::string m_strClass;
    UINT m_uTraceMsg;
    HWND m_hWnd = nullptr;
    std::vector<SReceivedLine> m_aLines;
};

} // namespace win32test
