#include "tools/korixsim/ShowMasterStatus.h"

namespace korixsim
{

// korix-dpmaster runs on Linux only.
std::string FormatMasterStatusSection(std::uint8_t)
{
    return {};
}

} // namespace korixsim
