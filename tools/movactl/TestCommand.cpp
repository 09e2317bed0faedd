#include "tools/movactl/Commands.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"

#include <cstdio>

namespace movactl
{

int RunTest(const SArguments& args)
{
    CBoardSession session(args);
    std::vector<SJobParam> aRecords;
    if (!session.Start() || !TestConnections(session, aRecords))
        return ExitFailed;
    if (!args.bQuiet)
        std::fputs(ConnectionTable(session, aRecords).Format().c_str(), stdout);
    int nExitCode = ExitOk;
    for (const SJobParam& record : aRecords)
    {
        if (record.lResult == MOVA_RESULT_DONE)
            continue;
        nExitCode = ExitFailed;
        if (args.bQuiet)
            std::fprintf(
                stderr, "movactl: slave %u: %s\n", static_cast<unsigned>(record.tsConSpec.byL2Addr),
                DescribeTestResult(record.lResult, session.GetStatus(record.tsConSpec.byL2Addr))
                    .c_str());
    }
    return nExitCode;
}

} // namespace movactl
