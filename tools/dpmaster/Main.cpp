// korix-dpmaster: a DP master on a serial line that serves a board of the board library, so
// that MovaJob (unchanged) reads and writes real slaves. See docs/dp-master.md.
#include "tools/common/CommandLine.h"
#include "tools/common/StopRequest.h"
#include "tools/dpmaster/BusTraceSession.h"
#include "tools/dpmaster/EventWriter.h"
#include "tools/dpmaster/InputLines.h"
#include "tools/dpmaster/StatusText.h"

#include "dp/files/BusFiles.h"
#include "dp/line/SerialPort.h"
#include "dp/line/SerialPortLock.h"
#include "dp/line/UsbLatency.h"
#include "dp/master/BoardLink.h"
#include "dp/master/DpMaster.h"
#include "dp/master/MasterStatusWriter.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace
{

constexpr const char* kPrefix = "korix-dpmaster: ";

// Whether standard input has brought a "status" line; false once it has ended. One read per
// call, so that a flood of input costs each cycle no more than one small read.
bool StatusAsked(bool& bInputOpen, dpmaster::CInputLines& input, dpmaster::CEventWriter& errors)
{
    if (!bInputOpen)
        return false;
    struct pollfd pfd = {STDIN_FILENO, POLLIN, 0};
    if (::poll(&pfd, 1, 0) <= 0)
        return false;
    char achBuffer[4096];
    ssize_t n = ::read(STDIN_FILENO, achBuffer, sizeof achBuffer);
    if (n <= 0)
    {
        bInputOpen = n < 0 && (errno == EINTR || errno == EAGAIN);
        return false;
    }
    std::vector<std::string> lines;
    input.Add(achBuffer, static_cast<std::size_t>(n), lines);
    if (input.TakeDroppedNotice())
        errors.Post(std::string(kPrefix) + "standard input: a line longer than " +
                    std::to_string(dpmaster::CInputLines::kDefaultMaxLength) +
                    " characters was ignored, and so will be any other (the command is "
                    "\"status\")");
    bool bAsked = false;
    for (const std::string& strLine : lines)
        bAsked = bAsked || strLine == "status";
    return bAsked;
}

int Run(int argc, char** argv)
{
    CLI::App app{"A PROFIBUS-DP master (class 1) on a serial line with an RS-485 transceiver. It "
                 "serves a board of the board library: every process that opens the board reads "
                 "the slaves' inputs and writes their outputs.",
                 "korix-dpmaster"};
    unsigned uBoard = 1;
    std::string strPort, strBus, strRs485 = "auto";
    unsigned uCycleUs = 1000;
    unsigned uStatusSeconds = 0;
    app.add_option("--board", uBoard, "board number to serve, 1-255")
        ->transform(tools::Number(1, 255));
    app.add_option("--port", strPort, "serial port, e.g. /dev/ttyUSB0 (a pseudo-terminal works)")
        ->required();
    app.add_option("--bus", strBus, "bus file (JSON)")->required();
    app.add_option("--rs485", strRs485, "the kernel's RS-485 mode: auto (where offered), on, off")
        ->check(CLI::IsMember({"auto", "on", "off"}));
    app.add_option("--cycle-us", uCycleUs,
                   "shortest bus cycle in microseconds; 0 runs cycles back to back")
        ->transform(tools::Number(0, 1000000));
    app.add_option("--status-every", uStatusSeconds,
                   "print the status every so many seconds (0: never)")
        ->transform(tools::Number(0, 86400));
    app.footer("A line \"status\" on standard input prints the status once. Ctrl-C (or SIGTERM) "
               "ends the master: the board then reports its master offline. The bus never waits "
               "for the output: lines it does not take in time are dropped, and their number is "
               "said once it takes lines again.");
    if (std::optional<int> nDone = tools::ParseCommandLine(app, argc, argv))
        return *nDone;

    // Every line from here on goes through a writer thread: the bus never waits for an output
    // that takes nothing. Declared first, they end last, after the board has been let go.
    dpmaster::CEventWriter output(STDOUT_FILENO, kPrefix, "standard output");
    dpmaster::CEventWriter errors(STDERR_FILENO, kPrefix, "standard error");
    auto say = [](dpmaster::CEventWriter& writer, const std::string& strText)
    { writer.Post(kPrefix + strText); };

    std::string strText, strError;
    dp::SMasterConfig config;
    if (!dp::ReadTextFile(strBus, strText, strError) ||
        !dp::ParseBusFile(strText, config, strError, dp::FolderOf(strBus)))
    {
        say(errors, (strError.rfind(strBus, 0) == 0 ? "" : strBus + ": ") + strError);
        return tools::ExitFailed;
    }
    const dp::teRs485 eRs485 = strRs485 == "on"
                                   ? dp::teRs485::On
                                   : (strRs485 == "off" ? dp::teRs485::Off : dp::teRs485::Auto);
    dp::CSerialPortLock portLock; // released after the port is closed
    dp::CSerialPort port;
    dp::CDpMaster master(port, config);
    master.SetEventHandler([&](const std::string& strEvent) { say(output, strEvent); });
    const auto byBoard = static_cast<std::uint8_t>(uBoard);
    // Shared with the output's writer thread, which words diagnoses into it and may outlive Run.
    const auto pTrace = std::make_shared<dpmaster::CBusTraceSession>(byBoard);
    master.SetTrace(pTrace.get());
    // A stop is heard between any two requests, however long the bus file lets one last.
    master.SetStopCheck([] { return tools::CStopRequest::IsStopRequested(); });
    // Putting a diagnosis into words may take long with a large GSD file: the writer thread
    // does it, so that the bus cycle never waits for it.
    const auto pConfig = std::make_shared<const dp::SMasterConfig>(config);
    master.SetDiagnosisHandler(
        [&](std::size_t nSlave, std::vector<std::uint8_t> abyDiag)
        {
            output.PostDeferred(
                [pConfig, nSlave, pTrace, abyDiag = std::move(abyDiag)]
                {
                    const std::string strText =
                        dp::DiagnosisEventText(pConfig->slaves[nSlave], abyDiag);
                    if (pTrace->Wants(dp::kTraceStates))
                        pTrace->Line(dp::kTraceStates, strText.c_str());
                    return kPrefix + strText;
                });
        });
    dp::CBoardLink link(byBoard, master,
                        "korix-dpmaster: " + strPort + ", " +
                            std::to_string(config.bus.dwBaudRate) + " bit/s");
    link.SetCyclePauseUs(uCycleUs);
    // The board first: a second master for it must not touch the line of the first. Then the
    // port's lock file, before the port is opened, so that nobody else's line is disturbed.
    if (!link.Attach(strError) || !portLock.Take(strPort, strError) ||
        !port.Open(strPort, config.bus.dwBaudRate, eRs485, strError) ||
        !dp::HoldPortExclusively(port.Descriptor(), strPort, strError))
    {
        say(errors, strError);
        return tools::ExitFailed;
    }
    if (!portLock.Warning().empty())
        say(errors, portLock.Warning());
    const std::string strLatency = dp::UsbLatencyAdvice(strPort);
    if (!strLatency.empty())
        say(errors, strLatency);
    std::string strSlaves;
    for (const dp::SSlaveConfig& slave : config.slaves)
        strSlaves += " " + std::to_string(slave.byAddress);
    const dp::SPortFeatures& features = port.Features();
    say(output, "serving board " + std::to_string(uBoard) + " on " + strPort + " at " +
                    std::to_string(features.dwActualBaudRate) + " bit/s (" +
                    (features.bRs485 ? "RS-485 mode" : "no RS-485 mode") +
                    (features.bLowLatency ? ", low latency" : "") + "), slaves" + strSlaves);
    if (!pTrace->IsOpen())
        say(output, "no trace: the session " + pTrace->Name() + " is taken");
    // The status for korixsim show and movactl status; the bus runs without it.
    dp::CMasterStatusWriter status;
    if (!status.Open(byBoard, master, strPort, features.dwActualBaudRate, strError))
        say(output, "no status block: " + strError);

    tools::CStopRequest stop;
    bool bInputOpen = true;
    dpmaster::CInputLines input;
    auto nextStatus = std::chrono::steady_clock::now() + std::chrono::seconds(uStatusSeconds);
    int nStatus = tools::ExitOk;
    while (!tools::CStopRequest::IsStopRequested())
    {
        const auto cycleStart = std::chrono::steady_clock::now();
        if (!link.Exchange(strError))
        {
            say(errors, strError);
            nStatus = tools::ExitFailed;
            break;
        }
        if (!master.RunCycle())
        {
            say(errors, strPort + ": the port failed");
            nStatus = tools::ExitFailed;
            break;
        }
        status.UpdateIfDue(master, static_cast<std::uint64_t>(
                                       std::chrono::duration_cast<std::chrono::milliseconds>(
                                           cycleStart.time_since_epoch())
                                           .count()));
        const bool bPeriodic = uStatusSeconds != 0 && cycleStart >= nextStatus;
        if (StatusAsked(bInputOpen, input, errors) || bPeriodic)
        {
            output.Post(dpmaster::FormatStatus(master, strPort));
            if (bPeriodic)
                nextStatus = cycleStart + std::chrono::seconds(uStatusSeconds);
        }
        std::this_thread::sleep_until(cycleStart + std::chrono::microseconds(uCycleUs));
    }
    status.End(master);
    link.Detach();
    dp::ReleasePortExclusively(port.Descriptor());
    return nStatus;
}

} // namespace

int main(int argc, char** argv)
{
    return tools::RunGuarded("korix-dpmaster", [&] { return Run(argc, argv); });
}
