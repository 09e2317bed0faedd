#include "tools/movactl/Commands.h"
#include "tools/movactl/MasterProbe.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"

#include <cstdio>

namespace movactl
{

int RunTest(const SArguments& args)
{
    CBoardSession session(args);
    std::vector<SJobParam> aRecords;
    if (!session.Start())
        return ExitFailed;
    if (session.GetSlaves().empty())
    {
        std::fprintf(stderr, "movactl: board %d reports no slaves\n",
                     static_cast<int>(session.GetBoard()));
        return ExitFailed;
    }
    if (!TestConnections(session, aRecords))
        return ExitFailed;
    SMasterState master = ProbeMaster(session, aRecords);
    if (!args.bQuiet)
    {
        std::fputs(ConnectionTable(session, aRecords).Format().c_str(), stdout);
        std::printf("master: %s\n", master.strText.c_str());
    }
    int nExitCode = master.bOperational ? ExitOk : ExitFailed;
    if (args.bQuiet && !master.bOperational)
        std::fprintf(stderr, "movactl: master: %s\n", master.strText.c_str());
    for (const SJobParam& record : aRecords)
    {
        if (record.lResult == MOVA_RESULT_DONE)
            continue;
        nExitCode = ExitFailed;
        std::uint8_t byAddress = record.tsConSpec.byL2Addr;
        if (args.bQuiet)
            std::fprintf(
                stderr, "movactl: slave %u: %s\n", static_cast<unsigned>(byAddress),
                session.HasSlave(byAddress)
                    ? DescribeTestResult(record.lResult, session.GetStatus(byAddress)).c_str()
                    : NoSlaveText(byAddress).c_str());
    }
    return nExitCode;
}

} // namespace movactl
