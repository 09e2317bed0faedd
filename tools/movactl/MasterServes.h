// Whether a DP master serves a board: what the demo's last line names as the source of its
// values. Read from the master's status block where the master runs (posix/); elsewhere no
// master serves one (win32/).
#pragma once

#include <cstdint>

namespace movactl
{

// True while korix-dpmaster serves the board and keeps its status block.
bool DpMasterServes(std::int32_t nBoard);

} // namespace movactl
