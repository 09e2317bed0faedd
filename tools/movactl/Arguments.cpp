#include "tools/movactl/Arguments.h"

#include "tools/common/Numbers.h"

#include <cstdio>
#include <string_view>

namespace movactl
{

namespace
{

const char* const kVariableHelp =
    "VAR is SLAVE:BYTE[.BIT]:BITS[:swap][:out]: BITS 1 is one bit (bit BIT from byte BYTE on),\n"
    "any other number an unsigned run of (BITS+7)/8 bytes; or BITS is a type: u8 u16 u32 u64,\n"
    "i8 i16 i32 i64 (signed), f32 f64 (IEEE 754). :swap takes a 16, 32 or 64-bit value as\n"
    "big-endian; :out reads the outputs the master holds instead of the inputs.";

const char* const kEveryCommand =
    "Every command also takes --board N, --watchdog T and --lib PATH (see movactl --help).";

struct SVerbInfo
{
    const char* pszName;
    teVerb eVerb;
    const char* pszHelp;
};

const SVerbInfo kVerbs[] = {
    {"demo", VerbDemo,
     "Walks through the library on the simulated board's default plant and says what each\n"
     "step shows: open the board, test every connection, read every slave's inputs, write a\n"
     "pattern to the loopback slaves 3 and 5 and read it back, watch the moving inputs of\n"
     "slave 4 for N seconds (default 3), queue batches and withdraw one before it runs, close."},
    {"scan", VerbScan,
     "Lists every slave the board knows: its address, input and output lengths, and its\n"
     "status in words; then says whether the master is operational, as test does. With\n"
     "--quiet, only the addresses, one per line. Exit status 1 unless the master operates."},
    {"test", VerbTest,
     "Tests the connection of every slave (the board's, or --slaves) in one batch and prints\n"
     "each slave's image lengths (learned at open), its status number and the result in\n"
     "words; then reads one connected slave to learn whether the master is operational.\n"
     "Exit status 1 unless every slave is connected and the master operational."},
    {"read", VerbRead, "Reads variables, one batch per slave, all posted together."},
    {"write", VerbWrite,
     "Writes variables of one slave in one batch. The slave's outputs are read back first,\n"
     "because a write sends the whole output image."},
    {"watch", VerbWatch,
     "Reads the variables again every MS milliseconds (default 500), until Ctrl-C or SIGTERM,\n"
     "or after N rounds; VAR as for read, of any slaves. Each row carries the round's time\n"
     "(HH:MM:SS.mmm, local). On a terminal each round replaces the one before and every\n"
     "number has a plot of its last rounds beside it, with their lowest and highest value\n"
     "(block characters where the locale is UTF-8, else _.-:=+*#; x is a round without a\n"
     "value). A round not reported within its interval (at least 1 s) is marked as stalled\n"
     "on a line that stays. --csv and --json write one record per round and variable instead\n"
     "(time, variable, value, result number, result words). A summary of the rounds and\n"
     "their faults ends on standard error; exit status 1 if any round had a fault."},
    {"status", VerbStatus,
     "Prints the status korix-dpmaster publishes for the board it serves: the bus, the cycle\n"
     "times, the line's counters, and per slave its state and why, its counters and its last\n"
     "diagnosis in hex and in words. Of a master that has ended, only since when. Needs no\n"
     "library. Exit status 1 unless a running master's status was shown. Linux only."},
};

std::string SlaveList(const std::vector<std::uint8_t>& abySlaves)
{
    std::string strList;
    for (std::uint8_t byAddress : abySlaves)
        strList += (strList.empty() ? "" : ",") + std::to_string(byAddress);
    return strList;
}

// --slaves 3,4,5: each address from 1 to 125, none twice.
bool TakeSlaves(std::string_view list, std::vector<std::uint8_t>& abySlaves, std::string& strError)
{
    std::vector<std::uint8_t> abyResult;
    for (;;)
    {
        std::size_t nComma = list.find(',');
        std::string_view item = list.substr(0, nComma);
        std::uint64_t qwAddress = 0;
        if (!tools::ParseNumber(item, 125, qwAddress) || qwAddress < 1)
        {
            strError = "'" + std::string(item) + "' is not a slave address (1 to 125)";
            return false;
        }
        for (std::uint8_t byKnown : abyResult)
        {
            if (byKnown == qwAddress)
            {
                strError = "slave " + std::to_string(qwAddress) + " is listed twice";
                return false;
            }
        }
        abyResult.push_back(static_cast<std::uint8_t>(qwAddress));
        if (nComma == std::string_view::npos)
            break;
        list.remove_prefix(nComma + 1);
    }
    abySlaves = std::move(abyResult);
    return true;
}

CLI::Validator SlaveListCheck()
{
    return CLI::Validator(
        [](std::string& strText) -> std::string
        {
            std::vector<std::uint8_t> abySlaves;
            std::string strError;
            return TakeSlaves(strText, abySlaves, strError) ? std::string() : strError;
        },
        "LIST");
}

// A write sends one slave's whole output image, so its variables name one slave; reads go
// out as one batch per slave. Only a configured slave has its lengths in the table: with
// --slaves, the variables must name listed slaves (without it, every address is configured).
void CheckSlaves(const SArguments& args)
{
    const SVariable* pFirst = args.aVariables.empty() ? nullptr : &args.aVariables.front();
    for (const SVariable& variable : args.aVariables)
    {
        if (args.eVerb == VerbWrite && variable.byAddress != pFirst->byAddress)
            throw CLI::ValidationError(
                "all variables of one write must name the same slave, as a write sends one "
                "slave's output image: '" +
                pFirst->strText + "' names slave " + std::to_string(pFirst->byAddress) + ", '" +
                variable.strText + "' slave " + std::to_string(variable.byAddress));
        bool bConfigured = args.abySlaves.empty();
        for (std::uint8_t byConfigured : args.abySlaves)
            bConfigured = bConfigured || byConfigured == variable.byAddress;
        if (!bConfigured)
            throw CLI::ValidationError("slave " + std::to_string(variable.byAddress) +
                                       " is not configured (--slaves " + SlaveList(args.abySlaves) +
                                       ")");
    }
}

} // namespace

CCommandLine::CCommandLine()
    : m_app("Talks to DP slaves through a DP master board by way of the MovaJob library,\n"
            "loaded and driven as a host does. Start with 'movactl demo'. See docs/movactl.md.",
            "movactl")
{
    m_app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    m_app.get_formatter()->label("Subcommands", "Commands");
    m_app.get_formatter()->column_width(24);
    m_app.footer("Exit status: 0 all done, 1 a record, the board or the library failed, 2 wrong "
                 "arguments.");
    // Options of every command, before or after its name.
    m_app.add_option("--board", m_values.uBoard, "board number (default 1)")
        ->check(tools::Number(1, 255))
        ->type_name("N");
    m_app
        .add_option("--watchdog", m_values.uWatchdog,
                    "board watchdog time in 10 ms, 0 for none (default 0)")
        ->check(tools::Number(0, 255))
        ->type_name("T");
    m_app
        .add_option("--lib", m_args.strLibrary,
                    "the library to load (default: the one built with movactl, else\n"
                    "libmovajob.so.1 from the library path)")
        ->type_name("PATH");
    AddCommands();
    AddVariables();
    AddWatchOptions();
}

void CCommandLine::AddCommands()
{
    for (const SVerbInfo& info : kVerbs)
    {
        CLI::App* pCommand = m_app.add_subcommand(info.pszName, info.pszHelp);
        pCommand->footer(kEveryCommand);
        // The options of every command may follow the command's name.
        pCommand->fallthrough();
        m_commands[info.eVerb] = pCommand;
        teVerb eVerb = info.eVerb;
        pCommand->callback([this, eVerb] { Complete(eVerb); });
        if (eVerb != VerbScan && eVerb != VerbStatus)
            pCommand
                ->add_option("--slaves", m_values.strSlaves,
                             "configured slave addresses, e.g. 3,4,5 (default: every slave\n"
                             "the board reports, as 'scan' lists them)")
                ->check(SlaveListCheck());
    }
    for (teVerb eVerb : {VerbTest, VerbRead, VerbWrite, VerbScan})
    {
        const char* pszQuiet = eVerb == VerbRead   ? "values only, one per line; a failed one\n"
                                                     "leaves its line empty and says why on\n"
                                                     "standard error"
                               : eVerb == VerbScan ? "addresses only, one per line"
                                                   : "no table";
        m_commands[eVerb]->add_flag("--quiet", m_args.bQuiet, pszQuiet);
    }
    m_commands[VerbDemo]
        ->add_option("--seconds", m_args.dwSeconds,
                     "how long the moving inputs are watched (default 3)")
        ->check(tools::Number(1, 3600))
        ->type_name("N");
}

void CCommandLine::AddVariables()
{
    for (teVerb eVerb : {VerbRead, VerbWatch})
        m_commands[eVerb]->add_option("VAR", m_values.aVariables, kVariableHelp)->required();
    m_commands[VerbRead]->footer(
        std::string("Example: movactl read 4:0:16:swap 4:7:8 4:0.3:1 3:0:i16 3:4:f32:swap\n") +
        kEveryCommand);
    m_commands[VerbWrite]
        ->add_option("VAR=VALUE", m_values.aVariables,
                     "SLAVE:BYTE[.BIT]:BITS=VALUE[:swap], BITS as for read. VALUE: decimal or\n"
                     "0x hex; signed types take a sign (0x hex is the bit pattern), floats a\n"
                     "decimal with fraction and exponent, inf, -inf or nan; more than 64 bits\n"
                     "a hex byte string, first byte first (3:0:80=0x0102030405060708090a).")
        ->required();
    m_commands[VerbWrite]->footer(
        std::string("Example: movactl write 3:0:16=0x1234:swap 3:2.5:1=1 3:4:i16=-5\n") +
        kEveryCommand);
}

void CCommandLine::AddWatchOptions()
{
    CLI::App* pWatch = m_commands[VerbWatch];
    pWatch
        ->add_option("--interval", m_args.dwIntervalMs, "milliseconds between rounds (default 500)")
        ->check(tools::Number(10, 3600000))
        ->type_name("MS");
    pWatch->add_option("--count", m_args.dwRounds, "stop after N rounds (default: when stopped)")
        ->check(tools::Number(1, 0xFFFFFFFFu))
        ->type_name("N");
    pWatch
        ->add_option("--plot", m_values.uPlotRounds,
                     "rounds in each plot on a terminal, 0 for none (default 20)")
        ->check(tools::Number(0, 200))
        ->type_name("N");
    CLI::Option* pCsv = pWatch->add_flag("--csv", m_args.bCsv,
                                         "CSV records instead of the table: a header line,\n"
                                         "then time,variable,value,result,words");
    CLI::Option* pJson = pWatch->add_flag("--json", m_args.bJson,
                                          "JSON Lines records instead of the table: one\n"
                                          "object per line with the same fields");
    pCsv->excludes(pJson);
    pWatch->footer(std::string("Examples: movactl watch 4:0:16:swap 4:2:i16:swap --interval 200\n"
                               "          movactl watch 4:2:i16:swap --count 100 --csv > "
                               "sine.csv\n") +
                   kEveryCommand);
}

void CCommandLine::Complete(teVerb eVerb)
{
    m_args.eVerb = eVerb;
    m_args.nBoard = static_cast<std::int32_t>(m_values.uBoard);
    m_args.byWatchdog = static_cast<std::uint8_t>(m_values.uWatchdog);
    m_args.wPlotRounds = static_cast<std::uint16_t>(m_values.uPlotRounds);
    // The list passed its check already.
    std::string strError;
    if (!m_values.strSlaves.empty())
        TakeSlaves(m_values.strSlaves, m_args.abySlaves, strError);
    // The variables are parsed here, after a --help anywhere had its turn; the error names the
    // variable.
    for (const std::string& strText : m_values.aVariables)
    {
        SVariable variable;
        if (!(eVerb == VerbWrite ? ParseWriteVariable(strText, variable, strError)
                                 : ParseReadVariable(strText, variable, strError)))
            throw CLI::ValidationError(eVerb == VerbWrite ? "VAR=VALUE" : "VAR", strError);
        m_args.aVariables.push_back(std::move(variable));
    }
    CheckSlaves(m_args);
}

std::optional<int> CCommandLine::Parse(int argc, const char* const* argv)
{
    if (std::optional<int> nDone = tools::ParseCommandLine(m_app, argc, argv))
        return nDone;
    if (m_args.eVerb == VerbNone)
    {
        std::fputs("movactl: no command given\nTry 'movactl --help'.\n", stderr);
        return ExitUsage;
    }
    return std::nullopt;
}

} // namespace movactl
