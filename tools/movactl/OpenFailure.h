// Why OpenJob failed, when the machine can tell more than the number: -1 is also what a
// protocol object answers that cannot create its numbered trace session, and board error 0x8F
// (-16) is also what the simulated board answers when KORIXSIM_PREFIX cannot name a board.
#pragma once

#include <cstdint>
#include <string>

namespace movactl
{

// A sentence about what stands in the way, or empty when nothing is found:
// for -1, the board's protocol trace session ("MovaProto<board>"): a file of another user or a
// broken block under its name, or a live session of that name held by another process;
// for -16, an unusable KORIXSIM_PREFIX.
std::string ExplainOpenFailure(int nBoard, std::int32_t lResult);

} // namespace movactl
