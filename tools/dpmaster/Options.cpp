#include "tools/dpmaster/Options.h"

#include "tools/common/CommandLine.h"

#include <cstdint>

namespace dpmaster
{

namespace
{

constexpr const char* kFooter =
    "A line \"status\" on standard input prints the status once. Ctrl-C (or SIGTERM) ends the "
    "master: the board then reports its master offline. The bus never waits for the output: "
    "lines it does not take in time are dropped, and their number is said once it takes lines "
    "again.\n"
    "The bus is traced in the session DPMaster<board> (DPMaster1 for board 1), window class "
    "MovaJobWin: 'movatrace' shows its lines, 'movatrace level DPMaster1 1' lets state changes "
    "and diagnoses through, 'movatrace level DPMaster1 200' every telegram as well. "
    "--trace-level starts the session at that level, so that a slave's start-up is traced too.";

dp::teRs485 Rs485Mode(const std::string& strMode)
{
    if (strMode == "on")
        return dp::teRs485::On;
    return strMode == "off" ? dp::teRs485::Off : dp::teRs485::Auto;
}

} // namespace

std::optional<int> ParseOptions(int argc, const char* const* argv, SOptions& options)
{
    CLI::App app{"A PROFIBUS-DP master (class 1) on a serial line with an RS-485 transceiver. It "
                 "serves a board of the board library: every process that opens the board reads "
                 "the slaves' inputs and writes their outputs.",
                 "korix-dpmaster"};
    std::string strRs485 = "auto";
    app.add_option("--board", options.uBoard, "board number to serve, 1-255")
        ->transform(tools::Number(1, 255));
    app.add_option("--port", options.strPort,
                   "serial port, e.g. /dev/ttyUSB0 (a pseudo-terminal works)")
        ->required();
    app.add_option("--bus", options.strBus, "bus file (JSON)")->required();
    app.add_option("--rs485", strRs485, "the kernel's RS-485 mode: auto (where offered), on, off")
        ->check(CLI::IsMember({"auto", "on", "off"}));
    app.add_option("--cycle-us", options.uCycleUs,
                   "shortest bus cycle in microseconds; 0 runs cycles back to back")
        ->transform(tools::Number(0, 1000000));
    app.add_option("--status-every", options.uStatusSeconds,
                   "print the status every so many seconds (0: never)")
        ->transform(tools::Number(0, 86400));
    app.add_option("--trace-level", options.nTraceLevel,
                   "the level the trace session starts with (default 0; 1 state changes, 200 "
                   "every telegram)")
        ->transform(tools::SignedNumber(INT16_MIN, INT16_MAX));
    // Set by "korix-dpmaster service run" (Windows): not for people.
    app.add_flag("--service", options.bService, "run by the service control manager")->group("");
    app.footer(kFooter);
    std::optional<int> nDone = tools::ParseCommandLine(app, argc, argv);
    options.eRs485 = Rs485Mode(strRs485);
    return nDone;
}

} // namespace dpmaster
