// The command line of tracedemo.
#pragma once

#include <cstdio>
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
    bool bHelp = false;
};

// false with the reason in strError when argv does not make sense.
bool ParseDemoOptions(int argc, const char* const* argv, SDemoOptions& options,
                      std::string& strError);

void PrintDemoUsage(std::FILE* pOut);

} // namespace tracedemo
