// movactl: a person's way to talk to DP slaves through the MovaJob library, loaded and driven
// as a host does. See docs/movactl.md.
#include "tools/common/GuardedMain.h"
#include "tools/movactl/Arguments.h"
#include "tools/movactl/Commands.h"

#include <cstdio>
#include <exception>
#include <string>

namespace
{

using namespace movactl;

int RunVerb(const SArguments& args)
{
    switch (args.eVerb)
    {
    case VerbDemo:
        return RunDemo(args);
    case VerbTest:
        return RunTest(args);
    case VerbRead:
        return RunRead(args);
    case VerbWrite:
        return RunWrite(args);
    case VerbWatch:
        return RunWatch(args);
    case VerbScan:
        return RunScan(args);
    case VerbNone:
        break;
    }
    return ExitUsage;
}

int RunCommand(int argc, char** argv)
{
    SArguments args;
    std::string strError;
    if (!ParseArguments(argc, argv, args, strError))
    {
        std::fprintf(stderr, "movactl: %s\nTry 'movactl --help'.\n", strError.c_str());
        return ExitUsage;
    }
    if (args.bHelp)
    {
        PrintUsage(stdout, args.eVerb);
        return ExitOk;
    }
    return RunVerb(args);
}

} // namespace

int main(int argc, char** argv)
{
    return RunGuarded("movactl", RunCommand, argc, argv);
}
