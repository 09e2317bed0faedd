// The commands korix-dpslave takes on its standard input while it runs, one per line, so that
// tests and people can put faults in: each answers with one line, "ok ..." or "error: ...".
#pragma once

#include "dp/slave/SlaveResponder.h"

#include <string>

namespace dpslave
{

// Carries out one line; returns the answer line (without its line end).
std::string RunCommandLine(const std::string& strLine, dp::CSlaveResponder& responder);

// The text of korix-dpslave --help's command section.
const char* CommandHelp();

} // namespace dpslave
