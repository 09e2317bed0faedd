// movactl's commands, one file each; each returns the process's exit code.
#pragma once

#include "tools/movactl/Arguments.h"

namespace movactl
{

int RunDemo(const SArguments& args);
int RunTest(const SArguments& args);
int RunRead(const SArguments& args);
int RunWrite(const SArguments& args);
int RunWatch(const SArguments& args);
int RunScan(const SArguments& args);
// The DP master's status; Linux only (posix/ and win32/StatusCommand.cpp).
int RunStatus(const SArguments& args);

} // namespace movactl
