// korix-dpslave: DP slaves on a serial port or a pseudo-terminal, for tests and for people
// without hardware. See docs/dp-master.md.
#include "tools/common/CommandLine.h"
#include "tools/common/StopRequest.h"
#include "tools/dpmaster/StandardStreams.h"
#include "tools/dpslave/SlaveCommands.h"

#include "dp/files/BusFiles.h"
#include "dp/line/SerialPort.h"
#include "dp/slave/SlaveFile.h"
#include "dp/slave/SlaveResponder.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace
{

// Lines from standard input without blocking; false once it has ended.
bool ReadCommandLines(std::string& strPending, std::vector<std::string>& lines)
{
    char achBuffer[1024];
    const long n = dpmaster::ReadStandardInputNow(achBuffer, sizeof achBuffer);
    if (n <= 0)
        return n == 0;
    strPending.append(achBuffer, static_cast<std::size_t>(n));
    std::size_t nEnd = 0;
    while ((nEnd = strPending.find('\n')) != std::string::npos)
    {
        lines.push_back(strPending.substr(0, nEnd));
        strPending.erase(0, nEnd + 1);
    }
    return true;
}

int Run(int argc, char** argv)
{
    CLI::App app{"DP slaves on a serial line (RS-485) or a pseudo-terminal, for tests and for "
                 "people without hardware.",
                 "korix-dpslave"};
    std::string strPort;
    bool bPty = false;
    std::string strSlaves;
    std::uint32_t dwBaud = 1500000;
    auto* pPort = app.add_option("--port", strPort, "serial port (or pseudo-terminal) to serve");
    auto* pPty = app.add_flag("--pty", bPty,
                              "make a pseudo-terminal pair and serve one end; the first line "
                              "printed names the other end, for the master");
    pPort->excludes(pPty);
    app.add_option("--slaves", strSlaves, "slave file (JSON)")->required();
    app.add_option("--baud", dwBaud, "baud rate")->transform(tools::Number(1200, 12000000));
    app.footer(dpslave::CommandHelp());
    if (std::optional<int> nDone = tools::ParseCommandLine(app, argc, argv))
        return *nDone;
    if (strPort.empty() && !bPty)
    {
        std::fprintf(stderr, "korix-dpslave: --port or --pty is required\nTry 'korix-dpslave "
                             "--help'.\n");
        return tools::ExitUsage;
    }

    std::string strText, strError;
    std::vector<dp::SSlaveDefinition> definitions;
    if (!dp::ReadTextFile(strSlaves, strText, strError) ||
        !dp::ParseSlaveFile(strText, definitions, strError))
    {
        std::fprintf(stderr, "korix-dpslave: %s%s\n",
                     strError.rfind(strSlaves, 0) == 0 ? "" : (strSlaves + ": ").c_str(),
                     strError.c_str());
        return tools::ExitFailed;
    }
    dp::CSerialPort port;
    std::string strPeer = strPort;
    bool bOpened = bPty ? port.OpenPseudoTerminal(dwBaud, strPeer, strError)
                        : port.Open(strPort, dwBaud, dp::teRs485::Auto, strError);
    if (!bOpened)
    {
        std::fprintf(stderr, "korix-dpslave: %s\n", strError.c_str());
        return tools::ExitFailed;
    }
    std::vector<dp::CSimulatedSlave> slaves;
    std::string strAddresses;
    for (const dp::SSlaveDefinition& definition : definitions)
    {
        slaves.emplace_back(definition);
        strAddresses += " " + std::to_string(definition.byAddress);
    }
    dp::CSlaveResponder responder(port, slaves, dwBaud);
    std::printf("korix-dpslave: slaves%s on %s\n", strAddresses.c_str(), strPeer.c_str());
    std::fflush(stdout);

    tools::CStopRequest stop;
    bool bInput = true;
    std::string strPending;
    std::vector<std::string> lines;
    while (!tools::CStopRequest::IsStopRequested())
    {
        if (!responder.Serve(2000000))
        {
            std::fprintf(stderr, "korix-dpslave: %s: the port failed\n", strPeer.c_str());
            return tools::ExitFailed;
        }
        if (bInput)
            bInput = ReadCommandLines(strPending, lines);
        for (const std::string& strLine : lines)
            std::printf("%s\n", dpslave::RunCommandLine(strLine, responder).c_str());
        if (!lines.empty())
            std::fflush(stdout);
        lines.clear();
    }
    return tools::ExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    return tools::RunGuarded("korix-dpslave", [&] { return Run(argc, argv); });
}
