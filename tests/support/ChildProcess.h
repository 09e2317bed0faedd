// Runs another program as a real process for the cross-process tests: its standard output
// comes back through a pipe so that a test can wait for the child to reach a point.
#pragma once

#include <string>
#include <vector>

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
    // or after nTimeoutMs.
    bool ReadLine(std::string& line, int nTimeoutMs = 10000);

    // Everything the child writes until it closes its output (or nTimeoutMs passes).
    std::string ReadAll(int nTimeoutMs = 10000);

    // Writes to the child's standard input.
    bool WriteLine(const std::string& line);

    void Kill(int nSignal);

    // Exit code, or 128 + signal number for a child ended by a signal; -1 on a time-out.
    int Wait(int nTimeoutMs = 10000);

private:
    int m_nPid = -1;
    int m_fdOut = -1;
    int m_fdIn = -1;
    std::string m_buffered;
};

struct SRunResult
{
    int nExitCode;         // as CChildProcess::Wait gives it
    std::string strOutput; // standard output and standard error together
};

// Runs argv to its end, at most nTimeoutMs.
SRunResult RunToEnd(const std::vector<std::string>& argv, int nTimeoutMs = 30000);

// Path of a helper program built next to the tests (the directory of the running test).
std::string HelperPath(const char* pszProgram);

// A name no other test run on this machine uses at the same time.
std::string UniqueName(const char* pszPrefix);

} // namespace testsupport
