#include "tools/tracedemo/DemoOptions.h"

#include "tools/common/CommandLine.h"

#include <climits>
#include <cstdint>
#include <string>

namespace tracedemo
{

namespace
{

CLI::Validator NonEmpty()
{
    return CLI::Validator([](std::string& strText)
                          { return strText.empty() ? std::string("needs a non-empty name") : ""; },
                          "");
}

// The tracer's time stamp modes in the order of their numbers; "none" writes lines without one.
CLI::Validator StampMode()
{
    return CLI::Validator(
        [](std::string& strText)
        {
            const char* const aModes[] = {"clock", "ticks", "relative", "none"};
            for (int nMode = 0; nMode < 4; ++nMode)
            {
                if (strText == aModes[nMode])
                {
                    strText = std::to_string(nMode);
                    return std::string();
                }
            }
            return "'" + strText + "' is not one of clock, ticks, relative, none";
        },
        "");
}

} // namespace

std::optional<int> ParseDemoOptions(int argc, const char* const* argv, SDemoOptions& options)
{
    CLI::App app{"Opens the trace session NAME for the trace window class CLASS and writes, every "
                 "MS milliseconds, one round of lines: an error, a warning, lines at levels 0, 1, "
                 "10 and 100, and a hex dump at level 200. Which of them show depends on the "
                 "session's level (initially LEVEL), which 'movatrace level NAME LEVEL' changes "
                 "while the demo runs. Stops after N rounds, or when interrupted if N is 0.",
                 "tracedemo"};
    app.add_option("--name", options.strName, "the trace session's name")
        ->type_name("NAME")
        ->capture_default_str()
        ->check(NonEmpty());
    app.add_option("--class", options.strClass, "the trace window class to send to")
        ->type_name("CLASS")
        ->capture_default_str()
        ->check(NonEmpty());
    app.add_option("--level", options.nLevel, "the session's initial level")
        ->type_name("LEVEL")
        ->capture_default_str()
        ->transform(tools::SignedNumber(INT16_MIN, INT16_MAX));
    app.add_option("--lines", options.nRounds, "rounds to write; 0 until interrupted")
        ->type_name("N")
        ->capture_default_str()
        ->transform(tools::Number(0, LONG_MAX));
    app.add_option("--interval-ms", options.nIntervalMs, "pause between rounds")
        ->type_name("MS")
        ->capture_default_str()
        ->transform(tools::Number(0, 3600000));
    app.add_option("--stamp", options.nStampMode, "the time stamp in front of each line")
        ->type_name("clock|ticks|relative|none")
        ->transform(StampMode())
        ->default_str("clock");
    app.footer("Exit status: 0 success, 1 failure, 2 bad arguments.");
    return tools::ParseCommandLine(app, argc, argv);
}

} // namespace tracedemo
