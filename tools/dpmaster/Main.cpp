// korix-dpmaster: a DP master on a serial line that serves a board of the board library, so
// that MovaJob (unchanged) reads and writes real slaves. See docs/dp-master.md.
#include "tools/common/CommandLine.h"
#include "tools/dpmaster/EventWriter.h"
#include "tools/dpmaster/ListenedBoard.h"
#include "tools/dpmaster/Options.h"
#include "tools/dpmaster/ScanCommand.h"
#include "tools/dpmaster/ServedBoard.h"
#include "tools/dpmaster/Service.h"

#include "dp/files/BusFiles.h"

#include <cstring>
#include <optional>
#include <string>

namespace
{

constexpr const char* kPrefix = "korix-dpmaster: ";

// The bus file into config; false, said on errors with the file's name in front, when it
// cannot be read or breaks a rule.
bool ReadBusFile(const std::string& strBus, dp::SMasterConfig& config,
                 dpmaster::CEventWriter& errors)
{
    std::string strText, strError;
    if (dp::ReadTextFile(strBus, strText, strError) &&
        dp::ParseBusFile(strText, config, strError, dp::FolderOf(strBus)))
        return true;
    errors.Post(kPrefix + (strError.rfind(strBus, 0) == 0 ? "" : strBus + ": ") + strError);
    return false;
}

// A passive monitor: the bus file's slaves and timing, or the rate alone (slaves learnt).
int Listen(const dpmaster::SOptions& options, dpmaster::CEventWriter& output,
           dpmaster::CEventWriter& errors)
{
    dp::SMonitorConfig monitor;
    monitor.qwTurnNs = dpmaster::kListenTurnNs;
    if (!options.strBus.empty())
    {
        dp::SMasterConfig config;
        if (!ReadBusFile(options.strBus, config, errors))
            return tools::ExitFailed;
        monitor.bus = config.bus;
        monitor.dwResponseAllowanceUs = config.dwResponseAllowanceUs;
        monitor.slaves = config.slaves;
        monitor.bFromBusFile = true;
    }
    else if (!dp::DefaultBusParameters(options.uBaud, monitor.bus))
    {
        errors.Post(std::string(kPrefix) + "--baud " + std::to_string(options.uBaud) +
                    ": no bus parameters for that rate");
        return tools::ExitFailed;
    }
    dpmaster::CListenedBoard board(options, monitor, output, errors);
    if (!board.Open())
        return tools::ExitFailed;
    board.Announce();
    return board.Run();
}

int Run(int argc, char** argv)
{
    // A command of its own, with its own options and help: it serves no board.
    if (argc > 1 && std::strcmp(argv[1], "scan") == 0)
        return dpmaster::RunScanCommand(argc - 1, argv + 1);
    dpmaster::SOptions options;
    if (std::optional<int> nDone = dpmaster::ParseOptions(argc, argv, options))
        return *nDone;

    // Every line from here on goes through a writer thread: the bus never waits for an output
    // that takes nothing. Declared first, they end last, after the board has been let go.
    dpmaster::CEventWriter output(1, kPrefix, "standard output");
    dpmaster::CEventWriter errors(2, kPrefix, "standard error");
    dp::SMasterConfig config;
    if (options.bListen)
        return Listen(options, output, errors);
    if (!ReadBusFile(options.strBus, config, errors))
        return tools::ExitFailed;
    dpmaster::CServedBoard board(options, config, output, errors);
    if (!board.Open())
        return tools::ExitFailed;
    board.Announce();
    return board.Run();
}

} // namespace

int main(int argc, char** argv)
{
    const auto runMaster = [](int nArgs, char** ppszArgs)
    { return tools::RunGuarded("korix-dpmaster", [&] { return Run(nArgs, ppszArgs); }); };
    if (argc >= 2 && std::string(argv[1]) == "service")
        return dpmaster::RunServiceCommand(argc, argv, runMaster);
    return runMaster(argc, argv);
}
