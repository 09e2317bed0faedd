// movatrace: a trace window for the library's trace lines, and the control of live trace
// sessions' levels. See docs/movatrace.md.
#include "tools/common/GuardedMain.h"
#include "tools/movatrace/Arguments.h"
#include "tools/movatrace/LevelCommands.h"
#include "tools/movatrace/WindowCommand.h"

#include <cstdio>
#include <exception>
#include <string>

namespace
{

int RunCommand(int argc, char** argv)
{
    using namespace movatrace;
    SArguments args;
    std::string strError;
    if (!ParseArguments(argc, argv, args, strError))
    {
        std::fprintf(stderr, "movatrace: %s\nTry 'movatrace --help'.\n", strError.c_str());
        return ExitUsage;
    }
    switch (args.nCommand)
    {
    case CommandHelp:
        PrintUsage(stdout);
        return ExitOk;
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
    return RunGuarded("movatrace", RunCommand, argc, argv);
}
