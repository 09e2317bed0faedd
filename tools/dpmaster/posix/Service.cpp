#include "tools/dpmaster/Service.h"

#include "tools/common/CommandLine.h"

#include <cstdio>

namespace dpmaster
{

int RunServiceCommand(int, char**, const std::function<int(int, char**)>&)
{
    std::fputs("korix-dpmaster: \"service\" is for Windows; on Linux the systemd unit "
               "korix-dpmaster@.service serves a board at boot (docs/dp-master.md)\n",
               stderr);
    return tools::ExitUsage;
}

} // namespace dpmaster
