// movatrace without a command: the trace window itself.
#pragma once

#include "tools/movatrace/Arguments.h"

namespace movatrace
{

// Serves the classes of args until a stop request (tools/common/StopRequest.h); returns the
// exit code.
int RunWindow(const SArguments& args);

} // namespace movatrace
