#include "tools/movactl/Command.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"
#include "tools/movactl/VariableOperands.h"

#include <cstdio>

namespace movactl
{

namespace
{

// A write sends one slave's whole output image, so its variables name one slave.
void CheckOneSlave(const SVariable& variable, const SVariable& first)
{
    if (variable.byAddress != first.byAddress)
        throw CLI::ValidationError(
            "all variables of one write must name the same slave, as a write sends one "
            "slave's output image: '" +
            first.strText + "' names slave " + std::to_string(first.byAddress) + ", '" +
            variable.strText + "' slave " + std::to_string(variable.byAddress));
}

void SayFailures(const CVariableBatch& batch)
{
    for (std::size_t i = 0; i < batch.GetCount(); ++i)
    {
        if (batch.GetResult(i) != MOVA_RESULT_DONE)
            std::fprintf(stderr, "movactl: %s: %s\n", batch.GetVariable(i).strText.c_str(),
                         DescribeResult(batch.GetResult(i)).c_str());
    }
}

const SCommandText kText = {
    .pszName = "write",
    .pszDescription =
        "Writes variables of one slave in one batch. The slave's outputs are read back first,\n"
        "because a write sends the whole output image.",
    .pszExamples = "Example: movactl write 3:0:16=0x1234:swap 3:2.5:1=1 3:4:i16=-5\n",
};

class CWriteCommand final : public CCommand
{
public:
    CWriteCommand() : CCommand(kText) {}

    void AddOptions(CLI::App& command, CCommonOptions& common) override
    {
        common.AddSlaves(command);
        common.AddQuiet(command, "no table");
        command
            .add_option("VAR=VALUE", m_astrVariables,
                        "SLAVE:BYTE[.BIT]:BITS=VALUE[:swap], BITS as for read. VALUE: decimal or\n"
                        "0x hex; signed types take a sign (0x hex is the bit pattern), floats a\n"
                        "decimal with fraction and exponent, inf, -inf or nan; more than 64 bits\n"
                        "a hex byte string, first byte first (3:0:80=0x0102030405060708090a).")
            ->required();
    }

    void Complete(const SArguments& args) override
    {
        m_aVariables = ParseWriteOperands(m_astrVariables);
        for (const SVariable& variable : m_aVariables)
        {
            CheckOneSlave(variable, m_aVariables.front());
            CheckConfigured(variable, args);
        }
    }

    int Run(const SArguments& args) override
    {
        NoteWholeBytes(m_aVariables);
        CBoardSession session(args);
        if (!session.Start() || !CheckSlavesOnBoard(session, m_aVariables))
            return ExitFailed;
        CVariableBatch batch = MakeWriteBatch(session, m_aVariables);
        std::string strError;
        if (!WriteVariables(session, batch, strError))
        {
            std::fprintf(stderr, "movactl: %s\n", strError.c_str());
            return ExitFailed;
        }
        if (args.bQuiet)
            SayFailures(batch);
        else
            std::fputs(WriteTable(batch).Format().c_str(), stdout);
        return batch.AnyFailed() ? ExitFailed : ExitOk;
    }

private:
    std::vector<std::string> m_astrVariables;
    std::vector<SVariable> m_aVariables;
};

} // namespace

CommandPtr MakeWriteCommand()
{
    return std::make_unique<CWriteCommand>();
}

} // namespace movactl
