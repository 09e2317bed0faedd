// movatrace: a trace window for the library's trace lines, and the control of live trace
// sessions' levels. See docs/movatrace.md.
#include "tools/common/CommandLine.h"
#include "tools/movatrace/Arguments.h"
#include "tools/movatrace/LevelCommands.h"
#include "tools/movatrace/WindowCommand.h"

#include <optional>

namespace
{

int Run(int argc, char** argv)
{
    using namespace movatrace;
    SArguments args;
    if (std::optional<int> nDone = ParseArguments(argc, argv, args))
        return *nDone;
    switch (args.nCommand)
    {
    case CommandLevel:
        return RunLevel(args);
    case CommandSessions:
        return RunSessions();
    case CommandWindow:
        break;
    }
    return RunWindow(args);
}

} // namespace

int main(int argc, char** argv)
{
    return tools::RunGuarded("movatrace", [&] { return Run(argc, argv); });
}
