// movactl status on Windows: the DP master (korix-dpmaster) and its status block exist on
// Linux only, so there is nothing to read here.
#include "tools/movactl/StatusCommand.h"

#include <cstdio>

namespace movactl
{

int RunStatus(const SArguments&)
{
    std::fputs("movactl: the DP master's status is available on Linux only, where "
               "korix-dpmaster runs\n",
               stderr);
    return ExitFailed;
}

} // namespace movactl
