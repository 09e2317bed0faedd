// Every movactl command, in the order movactl --help lists them.
#pragma once

#include "tools/movactl/Command.h"

#include <vector>

namespace movactl
{

std::vector<CommandPtr> MakeCommands();

} // namespace movactl
