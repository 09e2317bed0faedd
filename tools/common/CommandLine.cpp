#include "tools/common/CommandLine.h"

#include "tools/common/Numbers.h"

#include <cstdio>
#include <exception>
#include <string_view>

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

CLI::Validator SignedNumber(std::int64_t nMin, std::int64_t nMax)
{
    std::string strRange = std::to_string(nMin) + " to " + std::to_string(nMax);
    return CLI::Validator(
        [nMin, nMax, strRange](std::string& strText) -> std::string
        {
            // CLI11's own conversion would read "010" as octal and "0x10" as hex.
            std::string_view digits = strText;
            const bool bNegative = !digits.empty() && digits.front() == '-';
            if (bNegative)
                digits.remove_prefix(1);
            std::uint64_t qwMagnitude = 0;
            const bool bDecimal =
                !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
            const std::uint64_t qwLimit =
                bNegative ? 0 - static_cast<std::uint64_t>(nMin) : static_cast<std::uint64_t>(nMax);
            if (!bDecimal || (bNegative && nMin >= 0) || !ParseNumber(digits, qwLimit, qwMagnitude))
                return "'" + strText + "' is not a number from " + strRange;
            const std::int64_t nValue = bNegative ? static_cast<std::int64_t>(0 - qwMagnitude)
                                                  : static_cast<std::int64_t>(qwMagnitude);
            if (nValue < nMin || nValue > nMax)
                return "'" + strText + "' is not a number from " + strRange;
            strText = std::to_string(nValue);
            return {};
        },
        "NUMBER " + strRange);
}

namespace
{

// CLI11 takes "/name" for an option on Windows. The tools take only "--name" and "-h", so a
// path such as "/tmp/plant.json" (which Wine hands on as it is) stays an argument there too.
void OnlyDashOptions(CLI::App& app)
{
    app.allow_windows_style_options(false);
    for (CLI::App* pSub : app.get_subcommands([](CLI::App*) { return true; }))
        OnlyDashOptions(*pSub);
}

} // namespace

std::optional<int> ParseCommandLine(CLI::App& app, int argc, const char* const* argv)
{
    OnlyDashOptions(app);
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
    const std::string strTool = app.get_name();
    std::fprintf(stderr, "%s: no command given\nTry '%s --help'.\n", strTool.c_str(),
                 strTool.c_str());
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
