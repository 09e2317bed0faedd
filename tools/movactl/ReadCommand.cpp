#include "tools/movactl/Command.h"
#include "tools/movactl/ReadSet.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"
#include "tools/movactl/ValueText.h"
#include "tools/movactl/VariableOperands.h"

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

const SCommandText kText = {
    .pszName = "read",
    .pszDescription = "Reads variables, one batch per slave, all posted together.",
    .pszExamples = "Example: movactl read 4:0:16:swap 4:7:8 4:0.3:1 3:0:i16 3:4:f32:swap\n",
};

class CReadCommand final : public CCommand
{
public:
    CReadCommand() : CCommand(kText) {}

    void AddOptions(CLI::App& command, CCommonOptions& common) override
    {
        common.AddSlaves(command);
        common.AddQuiet(command, "values only, one per line; a failed one\n"
                                 "leaves its line empty and says why on\n"
                                 "standard error");
        AddReadOperands(command, m_astrVariables);
    }

    void Complete(const SArguments& args) override
    {
        m_aVariables = ParseReadOperands(m_astrVariables);
        for (const SVariable& variable : m_aVariables)
            CheckConfigured(variable, args);
    }

    int Run(const SArguments& args) override
    {
        NoteWholeBytes(m_aVariables);
        CBoardSession session(args);
        if (!session.Start() || !CheckSlavesOnBoard(session, m_aVariables))
            return ExitFailed;
        CReadSet reads(session, m_aVariables);
        if (!reads.Read())
            return ExitFailed;
        if (args.bQuiet)
            PrintValues(reads);
        else
            std::fputs(reads.Table().Format().c_str(), stdout);
        return reads.AnyFailed() ? ExitFailed : ExitOk;
    }

private:
    std::vector<std::string> m_astrVariables;
    std::vector<SVariable> m_aVariables;
};

} // namespace

CommandPtr MakeReadCommand()
{
    return std::make_unique<CReadCommand>();
}

} // namespace movactl
