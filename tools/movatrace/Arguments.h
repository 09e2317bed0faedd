// The command line of movatrace: which of its three commands to run, and with what.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace movatrace
{

enum teExitCode
{
    ExitOk = 0,
    ExitFailed = 1,
    ExitUsage = 2
};

enum teCommand
{
    CommandWindow,   // serve as the trace window
    CommandLevel,    // read or set a session's level
    CommandSessions, // list the live sessions
    CommandHelp
};

struct SArguments
{
    teCommand nCommand = CommandWindow;
    std::vector<std::string> aClasses; // window: the classes to serve, in order
    std::string strLogPath;            // window: empty for no log
    std::string strGrep;               // window: empty for every line
    bool bGrep = false;
    bool bNoColor = false;
    std::string strSession; // level: the session's trace name
    bool bSetLevel = false;
    std::int16_t nLevel = 0; // level: the new level when bSetLevel
};

// The classes a window serves when none is named: those of the library's objects and the
// tracer's default.
inline const char* const kDefaultClasses[] = {"MovaJobWin", "MovaProtoWin", "DPComWin",
                                              "TraceWindow"};

// Fills args from argv; on failure returns false with the reason in strError.
bool ParseArguments(int argc, const char* const* argv, SArguments& args, std::string& strError);

void PrintUsage(std::FILE* pOut);

} // namespace movatrace
