#include "tools/movactl/Commands.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"

#include <cstdio>

namespace movactl
{

int RunWrite(const SArguments& args)
{
    NoteWholeBytes(args.aVariables);
    CBoardSession session(args);
    if (!session.Start() || !CheckSlavesOnBoard(session, args.aVariables))
        return ExitFailed;
    CVariableBatch batch = MakeWriteBatch(session, args.aVariables);
    std::string strError;
    if (!WriteVariables(session, batch, strError))
    {
        std::fprintf(stderr, "movactl: %s\n", strError.c_str());
        return ExitFailed;
    }
    if (!args.bQuiet)
        std::fputs(WriteTable(batch).Format().c_str(), stdout);
    for (std::size_t i = 0; args.bQuiet && i < batch.GetCount(); ++i)
    {
        if (batch.GetResult(i) != MOVA_RESULT_DONE)
            std::fprintf(stderr, "movactl: %s: %s\n", batch.GetVariable(i).strText.c_str(),
                         DescribeResult(batch.GetResult(i)).c_str());
    }
    return batch.AnyFailed() ? ExitFailed : ExitOk;
}

} // namespace movactl
