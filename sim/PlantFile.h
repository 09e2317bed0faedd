// Plants described in JSON (docs/simulated-board.md, "Plant files"). A plant that breaks a
// rule is refused as a whole, with the place and the problem named.
#pragma once

#include "sim/SharedBoardLayout.h"

#include <string>

namespace korix
{

// Fills the plant's master mode and slaves from strText (epoch and source are the caller's).
// On failure returns false, leaves plant untouched and sets strError to "<place>: <problem>",
// e.g. "slaves[2].generators[0].offset: beyond the input length 8", or for text that is not
// JSON, "line 3, column 7: <what the parser saw>".
bool ParsePlant(const std::string& strText, SPlant& plant, std::string& strError);

} // namespace korix
