#include "tools/movactl/CommandLine.h"

#include <cstdio>
#include <string>

namespace movactl
{

CCommandLine::CCommandLine(std::vector<CommandPtr> apCommands)
    : m_app("Talks to DP slaves through a DP master board by way of the MovaJob library,\n"
            "loaded and driven as a host does. Start with 'movactl demo'. See docs/movactl.md.",
            "movactl"),
      m_apCommands(std::move(apCommands))
{
    m_app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    m_app.get_formatter()->label("Subcommands", "Commands");
    m_app.get_formatter()->column_width(24);
    m_app.footer("Exit status: 0 all done, 1 a record, the board or the library failed, 2 wrong "
                 "arguments.");
    // One command a run: a second name would run one of them with the other's arguments.
    m_app.require_subcommand(0, 1);
    m_common.AddTo(m_app);
    for (const CommandPtr& pCommand : m_apCommands)
        AddCommand(*pCommand);
}

void CCommandLine::AddCommand(CCommand& command)
{
    const SCommandText& text = command.GetText();
    CLI::App* pSubcommand = m_app.add_subcommand(text.pszName, text.pszDescription);
    pSubcommand->footer(std::string(text.pszExamples) + kEveryCommandNote);
    // The options of every command may follow the command's name.
    pSubcommand->fallthrough();
    pSubcommand->callback(
        [this, &command]
        {
            m_args = m_common.Complete();
            command.Complete(m_args);
            m_pChosen = &command;
        });
    command.AddOptions(*pSubcommand, m_common);
}

std::optional<int> CCommandLine::Parse(int argc, const char* const* argv)
{
    if (std::optional<int> nDone = tools::ParseCommandLine(m_app, argc, argv))
        return nDone;
    if (m_pChosen == nullptr)
    {
        std::fputs("movactl: no command given\nTry 'movactl --help'.\n", stderr);
        return ExitUsage;
    }
    return std::nullopt;
}

} // namespace movactl
