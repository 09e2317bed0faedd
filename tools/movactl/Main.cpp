// movactl: a person's way to talk to DP slaves through the MovaJob library, loaded and driven
// as a host does. See docs/movactl.md.
#include "tools/movactl/CommandLine.h"
#include "tools/movactl/CommandTable.h"

namespace
{

using namespace movactl;

int Run(int argc, char** argv)
{
    CCommandLine commandLine(MakeCommands());
    if (std::optional<int> nDone = commandLine.Parse(argc, argv))
        return *nDone;
    return commandLine.GetCommand()->Run(commandLine.GetArguments());
}

} // namespace

int main(int argc, char** argv)
{
    return tools::RunGuarded("movactl", [&] { return Run(argc, argv); });
}
