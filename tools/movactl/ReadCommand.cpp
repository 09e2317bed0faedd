#include "tools/movactl/Commands.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"
#include "tools/movactl/ValueText.h"

#include <cstdio>

namespace movactl
{

namespace
{

// One line per variable, for scripts: its value, or what went wrong.
void PrintValues(const CVariableBatch& batch)
{
    for (std::size_t i = 0; i < batch.GetCount(); ++i)
    {
        bool bDone = batch.GetResult(i) == MOVA_RESULT_DONE;
        std::printf("%s\n", bDone ? FormatValue(batch.GetVariable(i), batch.GetValue(i)).c_str()
                                  : DescribeResult(batch.GetResult(i)).c_str());
    }
}

} // namespace

int RunRead(const SArguments& args)
{
    CBoardSession session(args);
    if (!session.Start())
        return ExitFailed;
    CVariableBatch batch = MakeReadBatch(session, args.aVariables);
    if (!ReadVariables(session, batch))
        return ExitFailed;
    if (args.bQuiet)
        PrintValues(batch);
    else
        std::fputs(ReadTable(batch).Format().c_str(), stdout);
    return batch.AnyFailed() ? ExitFailed : ExitOk;
}

} // namespace movactl
