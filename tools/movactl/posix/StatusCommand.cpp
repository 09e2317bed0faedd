// movactl status: what korix-dpmaster publishes for the board, read from its status block
// without the library (the block is the master's, not the board's).
#include "tools/movactl/StatusCommand.h"

#include "dp/status/MasterStatusText.h"

#include <cstdio>

namespace movactl
{

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
