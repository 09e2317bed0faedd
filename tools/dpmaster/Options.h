// korix-dpmaster's command line: which board it serves, on which port, from which bus file,
// and how it runs. Apart from the master, so that the tests parse it in-process.
#pragma once

#include "dp/line/SerialPort.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dpmaster
{

struct SOptions
{
    unsigned uBoard = 1;
    std::string strPort;
    std::string strBus;
    dp::teRs485 eRs485 = dp::teRs485::Auto;
    unsigned uCycleUs = 1000;
    unsigned uStatusSeconds = 0;
    // The level the trace session starts with: a slave's start-up telegrams pass before anybody
    // could raise it with movatrace.
    int nTraceLevel = 0;
    // Listen only (a passive monitor): never send, serve what the bus's own master exchanges.
    bool bListen = false;
    // The bus's rate when listening without a bus file; 0: the bus file's.
    unsigned uBaud = 0;
    // Run by the Windows service control manager (korix-dpmaster.exe service run).
    bool bService = false;
};

// Parses argv into options. Returns the exit code when the tool is done already (its help
// printed, or a usage error said); nothing when the master is to run.
std::optional<int> ParseOptions(int argc, const char* const* argv, SOptions& options);

} // namespace dpmaster
