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
    "--trace-level starts the session at that level, so that a slave's start-up is traced too.\n"
    "With --listen it is a passive monitor: it never writes a byte to the port (it opens it "
    "read-only and leaves its RS-485 mode alone, so the transmitter is never enabled), decodes "
    "every telegram of the bus's own master and its slaves and serves the board read-only: a "
    "slave's outputs are its master's Data_Exchange request, its inputs the slave's answer, taken "
    "only when that answer plainly belongs to that request; a host's write is refused. The "
    "slaves come from the bus file when one is given, else they are learnt from their Chk_Cfg "
    "or their data (--baud then names the rate). A slave is shown exchanging while its "
    "exchanges keep coming; after 3 of its master's cycles without one (at least 10 ms, at most "
    "2 s) it is not, and reads 0. The status shows the stations seen, each slave's exchange "
    "rate and the line's health per station.\n"
    "'korix-dpmaster scan --help': finding what is on a bus.";

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
                 "the slaves' inputs and writes their outputs. With --listen it is a passive "
                 "monitor of a bus "
                 "that another master runs: it never sends, and serves the board read-only.",
                 "korix-dpmaster"};
    std::string strRs485 = "auto";
    app.add_option("--board", options.uBoard, "board number to serve, 1-255")
        ->transform(tools::Number(1, 255));
    app.add_option("--port", options.strPort,
                   "serial port, e.g. /dev/ttyUSB0 (a pseudo-terminal works)")
        ->required();
    app.add_option("--bus", options.strBus,
                   "bus file (JSON); required unless --listen, which takes it optionally");
    app.add_flag("--listen", options.bListen,
                 "listen only: a passive monitor that never sends and serves the board "
                 "read-only with what the bus's own master and slaves exchange");
    app.add_option("--baud", options.uBaud,
                   "with --listen and no bus file: the bus's rate in bit/s")
        ->transform(tools::Number(1, 12000000));
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
    // Which of --bus and --baud are needed depends on --listen: said as any usage error.
    app.final_callback(
        [&options]
        {
            if (!options.bListen && options.strBus.empty())
                throw CLI::RequiredError("--bus");
            if (!options.bListen && options.uBaud != 0)
                throw CLI::ValidationError("--baud", "only with --listen (a master takes the "
                                                     "bus file's rate)");
            if (options.bListen && options.strBus.empty() && options.uBaud == 0)
                throw CLI::ValidationError("--listen",
                                           "needs a bus file (--bus) or the bus's rate (--baud)");
            if (options.bListen && !options.strBus.empty() && options.uBaud != 0)
                throw CLI::ValidationError("--baud", "the bus file names the rate already");
        });
    std::optional<int> nDone = tools::ParseCommandLine(app, argc, argv);
    options.eRs485 = Rs485Mode(strRs485);
    return nDone;
}

} // namespace dpmaster
