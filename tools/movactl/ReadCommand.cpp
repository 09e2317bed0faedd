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

// One line per variable, for scripts: its value. A variable that failed has an empty line, so
// that the lines still match the variables one to one, and what went wrong goes to standard
// error: no failure can be read as a value.
void PrintValues(const CReadSet& reads)
{
    for (std::size_t i = 0; i < reads.GetCount(); ++i)
    {
        const SVariable& variable = reads.GetVariable(i);
        if (reads.GetResult(i) == MOVA_RESULT_DONE)
        {
            std::printf("%s\n", FormatValue(variable, reads.GetValue(i)).c_str());
            continue;
        }
        std::printf("\n");
        std::fflush(stdout);
        std::fprintf(stderr, "movactl: %s: %s\n", variable.strText.c_str(),
                     DescribeResult(reads.GetResult(i)).c_str());
        std::fflush(stderr);
    }
}

} // namespace

int RunRead(const SArguments& args)
{
    NoteWholeBytes(args.aVariables);
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
