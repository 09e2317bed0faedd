// The command line of movactl: which command, on which board and slaves, through which library.
// CLI11 parses it (tools/common/CommandLine.h): the commands are its subcommands, each with its
// own --help page; options of every command (--board, --watchdog, --lib) go before or after
// the command's name, a command's own options after it.
#pragma once

#include "tools/movactl/Command.h"
#include "tools/movactl/CommonOptions.h"

#include <optional>
#include <vector>

namespace movactl
{

class CCommandLine
{
public:
    explicit CCommandLine(std::vector<CommandPtr> apCommands);
    CCommandLine(const CCommandLine&) = delete;
    CCommandLine& operator=(const CCommandLine&) = delete;

    // Parses argv. Returns the exit code when movactl is done already: ExitOk after the help
    // that was asked for, ExitUsage after "movactl: why" and a hint on standard error. Returns
    // nothing when GetCommand() is to run with GetArguments().
    std::optional<int> Parse(int argc, const char* const* argv);

    // The command given, null before a Parse that returned nothing.
    CCommand* GetCommand() const { return m_pChosen; }
    const SArguments& GetArguments() const { return m_args; }
    const CLI::App& GetApp() const { return m_app; }

private:
    void AddCommand(CCommand& command);

    CLI::App m_app;
    CCommonOptions m_common;
    std::vector<CommandPtr> m_apCommands;
    CCommand* m_pChosen = nullptr;
    SArguments m_args;
};

} // namespace movactl
