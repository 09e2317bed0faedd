#include "tests/support/BoardLeftovers.h"

namespace testsupport
{

// The system removes a board's named mapping and mutex with the last handle to them, so a
// test process leaves nothing behind once it and its children have ended.
void RemoveBoardLeftovers(const std::string&) {}

} // namespace testsupport
