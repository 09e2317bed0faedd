// Runs another program as a real process for the cross-process tests: its standard output
// comes back through a pipe so that a test can wait for the child to reach a point.
// support/posix/ and support/win32/ start, feed, end and reap it; support/ChildProcessOutput.cpp
// cuts what it writes into lines.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#if defined(_WIN32) && !defined(SIGKILL)
// Windows has no SIGKILL. Kill ends a child with TerminateProcess and the exit code that a
// POSIX child killed by this signal reports (128 + 9), so the tests read the same everywhere.
#define SIGKILL 9
#endif

namespace testsupport
{

enum class teErrorOutput
{
    Own,   // the child's standard error stays the test's
    Merged // it goes into the same pipe as the standard output
};

class CChildProcess
{
public:
    // Starts argv[0] (a path) with the given arguments; IsRunning() tells whether it started.
    explicit CChildProcess(const std::vector<std::string>& argv,
                           teErrorOutput eErrorOutput = teErrorOutput::Own);
    ~CChildProcess(); // kills and reaps a child still running
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool IsRunning() const { return m_nPid > 0; }
    int GetPid() const { return m_nPid; }

    // Next line of the child's standard output without its line end; false on end of output
    // or after nTimeoutMs. On Windows, where the child's C runtime ends lines with CR LF, both
    // this and ReadAll give CR LF as LF.
    bool ReadLine(std::string& line, int nTimeoutMs = 10000);

    // Everything the child writes until it closes its output (or nTimeoutMs passes).
    std::string ReadAll(int nTimeoutMs = 10000);

    // Writes to the child's standard input.
    bool WriteLine(const std::string& line);

    // POSIX: sends the signal. Windows: TerminateProcess with exit code 128 + nSignal, which no
    // child can catch, whatever the signal.
    void Kill(int nSignal);

    // Exit code, or 128 + signal number for a child ended by a signal; -1 on a time-out.
    int Wait(int nTimeoutMs = 10000);

private:
    enum class teChunk
    {
        Read,    // something was added to m_buffered
        None,    // nothing came within the time
        Finished // the child closed its output, or there is no output to read
    };
    // Waits at most nTimeoutMs for output and appends what came to m_buffered.
    teChunk ReadChunk(int nTimeoutMs);
#if defined(_WIN32)
    void AppendText(const char* pText, std::size_t nLength);
#endif

    int m_nPid = -1;
#if defined(_WIN32)
    void* m_hProcess = nullptr; // HANDLEs, without <windows.h> in every test
    void* m_hOut = nullptr;
    void* m_hIn = nullptr;
#else
    int m_fdOut = -1;
    int m_fdIn = -1;
#endif
    std::string m_buffered;
};

struct SRunResult
{
    int nExitCode;         // as CChildProcess::Wait gives it
    std::string strOutput; // standard output and standard error together
};

// Runs argv to its end, at most nTimeoutMs.
SRunResult RunToEnd(const std::vector<std::string>& argv, int nTimeoutMs = 30000);

// Path of a helper program built next to the tests (the directory of the running test); on
// Windows ".exe" is appended to the name.
std::string HelperPath(const char* pszProgram);

// A name no other test run on this machine uses at the same time.
std::string UniqueName(const char* pszPrefix);

// This process's id, as the system and the simulated board know it.
int CurrentProcessId();

// Sets a variable of this process's environment, which the children it starts inherit.
void SetEnvironmentValue(const char* pszName, const char* pszValue);

} // namespace testsupport
