// The command line of movactl: which command, on which board and slaves, through which library.
#pragma once

#include "tools/movactl/Variable.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace movactl
{

enum teExitCode
{
    ExitOk = 0,
    ExitFailed = 1,
    ExitUsage = 2
};

enum teVerb
{
    VerbNone, // only --help
    VerbDemo,
    VerbTest,
    VerbRead,
    VerbWrite,
    VerbWatch,
    VerbScan
};

struct SArguments
{
    teVerb eVerb = VerbNone;
    bool bHelp = false;
    bool bQuiet = false;
    std::int32_t nBoard = 1;
    std::vector<std::uint8_t> abySlaves; // empty: every slave the board reports
    std::uint8_t byWatchdog = 0;
    std::string strLibrary; // empty: the built library, else libmovajob.so.1 on the search path
    std::vector<SVariable> aVariables;
    std::uint32_t dwIntervalMs = 500;
    std::uint32_t dwRounds = 0;     // watch: 0 until stopped
    bool bCsv = false;              // watch: records as CSV instead of the table
    bool bJson = false;             // watch: records as JSON Lines instead of the table
    std::uint16_t wPlotRounds = 20; // watch on a terminal: rounds in each plot, 0 for none
    std::uint32_t dwSeconds = 3;
};

// Fills args from argv; on failure returns false with the reason in strError.
bool ParseArguments(int argc, const char* const* argv, SArguments& args, std::string& strError);

// The overview for VerbNone, else the command's own page.
void PrintUsage(std::FILE* pOut, teVerb eVerb);

} // namespace movactl
