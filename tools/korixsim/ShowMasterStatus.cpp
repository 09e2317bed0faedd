#include "tools/korixsim/ShowMasterStatus.h"

#include "dp/status/MasterStatusText.h"

namespace korixsim
{

std::string FormatMasterStatusSection(std::uint8_t byBoard)
{
    const dp::SMasterStatus status = dp::ReadMasterStatus(byBoard);
    // A board no master has served is a simulated board: korixsim has said all about it.
    if (status.eStatus == dp::teMasterStatus::None)
        return {};
    return dp::FormatMasterStatus(status);
}

} // namespace korixsim
