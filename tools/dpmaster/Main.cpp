// korix-dpmaster: a DP master on a serial line that serves a board of the board library, so
// that MovaJob (unchanged) reads and writes real slaves. See docs/dp-master.md.
#include "tools/common/CommandLine.h"
#include "tools/dpmaster/EventWriter.h"
#include "tools/dpmaster/Options.h"
#include "tools/dpmaster/ServedBoard.h"
#include "tools/dpmaster/Service.h"

#include "dp/files/BusFiles.h"

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

int Run(int argc, char** argv)
{
    dpmaster::SOptions options;
    if (std::optional<int> nDone = dpmaster::ParseOptions(argc, argv, options))
        return *nDone;

    // Every line from here on goes through a writer thread: the bus never waits for an output
    // that takes nothing. Declared first, they end last, after the board has been let go.
    dpmaster::CEventWriter output(1, kPrefix, "standard output");
    dpmaster::CEventWriter errors(2, kPrefix, "standard error");
    dp::SMasterConfig config;
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
