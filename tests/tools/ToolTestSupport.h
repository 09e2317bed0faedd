// What the tool tests share: the programs under test run as real processes, and lines reach
// them through the library's own sending side or through a raw connection that a test steers
// packet by packet.
#pragma once

#include "tests/support/ChildProcess.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tooltest
{

using testsupport::SRunResult;

// Runs argv to its end.
SRunResult RunProgram(const std::vector<std::string>& argv);

// Starts argv with its standard error going to the same pipe as its standard output.
std::unique_ptr<testsupport::CChildProcess> StartMerged(const std::vector<std::string>& argv);

// Starts movatrace with the arguments and waits until it serves its classes; null (and a
// test failure) when it did not get that far.
std::unique_ptr<testsupport::CChildProcess> StartMovatrace(const std::vector<std::string>& args);

// Starts tracedemo with its session name, window class and further arguments, and waits
// until the window shows the session's start line; null (and a test failure) otherwise.
std::unique_ptr<testsupport::CChildProcess> StartTracedemo(testsupport::CChildProcess& window,
                                                           const std::string& strName,
                                                           const std::string& strClass,
                                                           const std::vector<std::string>& args);

// Reads the window's lines until one contains strText; false when none did in time.
bool SkipPast(testsupport::CChildProcess& window, const std::string& strText);

// Delivers one line the way the tracer does; false when no window of the class took it.
bool SendLine(const std::string& strClass, const std::string& strText);

#if !defined(_WIN32)
// A connection to a trace window that the test drives itself, in the POSIX wire protocol.
class CRawSender
{
public:
    explicit CRawSender(const std::string& strClass);
    ~CRawSender();
    CRawSender(const CRawSender&) = delete;
    CRawSender& operator=(const CRawSender&) = delete;

    bool IsConnected() const { return m_nFd >= 0; }
    bool SendPacket(std::string_view packet);

    enum teAnswer
    {
        Answered,
        HungUp,  // the window closed the connection without an answer
        NoAnswer // nothing within the time
    };
    teAnswer AwaitAnswer(int nTimeoutMs = 10000);

    void Close();

private:
    int m_nFd = -1;
};

// A child whose standard output and error are a pseudo terminal, for what a program does only
// on a terminal.
class CTerminalChild
{
public:
    explicit CTerminalChild(const std::vector<std::string>& argv);
    ~CTerminalChild();
    CTerminalChild(const CTerminalChild&) = delete;
    CTerminalChild& operator=(const CTerminalChild&) = delete;

    bool IsRunning() const { return m_nPid > 0; }
    // Reads what the child wrote until it contains strUntil; returns everything read so far.
    std::string ReadUntil(const std::string& strUntil, int nTimeoutMs = 10000);

private:
    int m_nPid = -1;
    int m_nMaster = -1;
    std::string m_strRead;
};
#endif

} // namespace tooltest
