// What movactl status prints: the DP master's status, from its status block.
#pragma once

#include "tools/movactl/Command.h"

namespace movactl
{

// Returns the process's exit code (ExitOk only for a running master's status).
int RunStatus(const SArguments& args);

} // namespace movactl
