// The options of more than one command, each defined here once: --board, --watchdog and --lib
// of every command, before or after the command's name; --slaves and --quiet of the commands
// that take them, after it.
#pragma once

#include "tools/common/CommandLine.h"
#include "tools/movactl/Arguments.h"

#include <string>

namespace movactl
{

// The last line of every command's page.
extern const char* const kEveryCommandNote;

class CCommonOptions
{
public:
    // The options of every command, on the program.
    void AddTo(CLI::App& app);
    // The slaves a command configures at open (default: every slave the board reports).
    void AddSlaves(CLI::App& command);
    // pszHelp says what --quiet leaves out of that command's output.
    void AddQuiet(CLI::App& command, const char* pszHelp);

    // Once the command line is parsed: the values as the commands take them.
    const SArguments& Complete();

private:
    // CLI11 would take an 8-bit number for a character, so numbers are taken wider first.
    unsigned m_uBoard = 1;
    unsigned m_uWatchdog = 0;
    std::string m_strSlaves;
    SArguments m_args;
};

} // namespace movactl
