// A board's master status for people, as korixsim show and movactl status print it: a running
// master's bus, cycle times, counters and slaves; of a gone master only since when it is gone.
#pragma once

#include "dp/status/MasterStatusReader.h"

#include <cstdint>
#include <string>

namespace dp
{

// The status read, in lines. Gone masters show no bus and no slaves: nothing of them is live;
// nor does a block whose process does not serve the board.
std::string FormatMasterStatus(const SMasterStatus& status);

// "0.4 s", "12 s", "3 min 4 s", "2 h 5 min", "3 d 4 h".
std::string AgeText(std::uint64_t qwMs);

// A live master's status this old (ms) says that the master is stuck: it updates between bus
// cycles, so no sooner than after the cycle's bound.
std::uint64_t StaleAfterMs(const SStatusHeader& header);

} // namespace dp
