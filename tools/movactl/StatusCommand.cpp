#include "tools/movactl/StatusCommand.h"

#include "dp/status/MasterStatusText.h"

#include <cstdio>

namespace movactl
{

namespace
{

const SCommandText kText = {
    .pszName = "status",
    .pszDescription =
        "Prints the status korix-dpmaster publishes for the board it serves: the bus, the cycle\n"
        "times, the line's counters, and per slave its state and why, its counters and its last\n"
        "diagnosis in hex and in words. Of a master that has ended, only since when. Needs no\n"
        "library. Exit status 1 unless a running master's status was shown.",
};

// The status block is the master's, not the board's: no slaves, no library.
class CStatusCommand final : public CCommand
{
public:
    CStatusCommand() : CCommand(kText) {}

    void AddOptions(CLI::App&, CCommonOptions&) override {}

    int Run(const SArguments& args) override { return RunStatus(args); }
};

} // namespace

CommandPtr MakeStatusCommand()
{
    return std::make_unique<CStatusCommand>();
}

// Read from the master's status block without the library (the block is the master's, not the
// board's).
int RunStatus(const SArguments& args)
{
    const dp::SMasterStatus status = dp::ReadMasterStatus(static_cast<std::uint8_t>(args.nBoard));
    switch (status.eStatus)
    {
    case dp::teMasterStatus::Live:
        std::fputs(dp::FormatMasterStatus(status).c_str(), stdout);
        return ExitOk;
    case dp::teMasterStatus::Gone:
        std::fputs(dp::FormatMasterStatus(status).c_str(), stdout);
        return ExitFailed;
    case dp::teMasterStatus::None:
        std::fprintf(stderr, "movactl: %s (no status block %s)\n", status.strWhy.c_str(),
                     status.strName.c_str());
        return ExitFailed;
    case dp::teMasterStatus::Refused:
        std::fprintf(stderr, "movactl: the DP master's status cannot be read: %s\n",
                     status.strWhy.c_str());
        return ExitFailed;
    case dp::teMasterStatus::Changing:
        std::fprintf(stderr, "movactl: %s; try again\n", status.strWhy.c_str());
        return ExitFailed;
    }
    return ExitFailed;
}

} // namespace movactl
