// What the simulated boards of a test process leave behind: on POSIX a file in /dev/shm per
// board, which outlives every process that used it; on Windows nothing, because a named file
// mapping goes away with the last handle to it.
#pragma once

#include <string>

namespace testsupport
{

// Removes what boards under the KORIXSIM_PREFIX strPrefix left behind.
void RemoveBoardLeftovers(const std::string& strPrefix);

} // namespace testsupport
