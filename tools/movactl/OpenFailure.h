// Why OpenJob answered -1, when the machine can tell more than the number: -1 is also what a
// protocol object answers that cannot create its numbered trace session.
#pragma once

#include <string>

namespace movactl
{

// A sentence about the board's protocol trace session ("MovaProto<board>") when something
// stands in its way: a file of another user or a broken block under its name, or a live
// session of that name held by another process. Empty when nothing is found.
std::string ExplainSessionObstacle(int nBoard);

} // namespace movactl
