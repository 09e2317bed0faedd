// The skeleton every tool shares: its exit codes, parsing its command line with CLI11, numbers
// as people type them, and running the chosen command with a last-resort guard.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tools
{

// The same three codes in every tool; scripts rely on them.
enum teExitCode
{
    ExitOk = 0,     // done, and all was well
    ExitFailed = 1, // ran, and something failed or was found wrong
    ExitUsage = 2   // the command line was wrong: nothing was done
};

// A CLI11 transform that takes a number as people type it (decimal, or hex after 0x; no sign,
// no octal) from nMin to nMax and hands the option its decimal text. The error names the range;
// CLI11 puts the option's name in front of it.
CLI::Validator Number(std::uint64_t qwMin, std::uint64_t qwMax);

// The same for a signed number, in decimal only ("-5", "12"), from nMin to nMax.
CLI::Validator SignedNumber(std::int64_t nMin, std::int64_t nMax);

// Parses argv into app; options are "--name" and "-x" only, on Windows too ("/x" is an
// argument). Returns the exit code when the tool is done already: ExitOk after
// printing the help that was asked for (the chosen subcommand's own page, its usage line
// headed by the whole command: "Usage: tool sub [OPTIONS]"), ExitUsage after
// "tool: why" and a hint on standard error. Returns nothing when the command is to run.
std::optional<int> ParseCommandLine(CLI::App& app, int argc, const char* const* argv);

// One subcommand and what runs it.
using CommandList = std::vector<std::pair<CLI::App*, std::function<int()>>>;

// Runs the command of the subcommand that was given; without one, says "tool: no command
// given" and the hint on standard error, as for any other usage error, and ends with ExitUsage.
int RunChosenCommand(const CLI::App& app, const CommandList& commands);

// The main of every tool: an exception that got that far ends the tool with "tool: what" and
// ExitFailed instead of an abort.
int RunGuarded(const char* pszTool, const std::function<int()>& command);

} // namespace tools
