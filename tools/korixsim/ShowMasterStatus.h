// The DP master's part of korixsim show: the status korix-dpmaster publishes for a board it
// serves, or since when it is gone. posix/ reads the status block; on Windows no master runs,
// so win32/ has nothing to add.
#pragma once

#include <cstdint>
#include <string>

namespace korixsim
{

// The section's lines; empty when no master has served the board.
std::string FormatMasterStatusSection(std::uint8_t byBoard);

} // namespace korixsim
