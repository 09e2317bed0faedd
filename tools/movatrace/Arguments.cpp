#include "tools/movatrace/Arguments.h"

#include "platform/TraceWindowHost.h"
#include "tools/common/CommandLine.h"
#include "tools/movatrace/LineFilter.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace movatrace
{

namespace
{

CLI::Validator NonEmpty(const char* pszWhat)
{
    return CLI::Validator([pszWhat](std::string& strText)
                          { return strText.empty() ? std::string("needs ") + pszWhat : ""; },
                          "");
}

// Compiled here, once more, so that a pattern the window could not use is a usage error.
CLI::Validator GrepPattern()
{
    return CLI::Validator(
        [](std::string& strPattern)
        {
            CLineFilter filter;
            std::string strError;
            return filter.Compile(strPattern, strError) ? std::string() : strError;
        },
        "");
}

// A build whose window cannot tell who sent a line refuses the options that need it, rather
// than show every line as of an unknown sender, or none.
std::string SenderUnknownReason()
{
    return platform::CTraceWindowHost::KnowsSenders()
               ? std::string()
               : std::string("not available here: the trace window cannot tell which process "
                             "sent a line (see docs/movatrace.md)");
}

CLI::Validator SenderKnown()
{
    return CLI::Validator([](std::string&) { return SenderUnknownReason(); }, "");
}

void AddWindowOptions(CLI::App& app, SArguments& args)
{
    app.add_option_function<std::vector<std::string>>(
           "--class",
           [&args](const std::vector<std::string>& aClasses)
           {
               for (const std::string& strClass : aClasses)
               {
                   if (std::count(aClasses.begin(), aClasses.end(), strClass) > 1)
                       throw CLI::ValidationError("--class",
                                                  "class '" + strClass + "' is named twice");
               }
               args.aClasses = aClasses;
           },
           "serve this window class; may be repeated (default: MovaJobWin, MovaProtoWin, "
           "DPComWin, TraceWindow)")
        ->type_name("NAME")
        ->check(NonEmpty("a non-empty class name"));
    app.add_option("--log", args.strLogPath,
                   "also append the lines, as received, to FILE (with --source, each with "
                   "its sender in front)")
        ->type_name("FILE")
        ->check(NonEmpty("a file name"));
    app.add_option("--grep", args.strGrep,
                   CLineFilter::IsAvailable()
                       ? "show and log only the lines that match (RE2 syntax), searched as "
                         "printed: with the sender and the class in front when they are shown"
                       : "not in this build (built without RE2)")
        ->type_name("REGEX")
        ->check(GrepPattern());
    app.add_flag("--no-color", args.bNoColor, "do not colour errors and warnings on a terminal");
    app.add_flag_callback(
        "--source",
        [&args]
        {
            if (std::string strReason = SenderUnknownReason(); !strReason.empty())
                throw CLI::ValidationError("--source", strReason);
            args.bSource = true;
        },
        "show each line's sender in front: [process id and program name]");
    app.add_option("--pid", args.dwPid, "show only the lines that process PID sent")
        ->type_name("PID")
        ->transform(tools::Number(1, INT32_MAX))
        ->check(SenderKnown());
}

CLI::App* AddLevelCommand(CLI::App& app, SArguments& args)
{
    CLI::App* pLevel = app.add_subcommand(
        "level", "print the trace level of the live session NAME, or set it to LEVEL");
    pLevel->add_option("NAME", args.strSession, "the session's trace name")
        ->required()
        ->check(NonEmpty("a session name"));
    pLevel->add_option("LEVEL", args.nLevel, "the new level: lines up to it pass")
        ->transform(tools::SignedNumber(INT16_MIN, INT16_MAX));
    return pLevel;
}

} // namespace

std::optional<int> ParseArguments(int argc, const char* const* argv, SArguments& args)
{
    CLI::App app{"Without a command, serves as the trace window of the given window classes and "
                 "prints every trace line as it arrives, until interrupted. The commands read "
                 "and set the levels of live trace sessions.",
                 "movatrace"};
    AddWindowOptions(app, args);
    CLI::App* pLevel = AddLevelCommand(app, args);
    CLI::App* pSessions = app.add_subcommand(
        "sessions",
        "list the live trace sessions with their levels and the processes holding them");
    app.require_subcommand(0, 1);
    // The window's options make no sense before a command.
    for (CLI::App* pCommand : {pLevel, pSessions})
        for (CLI::Option* pOption : app.get_options())
            if (pOption != app.get_help_ptr())
                pCommand->excludes(pOption);
    app.footer("Exit status: 0 success, 1 failure, 2 bad arguments.");

    if (std::optional<int> nDone = tools::ParseCommandLine(app, argc, argv))
        return nDone;
    args.bGrep = app.count("--grep") != 0;
    if (pLevel->parsed())
    {
        args.nCommand = CommandLevel;
        args.bSetLevel = pLevel->count("LEVEL") != 0;
    }
    else if (pSessions->parsed())
        args.nCommand = CommandSessions;
    else if (args.aClasses.empty())
        args.aClasses.assign(std::begin(kDefaultClasses), std::end(kDefaultClasses));
    return std::nullopt;
}

} // namespace movatrace
