// korix-dpmaster scan's command line, apart so that the tests parse it in-process.
#pragma once

#include "dp/line/SerialPort.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dpmaster
{

struct SScanOptions
{
    std::string strPort;
    std::uint32_t dwBaudRate = 0; // 0: --baud auto
    unsigned uAddress = 0;        // the scanner's own station address
    unsigned uHighestAddress = 126;
    std::string strGsdDir;
    std::string strWriteBus;
    bool bForce = false;
    dp::teRs485 eRs485 = dp::teRs485::Auto;
    unsigned uResponseAllowanceUs = 5000;
};

// argv[0] is "scan". The exit code when the command is done already (its help printed, or a
// usage error said); nothing when the scan is to run.
std::optional<int> ParseScanOptions(int argc, const char* const* argv, SScanOptions& options);

} // namespace dpmaster
