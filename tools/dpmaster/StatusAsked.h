// The one command korix-dpmaster takes on standard input while it runs: "status".
#pragma once

#include "tools/dpmaster/EventWriter.h"
#include "tools/dpmaster/InputLines.h"

namespace dpmaster
{

// Whether standard input has brought a "status" line; false once it has ended. One read per
// call, so that a flood of input costs each turn of the bus no more than one small read.
bool StatusAsked(bool& bInputOpen, CInputLines& input, CEventWriter& errors);

// Whether the run should end: Ctrl-C, SIGTERM, or the system's end (a console closed, a
// shutdown, the service manager's stop on Windows).
bool StopRequested();

} // namespace dpmaster
