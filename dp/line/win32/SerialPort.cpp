// A COM port as the DP bus needs it. Every wait is bounded by the caller's deadline on the
// platform clock, as on Linux, whatever the driver's own timeouts do:
//
// - The read timeouts are "return at once with what is there" (MAXDWORD, 0, 0); nothing waits
//   inside a ReadFile of ours for longer than the caller allows.
// - A wait for the first byte is an overlapped ReadFile or WaitCommEvent(EV_RXCHAR), whichever
//   the driver makes wait, ended by our own deadline. Windows' drivers answer such a ReadFile
//   at once (nothing there) and signal EV_RXCHAR as the byte comes. Wine's serial port instead
//   keeps the ReadFile pending until a byte comes and wakes on it at once, while its
//   WaitCommEvent looks only every 2 ms or so (measured with the Wine of CI on a
//   pseudo-terminal: a pending read woke 0.1 ms after the answer, WaitCommEvent up to 2 ms
//   after it, and with (MAXDWORD, MAXDWORD, 200) a read took the whole 200 ms).
// - The last stretch before a deadline is waited out on the clock, looking at the driver's
//   input queue (ClearCommError): a wait of the system's shorter than a timer tick overshoots
//   by up to the tick.
#include "dp/line/SerialPort.h"

#include "platform/Clock.h"

#include "platform/win32/WindowsHeaders.h"

#include <mmsystem.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace dp
{

namespace
{

// Waits of the system end up to a timer tick late (1 ms once timeBeginPeriod(1) holds, Wine's
// Sleep(1) took 1.1 ms); what is closer to a deadline than this is waited out on the clock.
constexpr std::uint64_t kSpinNs = 2000000;
// A write that the driver has not taken in this time has failed (as the poll on Linux).
constexpr DWORD kWriteWaitMs = 1000;

HANDLE AsHandle(void* p)
{
    return static_cast<HANDLE>(p);
}

std::string SystemMessage(DWORD dwError)
{
    char szText[256] = {};
    DWORD dwLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, dwError, 0, szText, sizeof szText, nullptr);
    while (dwLength > 0 && (szText[dwLength - 1] == '\n' || szText[dwLength - 1] == '\r' ||
                            szText[dwLength - 1] == ' ' || szText[dwLength - 1] == '.'))
        szText[--dwLength] = '\0';
    if (dwLength == 0)
        return "error " + std::to_string(dwError);
    return szText;
}

// "COM3" for "COM3", "com3", "\\.\COM3" or "//./com3": the name people know the port by.
std::string PortName(const std::string& strPath)
{
    std::string strName = strPath;
    if (strName.size() > 4 && (strName[0] == '\\' || strName[0] == '/') &&
        (strName[1] == '\\' || strName[1] == '/') && strName[2] == '.' &&
        (strName[3] == '\\' || strName[3] == '/'))
        strName.erase(0, 4);
    for (char& ch : strName)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return strName;
}

// A port under Wine may be a Unix pseudo-terminal (a dosdevices link to /dev/pts/N): its
// bytes pass at once, as on Linux. Windows names no path for a real port.
bool IsPseudoTerminal(HANDLE hPort)
{
    char szPath[MAX_PATH] = {};
    const DWORD dwLength = GetFinalPathNameByHandleA(hPort, szPath, sizeof szPath, 0);
    if (dwLength == 0 || dwLength >= sizeof szPath)
        return false;
    std::string strPath(szPath, dwLength);
    std::replace(strPath.begin(), strPath.end(), '\\', '/');
    return strPath.find("/dev/pts/") != std::string::npos;
}

// 8 data bits, even parity checked, one stop bit, no flow control, binary. RTS: raised for
// each telegram (the transceiver's send enable) where the driver does that and we ask for it;
// else simply on (USB RS-485 adapters switch over by themselves). A port that only listens
// keeps RTS low, so that a transceiver switched by RTS never sends.
bool SetLine(HANDLE hPort, std::uint32_t dwBaudRate, teRs485 eRs485, bool bListenOnly,
             SPortFeatures& features, std::string& strError)
{
    // Every field that matters is set below, so a state that cannot be read is no reason to
    // stop: Wine cannot read one whose rate the termios constants do not name (a pseudo-
    // terminal that Linux set to 1.5 Mbit/s by number). A handle that is no port fails below.
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(hPort, &dcb))
    {
        dcb = DCB{};
        dcb.DCBlength = sizeof dcb;
    }
    dcb.BaudRate = dwBaudRate;
    dcb.ByteSize = 8;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE; // an error must not stop every later read until cleared
    // Windows refuses a state whose XON and XOFF characters are equal, as a pseudo-terminal's
    // raw settings read back under Wine; they are unused but must differ.
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    features.bRs485 = false;
    if (eRs485 != teRs485::Off && !bListenOnly)
    {
        dcb.fRtsControl = RTS_CONTROL_TOGGLE;
        features.bRs485 = SetCommState(hPort, &dcb) != FALSE;
        if (!features.bRs485 && eRs485 == teRs485::On)
        {
            strError = "the driver does not switch RTS for each telegram (RTS_CONTROL_TOGGLE): " +
                       SystemMessage(GetLastError());
            return false;
        }
    }
    if (!features.bRs485)
    {
        dcb.fRtsControl = bListenOnly ? RTS_CONTROL_DISABLE : RTS_CONTROL_ENABLE;
        bool bSet = SetCommState(hPort, &dcb) != FALSE;
        const DWORD dwError = GetLastError();
        // A pseudo-terminal has no parity to set (Linux drops the flag, and Wine then refuses
        // the state): it passes bytes as they are.
        if (!bSet && IsPseudoTerminal(hPort))
        {
            dcb.Parity = NOPARITY;
            dcb.fParity = FALSE;
            bSet = SetCommState(hPort, &dcb) != FALSE;
        }
        if (!bSet)
        {
            strError = "setting 8E1 at the rate: " + SystemMessage(dwError);
            return false;
        }
    }
    DCB actual = {};
    actual.DCBlength = sizeof actual;
    features.dwActualBaudRate = GetCommState(hPort, &actual) ? actual.BaudRate : dwBaudRate;
    // Reads return at once with what has arrived; our deadlines do the waiting. Writes end
    // within a second at most.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = kWriteWaitMs;
    if (!SetCommTimeouts(hPort, &timeouts) || !SetCommMask(hPort, EV_RXCHAR))
    {
        strError = "setting the timeouts: " + SystemMessage(GetLastError());
        return false;
    }
    return true;
}

// Ends an overlapped operation that is still pending and waits until the system has let go of
// its buffer; the bytes it moved meanwhile, or 0.
DWORD EndPending(HANDLE hPort, OVERLAPPED& overlapped)
{
    CancelIoEx(hPort, &overlapped);
    DWORD dwDone = 0;
    GetOverlappedResult(hPort, &overlapped, &dwDone, TRUE);
    return dwDone;
}

} // namespace

CSerialPort::~CSerialPort()
{
    Close();
}

bool CSerialPort::IsOpen() const
{
    return m_hPort != nullptr;
}

int CSerialPort::Descriptor() const
{
    return -1;
}

bool CSerialPort::Open(const std::string& strPath, std::uint32_t dwBaudRate, teRs485 eRs485,
                       std::string& strError)
{
    return OpenPort(strPath, dwBaudRate, eRs485, false, strError);
}

bool CSerialPort::OpenListenOnly(const std::string& strPath, std::uint32_t dwBaudRate,
                                 std::string& strError)
{
    return OpenPort(strPath, dwBaudRate, teRs485::Off, true, strError);
}

bool CSerialPort::OpenPort(const std::string& strPath, std::uint32_t dwBaudRate, teRs485 eRs485,
                           bool bListenOnly, std::string& strError)
{
    Close();
    const std::string strName = PortName(strPath);
    if (dwBaudRate == 0)
    {
        strError = strName + ": baud rate 0";
        return false;
    }
    // Opened without sharing, Windows refuses a second open of the port. Wine lets it
    // through, so a named mutex per port holds it against every program of ours as well
    // (Global\: a service and a user's master are in different sessions).
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, ("Global\\korix.port." + strName).c_str());
    if (hMutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS)
    {
        CloseHandle(hMutex);
        strError = strName + " is in use by another program";
        return false;
    }
    HANDLE hPort = CreateFileA(("\\\\.\\" + strName).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (hPort == INVALID_HANDLE_VALUE)
    {
        const DWORD dwError = GetLastError();
        if (hMutex != nullptr)
            CloseHandle(hMutex);
        if (dwError == ERROR_ACCESS_DENIED || dwError == ERROR_SHARING_VIOLATION)
            strError = strName + " is in use by another program";
        else if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
            strError = strName + ": no such port";
        else
            strError = strName + ": " + SystemMessage(dwError);
        return false;
    }
    SPortFeatures features;
    std::string strWhy;
    HANDLE hReadEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hWriteEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (hReadEvent == nullptr || hWriteEvent == nullptr)
        strWhy = SystemMessage(GetLastError());
    else if (!SetupComm(hPort, 4096, 4096))
        strWhy = "setting the buffers: " + SystemMessage(GetLastError());
    else
        SetLine(hPort, dwBaudRate, eRs485, bListenOnly, features, strWhy);
    if (!strWhy.empty())
    {
        strError = strName + ": " + strWhy;
        for (HANDLE h : {hReadEvent, hWriteEvent, hMutex})
        {
            if (h != nullptr)
                CloseHandle(h);
        }
        CloseHandle(hPort);
        return false;
    }
    PurgeComm(hPort, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    m_hPort = hPort;
    m_hReadEvent = hReadEvent;
    m_hWriteEvent = hWriteEvent;
    m_hPortMutex = hMutex;
    m_bPaced = !IsPseudoTerminal(hPort);
    m_bListenOnly = bListenOnly;
    m_features = features;
    // The system's waits then end within a millisecond of their time instead of a 15.6 ms tick.
    m_bTimerPeriod = timeBeginPeriod(1) == TIMERR_NOERROR;
    return true;
}

bool CSerialPort::OpenPseudoTerminal(std::uint32_t, std::string&, std::string& strError)
{
    Close();
    strError = "pseudo-terminals exist on Linux only; on Windows name a COM port";
    return false;
}

void CSerialPort::Close()
{
    if (m_hPort != nullptr)
    {
        PurgeComm(AsHandle(m_hPort), PURGE_RXABORT | PURGE_TXABORT);
        CloseHandle(AsHandle(m_hPort));
    }
    // The mutex goes after the port: a successor that gets the name also gets the port.
    for (void* p : {m_hReadEvent, m_hWriteEvent, m_hPortMutex})
    {
        if (p != nullptr)
            CloseHandle(AsHandle(p));
    }
    if (m_bTimerPeriod)
        timeEndPeriod(1);
    m_hPort = m_hReadEvent = m_hWriteEvent = m_hPortMutex = nullptr;
    m_bTimerPeriod = false;
    m_bListenOnly = false;
    m_features = SPortFeatures{};
}

bool CSerialPort::Write(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    if (m_bListenOnly)
        return false;
    const HANDLE hPort = AsHandle(m_hPort);
    std::size_t nDone = 0;
    while (nDone < nCount)
    {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = AsHandle(m_hWriteEvent);
        ResetEvent(overlapped.hEvent);
        const DWORD dwWanted = static_cast<DWORD>(std::min<std::size_t>(nCount - nDone, 65536));
        DWORD dwWritten = 0;
        if (!WriteFile(hPort, pbyBytes + nDone, dwWanted, &dwWritten, &overlapped))
        {
            if (GetLastError() != ERROR_IO_PENDING)
                return false;
            if (WaitForSingleObject(overlapped.hEvent, kWriteWaitMs) != WAIT_OBJECT_0)
            {
                EndPending(hPort, overlapped);
                return false;
            }
            if (!GetOverlappedResult(hPort, &overlapped, &dwWritten, FALSE))
                return false;
        }
        if (dwWritten == 0)
            return false; // the driver's own write timeout ran out
        nDone += dwWritten;
    }
    return true;
}

// What has arrived, without waiting: the driver's input queue says how much, so that the
// ReadFile below never waits (Wine's would, for a first byte). -1 when the port failed.
long CSerialPort::ReadWaiting(std::uint8_t* pbyBuffer, std::size_t nCapacity)
{
    const HANDLE hPort = AsHandle(m_hPort);
    DWORD dwErrors = 0;
    COMSTAT status = {};
    if (!ClearCommError(hPort, &dwErrors, &status))
        return -1;
    if (status.cbInQue == 0 || nCapacity == 0)
        return 0;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = AsHandle(m_hReadEvent);
    ResetEvent(overlapped.hEvent);
    const DWORD dwWanted = static_cast<DWORD>(std::min<std::size_t>(nCapacity, status.cbInQue));
    DWORD dwRead = 0;
    if (!ReadFile(hPort, pbyBuffer, dwWanted, &dwRead, &overlapped))
    {
        if (GetLastError() != ERROR_IO_PENDING)
            return -1;
        // The bytes are there: it completes as soon as the driver hands them over.
        if (!GetOverlappedResult(hPort, &overlapped, &dwRead, TRUE))
            return -1;
    }
    return static_cast<long>(dwRead);
}

// Waits at most dwMs for bytes and reads what came; 0 when none came.
long CSerialPort::WaitForBytes(std::uint8_t* pbyBuffer, std::size_t nCapacity, std::uint32_t dwMs)
{
    const HANDLE hPort = AsHandle(m_hPort);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = AsHandle(m_hReadEvent);
    ResetEvent(overlapped.hEvent);
    DWORD dwRead = 0;
    if (ReadFile(hPort, pbyBuffer, static_cast<DWORD>(nCapacity), &dwRead, &overlapped))
    {
        if (dwRead != 0)
            return static_cast<long>(dwRead);
        // Nothing there, answered at once as the timeouts ask: the driver signals the first
        // byte instead.
        ResetEvent(overlapped.hEvent);
        DWORD dwEvents = 0;
        if (!WaitCommEvent(hPort, &dwEvents, &overlapped))
        {
            if (GetLastError() != ERROR_IO_PENDING)
                return -1;
            // A byte that came between the read and the wait signals nothing.
            DWORD dwErrors = 0;
            COMSTAT status = {};
            if (!ClearCommError(hPort, &dwErrors, &status))
            {
                EndPending(hPort, overlapped);
                return -1;
            }
            if (status.cbInQue == 0)
                WaitForSingleObject(overlapped.hEvent, dwMs);
            EndPending(hPort, overlapped);
        }
        return ReadWaiting(pbyBuffer, nCapacity);
    }
    if (GetLastError() != ERROR_IO_PENDING)
        return -1;
    // The driver keeps the read until a byte comes (Wine's does).
    if (WaitForSingleObject(overlapped.hEvent, dwMs) == WAIT_OBJECT_0)
    {
        if (!GetOverlappedResult(hPort, &overlapped, &dwRead, FALSE))
            return GetLastError() == ERROR_OPERATION_ABORTED ? 0 : -1;
        return static_cast<long>(dwRead);
    }
    return static_cast<long>(EndPending(hPort, overlapped));
}

long CSerialPort::ReadBy(std::uint8_t* pbyBuffer, std::size_t nCapacity, std::uint64_t qwDeadlineNs)
{
    for (;;)
    {
        const long nRead = ReadWaiting(pbyBuffer, nCapacity);
        if (nRead != 0)
            return nRead;
        const std::uint64_t qwNow = platform::ReadMonotonicNs();
        if (qwNow >= qwDeadlineNs)
            return 0;
        const std::uint64_t qwWaitMs = (qwDeadlineNs - qwNow) / 1000000u;
        if (qwDeadlineNs - qwNow > kSpinNs && qwWaitMs > kSpinNs / 1000000u)
        {
            const long nWaited = WaitForBytes(pbyBuffer, nCapacity,
                                              static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                                  qwWaitMs - kSpinNs / 1000000u, 0x7fffffff)));
            if (nWaited != 0)
                return nWaited;
        }
    }
}

long CSerialPort::Read(std::uint8_t* pbyBuffer, std::size_t nCapacity, std::uint64_t qwTimeoutNs)
{
    return ReadBy(pbyBuffer, nCapacity, platform::ReadMonotonicNs() + qwTimeoutNs);
}

void CSerialPort::DiscardInput()
{
    PurgeComm(AsHandle(m_hPort), PURGE_RXCLEAR);
}

bool CSerialPort::Send(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    return Write(pbyBytes, nCount);
}

long CSerialPort::Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                          std::uint64_t qwDeadlineNs)
{
    return ReadBy(pbyBuffer, nCapacity, qwDeadlineNs);
}

void CSerialPort::WaitUntil(std::uint64_t qwNs)
{
    // A sleep, not a wait on the port: bytes arriving meanwhile must not wake us.
    std::uint64_t qwNow = platform::ReadMonotonicNs();
    while (qwNow < qwNs && qwNs - qwNow > kSpinNs)
    {
        Sleep(static_cast<DWORD>((qwNs - qwNow - kSpinNs) / 1000000u));
        qwNow = platform::ReadMonotonicNs();
    }
    while (platform::ReadMonotonicNs() < qwNs)
    {
    }
}

long CSerialPort::Drain()
{
    std::uint8_t abyStale[256];
    long nDropped = 0;
    for (;;)
    {
        const long nRead = ReadWaiting(abyStale, sizeof abyStale);
        if (nRead <= 0)
            return nRead < 0 ? -1 : nDropped;
        nDropped += nRead;
    }
}

} // namespace dp
