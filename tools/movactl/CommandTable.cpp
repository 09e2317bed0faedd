#include "tools/movactl/CommandTable.h"

namespace movactl
{

// A command is its file, which defines Make<Name>Command(), and its line here.
#define MOVACTL_COMMANDS(COMMAND)                                                                  \
    COMMAND(Demo)                                                                                  \
    COMMAND(Scan)                                                                                  \
    COMMAND(Test)                                                                                  \
    COMMAND(Read)                                                                                  \
    COMMAND(Write)                                                                                 \
    COMMAND(Watch)                                                                                 \
    COMMAND(Status)

#define MOVACTL_DECLARE_COMMAND(Name) CommandPtr Make##Name##Command();
MOVACTL_COMMANDS(MOVACTL_DECLARE_COMMAND)

std::vector<CommandPtr> MakeCommands()
{
    std::vector<CommandPtr> apCommands;
#define MOVACTL_MAKE_COMMAND(Name) apCommands.push_back(Make##Name##Command());
    MOVACTL_COMMANDS(MOVACTL_MAKE_COMMAND)
    return apCommands;
}

} // namespace movactl
