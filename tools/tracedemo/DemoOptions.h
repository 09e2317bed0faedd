// The command line of tracedemo.
#pragma once

#include <optional>
#include <string>

namespace tracedemo
{

struct SDemoOptions
{
    std::string strName = "TraceDemo";
    std::string strClass = "TraceWindow";
    int nLevel = 0;            // the session's initial level
    int nStampMode = 0;        // teTimeStampMode, or 3 for none
    unsigned long nRounds = 0; // 0: until interrupted
    unsigned long nIntervalMs = 1000;
};

// Fills options from argv. Returns the exit code when the tool is done already (help printed,
// or a usage error reported on standard error); nothing when the demo is to run.
std::optional<int> ParseDemoOptions(int argc, const char* const* argv, SDemoOptions& options);

} // namespace tracedemo
