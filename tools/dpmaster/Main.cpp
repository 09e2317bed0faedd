// korix-dpmaster: a DP master on a serial line that serves a board of the board library, so
// that MovaJob (unchanged) reads and writes real slaves. See docs/dp-master.md.
#include "tools/common/CommandLine.h"
#include "tools/common/StopRequest.h"
#include "tools/dpmaster/BusTraceSession.h"
#include "tools/dpmaster/StatusText.h"

#include "dp/BoardLink.h"
#include "dp/BusFiles.h"
#include "dp/DpMaster.h"
#include "dp/MasterStatusWriter.h"
#include "dp/SerialPort.h"
#include "dp/SerialPortLock.h"
#include "dp/UsbLatency.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

namespace
{

// Whether standard input has brought a "status" line; false once it has ended.
bool StatusAsked(bool& bInputOpen, std::string& strPending)
{
    if (!bInputOpen)
        return false;
    struct pollfd pfd = {STDIN_FILENO, POLLIN, 0};
    if (::poll(&pfd, 1, 0) <= 0)
        return false;
    char achBuffer[256];
    ssize_t n = ::read(STDIN_FILENO, achBuffer, sizeof achBuffer);
    if (n <= 0)
    {
        bInputOpen = false;
        return false;
    }
    strPending.append(achBuffer, static_cast<std::size_t>(n));
    bool bAsked = false;
    std::size_t nEnd = 0;
    while ((nEnd = strPending.find('\n')) != std::string::npos)
    {
        bAsked = bAsked || strPending.compare(0, nEnd, "status") == 0;
        strPending.erase(0, nEnd + 1);
    }
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
               "ends the master: the board then reports its master offline.");
    if (std::optional<int> nDone = tools::ParseCommandLine(app, argc, argv))
        return *nDone;

    std::string strText, strError;
    dp::SMasterConfig config;
    if (!dp::ReadTextFile(strBus, strText, strError) ||
        !dp::ParseBusFile(strText, config, strError, dp::FolderOf(strBus)))
    {
        std::fprintf(stderr, "korix-dpmaster: %s%s\n",
                     strError.rfind(strBus, 0) == 0 ? "" : (strBus + ": ").c_str(),
                     strError.c_str());
        return tools::ExitFailed;
    }
    const dp::teRs485 eRs485 = strRs485 == "on"
                                   ? dp::teRs485::On
                                   : (strRs485 == "off" ? dp::teRs485::Off : dp::teRs485::Auto);
    dp::CSerialPortLock portLock; // released after the port is closed
    dp::CSerialPort port;
    dp::CDpMaster master(port, config);
    master.SetEventHandler(
        [](const std::string& strEvent)
        {
            std::printf("korix-dpmaster: %s\n", strEvent.c_str());
            std::fflush(stdout);
        });
    const auto byBoard = static_cast<std::uint8_t>(uBoard);
    dpmaster::CBusTraceSession trace(byBoard);
    master.SetTrace(&trace);
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
        std::fprintf(stderr, "korix-dpmaster: %s\n", strError.c_str());
        return tools::ExitFailed;
    }
    if (!portLock.Warning().empty())
        std::fprintf(stderr, "korix-dpmaster: %s\n", portLock.Warning().c_str());
    const std::string strLatency = dp::UsbLatencyAdvice(strPort);
    if (!strLatency.empty())
        std::fprintf(stderr, "korix-dpmaster: %s\n", strLatency.c_str());
    std::string strSlaves;
    for (const dp::SSlaveConfig& slave : config.slaves)
        strSlaves += " " + std::to_string(slave.byAddress);
    const dp::SPortFeatures& features = port.Features();
    std::printf("korix-dpmaster: serving board %u on %s at %u bit/s (%s%s), slaves%s\n", uBoard,
                strPort.c_str(), features.dwActualBaudRate,
                features.bRs485 ? "RS-485 mode" : "no RS-485 mode",
                features.bLowLatency ? ", low latency" : "", strSlaves.c_str());
    if (!trace.IsOpen())
        std::printf("korix-dpmaster: no trace: the session %s is taken\n", trace.Name().c_str());
    // The status for korixsim show and movactl status; the bus runs without it.
    dp::CMasterStatusWriter status;
    if (!status.Open(byBoard, master, strPort, features.dwActualBaudRate, strError))
        std::printf("korix-dpmaster: no status block: %s\n", strError.c_str());
    std::fflush(stdout);

    tools::CStopRequest stop;
    bool bInputOpen = true;
    std::string strPending;
    auto nextStatus = std::chrono::steady_clock::now() + std::chrono::seconds(uStatusSeconds);
    int nStatus = tools::ExitOk;
    while (!tools::CStopRequest::IsStopRequested())
    {
        const auto cycleStart = std::chrono::steady_clock::now();
        if (!link.Exchange(strError))
        {
            std::fprintf(stderr, "korix-dpmaster: %s\n", strError.c_str());
            nStatus = tools::ExitFailed;
            break;
        }
        if (!master.RunCycle())
        {
            std::fprintf(stderr, "korix-dpmaster: %s: the port failed\n", strPort.c_str());
            nStatus = tools::ExitFailed;
            break;
        }
        status.UpdateIfDue(master, static_cast<std::uint64_t>(
                                       std::chrono::duration_cast<std::chrono::milliseconds>(
                                           cycleStart.time_since_epoch())
                                           .count()));
        const bool bPeriodic = uStatusSeconds != 0 && cycleStart >= nextStatus;
        if (StatusAsked(bInputOpen, strPending) || bPeriodic)
        {
            std::fputs(dpmaster::FormatStatus(master, strPort).c_str(), stdout);
            std::fflush(stdout);
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
