// The tests' side of platform_peer: start it with an order, then trade lines with it.
#pragma once

#include "tests/support/ChildProcess.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace platformtest
{

// Generous, for sanitizer builds on a busy machine; only a hang ever waits this long.
inline constexpr int kReplyTimeoutMs = 20000;
// How long a blocked peer has to stay silent. Passing proves little, failing proves a fault.
inline constexpr int kQuietMs = 200;

class CPeer : public testsupport::CChildProcess
{
public:
    explicit CPeer(std::initializer_list<std::string> order)
        : testsupport::CChildProcess(MakeCommand({}, order))
    {
    }

    // Started through a launcher, e.g. one that runs it as another user.
    CPeer(const std::vector<std::string>& launcher, std::initializer_list<std::string> order)
        : testsupport::CChildProcess(MakeCommand(launcher, order))
    {
    }

    // The next line, or "<silent>" when none came in time.
    std::string Reply(int nTimeoutMs = kReplyTimeoutMs)
    {
        std::string line;
        return ReadLine(line, nTimeoutMs) ? line : "<silent>";
    }

    std::string Ask(const std::string& order) { return WriteLine(order) ? Reply() : "<gone>"; }

    // Tells the peer to finish and returns its exit code.
    int Finish(const char* pszOrder = "quit")
    {
        WriteLine(pszOrder);
        return Wait(kReplyTimeoutMs);
    }

private:
    static std::vector<std::string> MakeCommand(const std::vector<std::string>& launcher,
                                                std::initializer_list<std::string> order)
    {
        std::vector<std::string> command = launcher;
        command.push_back(PLATFORM_PEER);
        command.insert(command.end(), order);
        return command;
    }
};

} // namespace platformtest
