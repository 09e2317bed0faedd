#include "tools/movactl/StatusCommand.h"

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
        "library. Exit status 1 unless a running master's status was shown. Linux only.",
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

} // namespace movactl
