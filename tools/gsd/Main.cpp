// korix-gsd: a GSD (device description) file for people: what it declares, and the bus file
// entry of a slave built from it. See docs/gsd-files.md.
#include "tools/common/CommandLine.h"
#include "tools/gsd/BusEntry.h"
#include "tools/gsd/StationText.h"

#include "dp/fdl/Telegram.h"
#include "dp/gsd/GsdFileText.h"
#include "dp/gsd/GsdSlaveBuilder.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace
{

constexpr const char* kTool = "korix-gsd";

int Fail(const std::string& strError)
{
    std::fprintf(stderr, "%s: %s\n", kTool, strError.c_str());
    return tools::ExitFailed;
}

int Show(const std::string& strFile)
{
    dp::SGsdStation station;
    std::string strError;
    if (!dp::ReadGsdFile(strFile, station, strError))
        return Fail(strError);
    std::fputs(gsdtool::FormatStation(station).c_str(), stdout);
    // Shown whole all the same: the engineer needs the bytes to see what is wrong.
    const std::string strRefusal = gsdtool::StationRefusal(station);
    if (!strRefusal.empty())
    {
        std::fflush(stdout);
        return Fail(strRefusal);
    }
    return tools::ExitOk;
}

struct SEntryOptions
{
    std::string strFile;
    std::vector<std::string> modules;
    std::vector<std::string> settings; // NAME=VALUE
    unsigned uAddress = 0;
    unsigned uBaudRate = 0;
    std::optional<unsigned> watchdogMs;
};

int Entry(const SEntryOptions& options)
{
    dp::SGsdStation station;
    std::string strError;
    if (!dp::ReadGsdFile(options.strFile, station, strError))
        return Fail(strError);
    dp::SGsdSelection selection;
    selection.modules = options.modules;
    selection.dwBaudRate = options.uBaudRate;
    for (const std::string& strSetting : options.settings)
    {
        const std::size_t nEquals = strSetting.find('=');
        if (nEquals == std::string::npos || nEquals == 0)
        {
            std::fprintf(stderr, "%s: --set %s: expected NAME=VALUE\nTry '%s --help'.\n", kTool,
                         strSetting.c_str(), kTool);
            return tools::ExitUsage;
        }
        selection.values.push_back({strSetting.substr(0, nEquals), strSetting.substr(nEquals + 1)});
    }
    dp::SGsdSlaveData data;
    dp::CGsdSlaveBuilder builder(station);
    if (!builder.Build(selection, data, strError))
        return Fail(strError);
    // Where the bytes came from, so that the entry still says so once pasted into a bus file.
    std::string strComment = station.strModel + " (" + options.strFile + ")";
    for (std::size_t i = 0; i < options.modules.size(); ++i)
        strComment += (i == 0 ? ": " : " | ") + options.modules[i];
    for (const std::string& strSetting : options.settings)
        strComment += "; " + strSetting;
    std::optional<std::uint32_t> watchdogMs;
    if (options.watchdogMs)
        watchdogMs = *options.watchdogMs;
    std::printf("%s\n", gsdtool::FormatBusEntry(static_cast<std::uint8_t>(options.uAddress), data,
                                                watchdogMs, strComment)
                            .c_str());
    return tools::ExitOk;
}

int Run(int argc, char** argv)
{
    CLI::App app{"Reads a PROFIBUS-DP device description (GSD) file: shows what it declares, "
                 "and writes the bus file entry of a slave built from it.",
                 kTool};
    std::string strShowFile;
    CLI::App* pShow = app.add_subcommand(
        "show", "the station, its modules with their lengths, its parameters with defaults, "
                "allowed values and texts, its diagnosis texts");
    pShow->add_option("FILE", strShowFile, "the GSD file")->required();

    SEntryOptions entry;
    CLI::App* pEntry = app.add_subcommand(
        "entry", "the bus file entry (JSON) of a slave with the chosen modules and parameter "
                 "values, checked against what the file declares");
    pEntry->add_option("FILE", entry.strFile, "the GSD file")->required();
    pEntry
        ->add_option("--module", entry.modules,
                     "a module by its name, once per slot in slot order (a compact station "
                     "with one Module needs none)")
        ->allow_extra_args(false);
    pEntry
        ->add_option("--set", entry.settings,
                     "NAME=VALUE: a parameter (ExtUserPrmData name) and its value, a number or "
                     "one of its texts; others keep their defaults")
        ->allow_extra_args(false);
    pEntry
        ->add_option("--address", entry.uAddress,
                     "the slave's address, 0-" + std::to_string(dp::kMaxStationAddress))
        ->required()
        ->transform(tools::Number(0, dp::kMaxStationAddress));
    pEntry
        ->add_option("--baud-rate", entry.uBaudRate,
                     "check that the station supports this baud rate (bit/s)")
        ->transform(tools::Number(9600, 12000000));
    pEntry->add_option("--watchdog-ms", entry.watchdogMs, "add the slave's watchdog_ms")
        ->transform(tools::Number(0, 650250));
    app.footer("Exit codes: 0 done, 1 the file or the choice was refused (the message names "
               "file:line; show: the master would refuse every slave of the station), 2 the "
               "command line was wrong.");
    app.require_subcommand(0, 1);
    if (std::optional<int> nDone = tools::ParseCommandLine(app, argc, argv))
        return *nDone;
    return tools::RunChosenCommand(
        app, {{pShow, [&] { return Show(strShowFile); }}, {pEntry, [&] { return Entry(entry); }}});
}

} // namespace

int main(int argc, char** argv)
{
    return tools::RunGuarded(kTool, [&] { return Run(argc, argv); });
}
