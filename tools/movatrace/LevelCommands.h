// movatrace level and movatrace sessions: reading and changing the level of live trace
// sessions of other processes.
#pragma once

#include "tools/movatrace/Arguments.h"

namespace movatrace
{

int RunLevel(const SArguments& args);
int RunSessions();

} // namespace movatrace
