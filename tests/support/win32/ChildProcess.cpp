// Children on Windows: CreateProcessA with anonymous pipes for standard input and output,
// TerminateProcess, WaitForSingleObject. An anonymous pipe knows no time-outs, so reading polls
// PeekNamedPipe until output is there or the time is up.
#include "tests/support/ChildProcess.h"

#include "platform/win32/WindowsHeaders.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace testsupport
{

namespace
{

// A child inherits every handle that is inheritable while it is created. The pipe ends meant
// for one child are inheritable only under this lock and closed before it is left, so no other
// child of this process ever holds them and keeps a pipe from reporting its end.
std::mutex g_mutexCreate;

HANDLE AsHandle(void* pHandle)
{
    return static_cast<HANDLE>(pHandle);
}

// One argument as the child's C runtime splits the command line again: quotes around it when
// it needs them, backslashes doubled only where they come before a quote.
std::string QuoteArgument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    std::size_t nBackslashes = 0;
    for (char ch : arg)
    {
        if (ch == '\\')
        {
            ++nBackslashes;
            continue;
        }
        quoted.append(ch == '"' ? 2 * nBackslashes + 1 : nBackslashes, '\\');
        nBackslashes = 0;
        quoted += ch;
    }
    quoted.append(2 * nBackslashes, '\\');
    return quoted + '"';
}

std::string CommandLine(const std::vector<std::string>& argv)
{
    std::string line;
    for (const std::string& arg : argv)
        line += (line.empty() ? "" : " ") + QuoteArgument(arg);
    return line;
}

// An inheritable duplicate of one of our standard handles; null when we have none.
HANDLE InheritableCopy(HANDLE hHandle)
{
    HANDLE hCopy = nullptr;
    if (hHandle == nullptr || hHandle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), hHandle, GetCurrentProcess(), &hCopy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    return hCopy;
}

void CloseIfOpen(HANDLE hHandle)
{
    if (hHandle != nullptr)
        CloseHandle(hHandle);
}

} // namespace

CChildProcess::CChildProcess(const std::vector<std::string>& argv, teErrorOutput eErrorOutput)
{
    if (argv.empty())
        return;
    std::lock_guard<std::mutex> lock(g_mutexCreate);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE hOutRead = nullptr;
    HANDLE hOutWrite = nullptr;
    HANDLE hInRead = nullptr;
    HANDLE hInWrite = nullptr;
    if (!CreatePipe(&hOutRead, &hOutWrite, &inheritable, 0))
        return;
    if (!CreatePipe(&hInRead, &hInWrite, &inheritable, 0))
    {
        CloseHandle(hOutRead);
        CloseHandle(hOutWrite);
        return;
    }
    // Our ends stay ours.
    SetHandleInformation(hOutRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(hInWrite, HANDLE_FLAG_INHERIT, 0);
    HANDLE hError = eErrorOutput == teErrorOutput::Merged
                        ? hOutWrite
                        : InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = hInRead;
    startup.hStdOutput = hOutWrite;
    startup.hStdError = hError;
    PROCESS_INFORMATION info{};
    std::string commandLine = CommandLine(argv);
    if (CreateProcessA(argv[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &info))
    {
        CloseHandle(info.hThread);
        m_hProcess = info.hProcess;
        m_nPid = static_cast<int>(info.dwProcessId);
    }
    CloseHandle(hOutWrite);
    CloseHandle(hInRead);
    if (hError != hOutWrite)
        CloseIfOpen(hError);
    m_hOut = hOutRead;
    m_hIn = hInWrite;
}

CChildProcess::~CChildProcess()
{
    if (m_hProcess != nullptr)
    {
        TerminateProcess(AsHandle(m_hProcess), 128 + SIGKILL);
        WaitForSingleObject(AsHandle(m_hProcess), INFINITE);
        CloseHandle(AsHandle(m_hProcess));
    }
    CloseIfOpen(AsHandle(m_hOut));
    CloseIfOpen(AsHandle(m_hIn));
}

// Children write text, whose line ends the C runtime makes CR LF on Windows: they are read as
// LF, as a read in text mode gives them, so that tests compare lines and outputs alike on every
// system. A CR at the end of one chunk meets its LF in the next one while still buffered.
void CChildProcess::AppendText(const char* pText, std::size_t nLength)
{
    std::size_t nFrom = m_buffered.empty() ? 0 : m_buffered.size() - 1;
    m_buffered.append(pText, nLength);
    for (std::size_t nAt = m_buffered.find("\r\n", nFrom); nAt != std::string::npos;
         nAt = m_buffered.find("\r\n", nAt))
        m_buffered.erase(nAt, 1);
}

CChildProcess::teChunk CChildProcess::ReadChunk(int nTimeoutMs)
{
    if (m_hOut == nullptr)
        return teChunk::Finished;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        DWORD dwAvailable = 0;
        // Fails with ERROR_BROKEN_PIPE once the child's end is closed and nothing is left.
        if (!PeekNamedPipe(AsHandle(m_hOut), nullptr, 0, nullptr, &dwAvailable, nullptr))
            return teChunk::Finished;
        if (dwAvailable > 0)
        {
            char chunk[4096];
            DWORD dwRead = 0;
            DWORD dwWanted = std::min<DWORD>(dwAvailable, sizeof chunk);
            if (!ReadFile(AsHandle(m_hOut), chunk, dwWanted, &dwRead, nullptr) || dwRead == 0)
                return teChunk::Finished;
            AppendText(chunk, dwRead);
            return teChunk::Read;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return teChunk::None;
        Sleep(1);
    }
}

bool CChildProcess::WriteLine(const std::string& line)
{
    if (m_hIn == nullptr)
        return false;
    std::string text = line + "\n";
    DWORD dwWritten = 0;
    return WriteFile(AsHandle(m_hIn), text.data(), static_cast<DWORD>(text.size()), &dwWritten,
                     nullptr) &&
           dwWritten == text.size();
}

void CChildProcess::Kill(int nSignal)
{
    if (m_hProcess != nullptr)
        TerminateProcess(AsHandle(m_hProcess), static_cast<UINT>(128 + nSignal));
}

int CChildProcess::Wait(int nTimeoutMs)
{
    if (m_hProcess == nullptr)
        return -1;
    if (WaitForSingleObject(AsHandle(m_hProcess), static_cast<DWORD>(std::max(nTimeoutMs, 0))) !=
        WAIT_OBJECT_0)
        return -1;
    DWORD dwExitCode = 0;
    int nExitCode =
        GetExitCodeProcess(AsHandle(m_hProcess), &dwExitCode) ? static_cast<int>(dwExitCode) : -1;
    CloseHandle(AsHandle(m_hProcess));
    m_hProcess = nullptr;
    m_nPid = -1;
    return nExitCode;
}

std::string HelperPath(const char* pszProgram)
{
    char szSelf[MAX_PATH * 4];
    DWORD dwLength = GetModuleFileNameA(nullptr, szSelf, sizeof szSelf);
    std::string dir =
        dwLength > 0 && dwLength < sizeof szSelf ? std::string(szSelf, dwLength) : std::string();
    dir = dir.substr(0, dir.find_last_of("\\/") + 1);
    return dir + pszProgram + ".exe";
}

// Process ids are small numbers that come round again soon, so the time goes into the name
// as well: a name left behind by an earlier run that had the same id is not met again.
std::string UniqueName(const char* pszPrefix)
{
    static std::atomic<int> nCounter{0};
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER qwNow;
    qwNow.LowPart = now.dwLowDateTime;
    qwNow.HighPart = now.dwHighDateTime;
    char szTime[16]; // milliseconds, the lowest 32 bits are enough to tell runs apart
    std::snprintf(szTime, sizeof szTime, "%08lx",
                  static_cast<unsigned long>((qwNow.QuadPart / 10000) & 0xFFFFFFFFu));
    return std::string(pszPrefix) + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(++nCounter) + "_" + szTime;
}

int CurrentProcessId()
{
    return static_cast<int>(GetCurrentProcessId());
}

// Both copies of the environment: the C runtime's, which getenv reads (also inside our DLLs,
// which share the runtime), and the system's, which CreateProcessA hands to the children.
void SetEnvironmentValue(const char* pszName, const char* pszValue)
{
    SetEnvironmentVariableA(pszName, pszValue);
    std::string assignment = std::string(pszName) + "=" + pszValue;
    _putenv(assignment.c_str());
}

} // namespace testsupport
