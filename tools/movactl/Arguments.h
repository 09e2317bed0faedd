// The command line of movactl: which command, on which board and slaves, through which library.
// CLI11 parses it (tools/common/CommandLine.h): the commands are its subcommands, each with its
// own --help page; options of every command (--board, --watchdog, --lib) go before or after
// the command's name, a command's own options after it.
#pragma once

#include "tools/common/CommandLine.h"
#include "tools/movactl/Variable.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace movactl
{

using tools::ExitFailed;
using tools::ExitOk;
using tools::ExitUsage;

enum teVerb
{
    VerbNone,
    VerbDemo,
    VerbTest,
    VerbRead,
    VerbWrite,
    VerbWatch,
    VerbScan,
    VerbStatus
};

struct SArguments
{
    teVerb eVerb = VerbNone;
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

class CCommandLine
{
public:
    CCommandLine();
    CCommandLine(const CCommandLine&) = delete;
    CCommandLine& operator=(const CCommandLine&) = delete;

    // Parses argv. Returns the exit code when movactl is done already: ExitOk after the help
    // that was asked for, ExitUsage after "movactl: why" and a hint on standard error. Returns
    // nothing when GetArguments() holds a command to run.
    std::optional<int> Parse(int argc, const char* const* argv);

    const SArguments& GetArguments() const { return m_args; }
    const CLI::App& GetApp() const { return m_app; }
    CLI::App* GetCommand(teVerb eVerb) const { return m_commands.at(eVerb); }

private:
    // The option values as CLI11 takes them, before they go into m_args (CLI11 would take an
    // 8-bit number for a character).
    struct SOptionValues
    {
        unsigned uBoard = 1;
        unsigned uWatchdog = 0;
        std::string strSlaves;
        std::vector<std::string> aVariables;
        unsigned uPlotRounds = 20;
    };

    void AddCommands();
    void AddVariables();
    void AddWatchOptions();
    // Once a command's arguments are parsed: what needs them together is checked here.
    void Complete(teVerb eVerb);

    CLI::App m_app;
    SArguments m_args;
    SOptionValues m_values;
    std::map<teVerb, CLI::App*> m_commands;
};

} // namespace movactl
