#include "tools/movactl/Commands.h"
#include "tools/movactl/ReadSet.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"
#include "tools/movactl/ValueText.h"

#include <cstdio>

namespace movactl
{

namespace
{

// One line per variable, for scripts: its value, or what went wrong.
void PrintValues(const CReadSet& reads)
{
    for (std::size_t i = 0; i < reads.GetCount(); ++i)
    {
        bool bDone = reads.GetResult(i) == MOVA_RESULT_DONE;
        std::printf("%s\n", bDone ? FormatValue(reads.GetVariable(i), reads.GetValue(i)).c_str()
                                  : DescribeResult(reads.GetResult(i)).c_str());
    }
}

} // namespace

int RunRead(const SArguments& args)
{
    CBoardSession session(args);
    if (!session.Start() || !CheckSlavesOnBoard(session, args.aVariables))
        return ExitFailed;
    CReadSet reads(session, args.aVariables);
    if (!reads.Read())
        return ExitFailed;
    if (args.bQuiet)
        PrintValues(reads);
    else
        std::fputs(reads.Table().Format().c_str(), stdout);
    return reads.AnyFailed() ? ExitFailed : ExitOk;
}

} // namespace movactl
