#include "tools/common/CommandLine.h"

#include "tools/common/Numbers.h"

#include <cstdio>
#include <exception>

namespace tools
{

CLI::Validator Number(std::uint64_t qwMin, std::uint64_t qwMax)
{
    std::string strRange = std::to_string(qwMin) + " to " + std::to_string(qwMax);
    return CLI::Validator(
        [qwMin, qwMax, strRange](std::string& strText) -> std::string
        {
            std::uint64_t qwValue = 0;
            if (!ParseNumber(strText, qwMax, qwValue) || qwValue < qwMin)
                return "'" + strText + "' is not a number from " + strRange;
            strText = std::to_string(qwValue);
            return {};
        },
        "NUMBER " + strRange);
}

std::optional<int> ParseCommandLine(CLI::App& app, int argc, const char* const* argv)
{
    try
    {
        app.parse(argc, argv);
        return std::nullopt;
    }
    catch (const CLI::CallForHelp&)
    {
        // The page of the deepest subcommand given, so "tool read --help" explains read; the
        // app's own help() goes down to it and names it with the tool ("Usage: tool read").
        std::fputs(app.help().c_str(), stdout);
        return ExitOk;
    }
    catch (const CLI::ParseError& e)
    {
        const std::string strTool = app.get_name();
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", strTool.c_str(), e.what(),
                     strTool.c_str());
        return ExitUsage;
    }
}

int RunChosenCommand(const CLI::App& app, const CommandList& commands)
{
    for (const auto& [pSubcommand, command] : commands)
        if (pSubcommand->parsed())
            return command();
    std::fputs(app.help().c_str(), stderr);
    return ExitUsage;
}

int RunGuarded(const char* pszTool, const std::function<int()>& command)
{
    try
    {
        return command();
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "%s: %s\n", pszTool, e.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "%s: unexpected failure\n", pszTool);
    }
    return ExitFailed;
}

} // namespace tools
