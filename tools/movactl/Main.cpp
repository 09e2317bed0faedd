// movactl: a person's way to talk to DP slaves through the MovaJob library, loaded and driven
// as a host does. See docs/movactl.md.
#include "tools/common/CommandLine.h"
#include "tools/movactl/Arguments.h"
#include "tools/movactl/Commands.h"

namespace
{

using namespace movactl;

int Run(int argc, char** argv)
{
    CCommandLine commandLine;
    if (std::optional<int> nDone = commandLine.Parse(argc, argv))
        return *nDone;
    const SArguments& args = commandLine.GetArguments();
    return tools::RunChosenCommand(
        commandLine.GetApp(),
        {{commandLine.GetCommand(VerbDemo), [&] { return RunDemo(args); }},
         {commandLine.GetCommand(VerbTest), [&] { return RunTest(args); }},
         {commandLine.GetCommand(VerbRead), [&] { return RunRead(args); }},
         {commandLine.GetCommand(VerbWrite), [&] { return RunWrite(args); }},
         {commandLine.GetCommand(VerbWatch), [&] { return RunWatch(args); }},
         {commandLine.GetCommand(VerbScan), [&] { return RunScan(args); }},
         {commandLine.GetCommand(VerbStatus), [&] { return RunStatus(args); }}});
}

} // namespace

int main(int argc, char** argv)
{
    return tools::RunGuarded("movactl", [&] { return Run(argc, argv); });
}
