#include "tools/movactl/MasterServes.h"

#include "dp/status/MasterStatusReader.h"

namespace movactl
{

bool DpMasterServes(std::int32_t nBoard)
{
    if (nBoard < 1 || nBoard > 255)
        return false;
    return dp::ReadMasterStatus(static_cast<std::uint8_t>(nBoard)).eStatus ==
           dp::teMasterStatus::Live;
}

} // namespace movactl
