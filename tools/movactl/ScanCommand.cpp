#include "tools/movactl/Commands.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/TextTable.h"

#include "tools/movactl/BoardSession.h"

#include <cstdio>

namespace movactl
{

int RunScan(const SArguments& args)
{
    // Every address is configured, so that open learns every slave the board lists.
    SArguments everySlave = args;
    everySlave.abySlaves.clear();
    CBoardSession session(everySlave);
    if (!session.Start())
        return ExitFailed;
    if (session.GetSlaves().empty())
    {
        std::fprintf(stderr, "movactl: board %d reports no slaves\n",
                     static_cast<int>(session.GetBoard()));
        return ExitFailed;
    }
    CTextTable table({">slave", ">in", ">out", ">status", "state"});
    for (std::uint8_t byAddress : session.GetSlaves())
    {
        const SConSpec* pEntry = session.FindSlave(byAddress);
        std::uint16_t wStatus = session.GetStatus(byAddress);
        if (args.bQuiet)
            std::printf("%u\n", static_cast<unsigned>(byAddress));
        table.AddRow({std::to_string(byAddress), std::to_string(pEntry->wLenIn),
                      std::to_string(pEntry->wLenOut), std::to_string(wStatus),
                      DescribeStatus(wStatus)});
    }
    if (!args.bQuiet)
        std::fputs(table.Format().c_str(), stdout);
    return ExitOk;
}

} // namespace movactl
