// The command line of movatrace: the window (no command) or one of its two commands, and with
// what.
#pragma once

#include "trace/SessionNames.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace movatrace
{

enum teCommand
{
    CommandWindow,  // serve as the trace window
    CommandLevel,   // read or set a session's level
    CommandSessions // list the live sessions
};

struct SArguments
{
    teCommand nCommand = CommandWindow;
    std::vector<std::string> aClasses; // window: the classes to serve, in order
    std::string strLogPath;            // window: empty for no log
    std::string strGrep;               // window: empty for every line
    bool bGrep = false;
    bool bNoColor = false;
    bool bSource = false;    // window: each line with its sender's process id and name
    std::uint32_t dwPid = 0; // window: only the lines of this process; 0 for all
    std::string strSession;  // level: the session's trace name
    bool bSetLevel = false;
    std::int16_t nLevel = 0; // level: the new level when bSetLevel
};

// The classes a window serves when none is named: those of the library's objects and the
// tracer's default.
inline const char* const kDefaultClasses[] = {tracenames::kJobWindowClass,
                                              tracenames::kProtoWindowClass,
                                              tracenames::kDPComWindowClass, "TraceWindow"};

// Fills args from argv. Returns the exit code when the tool is done already (help printed,
// or a usage error reported on standard error); nothing when the command is to run.
std::optional<int> ParseArguments(int argc, const char* const* argv, SArguments& args);

} // namespace movatrace
