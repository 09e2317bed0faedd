// korix-dpmaster as a Windows service, so that a bus is served from the machine's start:
//   korix-dpmaster service install --board 1 --port COM3 --bus C:\bus\bus.json
//   korix-dpmaster service remove --board 1
//   korix-dpmaster service run ...   (what the service control manager starts)
// On Linux the systemd unit korix-dpmaster@.service does this (docs/dp-master.md).
#pragma once

#include <functional>

namespace dpmaster
{

// argv[1] is "service". runMaster runs the master with a command line of the master's own
// (argv[0] and the options) and returns its exit code.
int RunServiceCommand(int argc, char** argv,
                      const std::function<int(int argc, char** argv)>& runMaster);

} // namespace dpmaster
