#include "tools/movactl/Command.h"
#include "tools/movactl/MasterProbe.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"

#include <cstdio>

namespace movactl
{

namespace
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

const SCommandText kText = {
    .pszName = "test",
    .pszDescription =
        "Tests the connection of every slave (the board's, or --slaves) in one batch and prints\n"
        "each slave's image lengths (learned at open), its status number and the result in\n"
        "words; then reads one connected slave to learn whether the master is operational.\n"
        "Exit status 1 unless every slave is connected and the master operational.",
};

class CTestCommand final : public CCommand
{
public:
    CTestCommand() : CCommand(kText) {}

    void AddOptions(CLI::App& command, CCommonOptions& common) override
    {
        common.AddSlaves(command);
        common.AddQuiet(command, "no table");
    }

    int Run(const SArguments& args) override { return RunTest(args); }
};

} // namespace

CommandPtr MakeTestCommand()
{
    return std::make_unique<CTestCommand>();
}

} // namespace movactl
