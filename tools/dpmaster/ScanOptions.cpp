#include "tools/dpmaster/ScanOptions.h"

#include "tools/common/CommandLine.h"

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/Telegram.h"

#include <vector>

namespace dpmaster
{

namespace
{

constexpr const char* kFooter =
    "It listens first for the time-out TTO (6 + 2 x ADDRESS slot times): on a silent line it "
    "scans as the bus's only master, one pass over every address up to --highest-address "
    "(Request FDL Status; each slave then Slave_Diag and Get_Cfg), and prints one line per "
    "station. On a line where a ring of masters runs it joins the ring as a station of its "
    "own (give the ring's HSA as --highest-address and an address no station has), sends a few "
    "requests each time it holds the token, and leaves the ring after the pass.\n"
    "Exit codes: 0 the pass is done; 1 the port, the line, the GSD folder or the bus file "
    "failed (said in words); 2 the command line was wrong; 3 the bus has an active master whose "
    "ring did not take the scanner in: nothing of the scan was sent.";

std::string RateList()
{
    std::string strRates;
    for (const std::uint32_t dwRate : dp::kStandardBaudRates)
        strRates += (strRates.empty() ? "" : ", ") + std::to_string(dwRate);
    return strRates;
}

} // namespace

std::optional<int> ParseScanOptions(int argc, const char* const* argv, SScanOptions& options)
{
    CLI::App app{"Finds what is on a PROFIBUS-DP bus: each station's type, each slave's ident, "
                 "owning master, state and configuration; with --gsd-dir each slave's GSD file "
                 "and modules; with --write-bus a bus file that brings the bus up as found.",
                 "korix-dpmaster scan"};
    std::string strBaud, strRs485 = "auto";
    app.add_option("--port", options.strPort,
                   "serial port, e.g. /dev/ttyUSB0 (a pseudo-terminal works)")
        ->required();
    app.add_option("--baud", strBaud,
                   "the bus's rate in bit/s (" + RateList() +
                       "), or auto: listen at each standard rate for valid telegrams")
        ->required()
        ->check(
            [](const std::string& strText) -> std::string
            {
                if (strText == "auto")
                    return {};
                for (const std::uint32_t dwRate : dp::kStandardBaudRates)
                    if (strText == std::to_string(dwRate))
                        return {};
                return "not a standard rate: " + RateList() + " or auto";
            });
    app.add_option("--address", options.uAddress,
                   "the scanner's own station address, 0-" +
                       std::to_string(dp::kMaxStationAddress) +
                       " (default 0); pick one no station has: it is not asked")
        ->transform(tools::Number(0, dp::kMaxStationAddress));
    app.add_option("--highest-address", options.uHighestAddress,
                   "the highest station address asked (HSA), default 126")
        ->transform(tools::Number(0, 126));
    app.add_option("--gsd-dir", options.strGsdDir,
                   "a folder of GSD files: each slave's file by its ident, and its modules");
    app.add_option("--write-bus", options.strWriteBus,
                   "write a bus file (JSON) that brings the bus up as found");
    app.add_flag("--force", options.bForce, "let --write-bus overwrite an existing file");
    app.add_option("--rs485", strRs485, "the kernel's RS-485 mode: auto (where offered), on, off")
        ->check(CLI::IsMember({"auto", "on", "off"}));
    app.add_option("--response-allowance-us", options.uResponseAllowanceUs,
                   "what the system and adapter add before an answer's first byte, default "
                   "5000 (USB adapters: about 1000; a pseudo-terminal: scheduling)")
        ->transform(tools::Number(0, 10000000));
    app.footer(kFooter);
    std::vector<const char*> args(argv, argv + argc);
    std::optional<int> nDone =
        tools::ParseCommandLine(app, static_cast<int>(args.size()), args.data());
    if (!nDone)
    {
        options.dwBaudRate =
            strBaud == "auto" ? 0 : static_cast<std::uint32_t>(std::stoul(strBaud));
        options.eRs485 = strRs485 == "on"    ? dp::teRs485::On
                         : strRs485 == "off" ? dp::teRs485::Off
                                             : dp::teRs485::Auto;
    }
    return nDone;
}

} // namespace dpmaster
