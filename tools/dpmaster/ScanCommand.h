// korix-dpmaster scan: finds what is on a bus (dp/scan/), prints it, and writes the bus file
// that brings the bus up as found. See docs/dp-master.md, "Finding what is on a bus".
#pragma once

namespace dpmaster
{

// Exit code when the bus has an active master whose ring did not take the scanner in: nothing
// of the scan was sent.
inline constexpr int kExitLiveBus = 3;

// argv[0] is "scan".
int RunScanCommand(int argc, const char* const* argv);

} // namespace dpmaster
