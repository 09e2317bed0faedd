#include "tools/movactl/BoardSession.h"
#include "tools/movactl/Command.h"
#include "tools/movactl/MasterProbe.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/TextTable.h"
#include "tools/movactl/Transfers.h"

#include <cstdio>

namespace movactl
{

namespace
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
    // The slave states come from the board, which reports them whatever the master's mode: a
    // slave "exchanging data" says nothing of a master that is offline. So scan asks what
    // test asks, and says it as test does.
    std::vector<SJobParam> aRecords;
    if (!TestConnections(session, aRecords))
        return ExitFailed;
    SMasterState master = ProbeMaster(session, aRecords);
    if (!args.bQuiet)
    {
        std::fputs(table.Format().c_str(), stdout);
        std::printf("master: %s\n", master.strText.c_str());
    }
    else if (!master.bOperational)
    {
        std::fflush(stdout); // the addresses first, as they were found
        std::fprintf(stderr, "movactl: master: %s\n", master.strText.c_str());
    }
    return master.bOperational ? ExitOk : ExitFailed;
}

const SCommandText kText = {
    .pszName = "scan",
    .pszDescription =
        "Lists every slave the board knows: its address, input and output lengths, and its\n"
        "status in words; then says whether the master is operational, as test does. With\n"
        "--quiet, only the addresses, one per line. Exit status 1 unless the master operates.",
};

class CScanCommand final : public CCommand
{
public:
    CScanCommand() : CCommand(kText) {}

    // No --slaves: scan configures every address, so that open learns every slave there is.
    void AddOptions(CLI::App& command, CCommonOptions& common) override
    {
        common.AddQuiet(command, "addresses only, one per line");
    }

    int Run(const SArguments& args) override { return RunScan(args); }
};

} // namespace

CommandPtr MakeScanCommand()
{
    return std::make_unique<CScanCommand>();
}

} // namespace movactl
