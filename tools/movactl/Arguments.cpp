#include "tools/movactl/Arguments.h"

#include "tools/common/Numbers.h"

#include <string_view>

namespace movactl
{

using tools::ParseHexBytes;
using tools::ParseNumber;

namespace
{

constexpr unsigned Mask(teVerb eVerb)
{
    return 1u << eVerb;
}

constexpr unsigned kAllVerbs = ~0u;

struct SVerbInfo
{
    const char* pszName;
    teVerb eVerb;
    const char* pszSynopsis;
    const char* pszHelp;
};

const SVerbInfo kVerbs[] = {
    {"demo", VerbDemo, "demo [--seconds N]",
     "Walks through the library on the simulated board's default plant and says what each\n"
     "step shows: open the board, test every connection, read every slave's inputs, write a\n"
     "pattern to the loopback slaves 3 and 5 and read it back, watch the moving inputs of\n"
     "slave 4 for N seconds (default 3), queue batches and withdraw one before it runs, close.\n"},
    {"scan", VerbScan, "scan",
     "Lists every slave the board knows: its address, input and output lengths, and its\n"
     "status in words. With --quiet, only the addresses, one per line.\n"},
    {"test", VerbTest, "test",
     "Tests the connection of every slave (the board's, or --slaves) in one batch and prints\n"
     "each slave's image lengths (learned at open), its status number and the result in\n"
     "words; then reads one connected slave to learn whether the master is operational.\n"
     "Exit status 1 unless every slave is connected and the master operational.\n"},
    {"read", VerbRead, "read VAR...",
     "Reads variables, one batch per slave, all posted together. VAR is\n"
     "SLAVE:BYTE[.BIT]:BITS[:swap][:out]: BITS 1 is one bit (bit BIT from byte BYTE on), any\n"
     "other number an unsigned run of (BITS+7)/8 bytes; or BITS is a type: u8 u16 u32 u64,\n"
     "i8 i16 i32 i64 (signed), f32 f64 (IEEE 754). :swap takes a 16, 32 or 64-bit value as\n"
     "big-endian; :out reads the outputs the master holds instead of the inputs.\n"
     "Example: read 4:0:16:swap 4:7:8 4:0.3:1 3:0:i16 3:4:f32:swap\n"},
    {"write", VerbWrite, "write VAR=VALUE...",
     "Writes variables of one slave in one batch. VAR=VALUE is "
     "SLAVE:BYTE[.BIT]:BITS=VALUE[:swap],\n"
     "BITS as for read. VALUE: decimal or 0x hex; signed types take a sign (0x hex is the\n"
     "bit pattern), floats a decimal with fraction and exponent, inf, -inf or nan; more than\n"
     "64 bits take a hex byte string, first byte first (3:0:80=0x0102030405060708090a). The\n"
     "slave's outputs are read back first, because a write sends the whole output image.\n"
     "Example: write 3:0:16=0x1234:swap 3:2.5:1=1 3:4:i16=-5\n"},
    {"watch", VerbWatch, "watch VAR... [--interval MS] [--count N]",
     "Reads the variables again every MS milliseconds (default 500) and redraws them in place\n"
     "on a terminal, until Ctrl-C or SIGTERM, or after N rounds. VAR as for read, of any\n"
     "slaves.\n"},
};

struct SOptionInfo
{
    const char* pszName;
    bool bTakesValue;
    unsigned uVerbs;
};

const SOptionInfo kOptions[] = {
    {"--help", false, kAllVerbs},
    {"--board", true, kAllVerbs},
    {"--slaves", true, kAllVerbs & ~Mask(VerbScan)},
    {"--watchdog", true, kAllVerbs},
    {"--lib", true, kAllVerbs},
    {"--quiet", false, Mask(VerbTest) | Mask(VerbRead) | Mask(VerbWrite) | Mask(VerbScan)},
    {"--interval", true, Mask(VerbWatch)},
    {"--count", true, Mask(VerbWatch)},
    {"--csv", false, Mask(VerbWatch)},
    {"--json", false, Mask(VerbWatch)},
    {"--plot", true, Mask(VerbWatch)},
    {"--seconds", true, Mask(VerbDemo)},
};

struct SOption
{
    const SOptionInfo* pInfo;
    std::string strValue;
};

const SVerbInfo* FindVerb(std::string_view name)
{
    for (const SVerbInfo& info : kVerbs)
    {
        if (name == info.pszName)
            return &info;
    }
    return nullptr;
}

const SVerbInfo& InfoOf(teVerb eVerb)
{
    for (const SVerbInfo& info : kVerbs)
    {
        if (info.eVerb == eVerb)
            return info;
    }
    return kVerbs[0];
}

const SOptionInfo* FindOption(std::string_view name)
{
    for (const SOptionInfo& info : kOptions)
    {
        if (name == info.pszName)
            return &info;
    }
    return nullptr;
}

template <typename TValue>
bool TakeNumber(const std::string& strText, std::uint64_t qwMin, std::uint64_t qwMax,
                const char* pszWhat, TValue& value, std::string& strError)
{
    std::uint64_t qwValue = 0;
    if (!ParseNumber(strText, qwMax, qwValue) || qwValue < qwMin)
    {
        strError = "'" + strText + "' is not " + pszWhat + " (" + std::to_string(qwMin) + " to " +
                   std::to_string(qwMax) + ")";
        return false;
    }
    value = static_cast<TValue>(qwValue);
    return true;
}

bool TakeSlaves(const std::string& strList, std::vector<std::uint8_t>& abySlaves,
                std::string& strError)
{
    std::vector<std::uint8_t> abyResult;
    std::string_view rest = strList;
    for (;;)
    {
        std::size_t nComma = rest.find(',');
        std::uint8_t byAddress = 0;
        if (!TakeNumber(std::string(rest.substr(0, nComma)), 1, 125, "a slave address", byAddress,
                        strError))
            return false;
        for (std::uint8_t byKnown : abyResult)
        {
            if (byKnown == byAddress)
            {
                strError = "slave " + std::to_string(byAddress) + " is listed twice in --slaves";
                return false;
            }
        }
        abyResult.push_back(byAddress);
        if (nComma == std::string_view::npos)
            break;
        rest.remove_prefix(nComma + 1);
    }
    abySlaves = std::move(abyResult);
    return true;
}

bool ApplyOption(const SOption& option, SArguments& args, std::string& strError)
{
    const std::string strName = option.pInfo->pszName;
    const std::string& strValue = option.strValue;
    if ((option.pInfo->uVerbs & Mask(args.eVerb)) == 0)
    {
        strError = strName + " has no meaning for '" + InfoOf(args.eVerb).pszName + "'";
        return false;
    }
    if (strName == "--quiet")
        args.bQuiet = true;
    else if (strName == "--board")
        return TakeNumber(strValue, 1, 255, "a board number", args.nBoard, strError);
    else if (strName == "--slaves")
        return TakeSlaves(strValue, args.abySlaves, strError);
    else if (strName == "--watchdog")
        return TakeNumber(strValue, 0, 255, "a watchdog time in 10 ms", args.byWatchdog, strError);
    else if (strName == "--lib")
        args.strLibrary = strValue;
    else if (strName == "--interval")
        return TakeNumber(strValue, 10, 3600000, "an interval in ms", args.dwIntervalMs, strError);
    else if (strName == "--count")
        return TakeNumber(strValue, 1, 0xFFFFFFFFu, "a number of rounds", args.dwRounds, strError);
    else if (strName == "--csv" || strName == "--json")
    {
        (strName == "--csv" ? args.bCsv : args.bJson) = true;
        if (args.bCsv && args.bJson)
        {
            strError = "--csv and --json exclude each other";
            return false;
        }
    }
    else if (strName == "--plot")
        return TakeNumber(strValue, 0, 200, "a number of rounds to plot", args.wPlotRounds,
                          strError);
    else if (strName == "--seconds")
        return TakeNumber(strValue, 1, 3600, "a number of seconds", args.dwSeconds, strError);
    return true;
}

// Splits argv into options (with their values) and operands; the first operand is the verb.
bool SplitArguments(int argc, const char* const* argv, std::vector<SOption>& aOptions,
                    std::vector<std::string>& aOperands, std::string& strError)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string_view arg = argv[i];
        if (arg == "-h")
            arg = "--help";
        if (arg.size() < 2 || arg[0] != '-')
        {
            aOperands.emplace_back(arg);
            continue;
        }
        std::size_t nEqual = arg.find('=');
        const SOptionInfo* pInfo = FindOption(arg.substr(0, nEqual));
        if (pInfo == nullptr)
        {
            strError = "unknown option '" + std::string(arg) + "'";
            return false;
        }
        SOption option{pInfo, {}};
        if (nEqual != std::string_view::npos && !pInfo->bTakesValue)
        {
            strError = std::string(pInfo->pszName) + " takes no value";
            return false;
        }
        if (nEqual != std::string_view::npos)
            option.strValue = arg.substr(nEqual + 1);
        else if (pInfo->bTakesValue && i + 1 == argc)
        {
            strError = std::string(pInfo->pszName) + " needs a value";
            return false;
        }
        else if (pInfo->bTakesValue)
            option.strValue = argv[++i];
        aOptions.push_back(option);
    }
    return true;
}

bool TakeVariables(const std::vector<std::string>& aOperands, SArguments& args,
                   std::string& strError)
{
    const char* pszVerb = InfoOf(args.eVerb).pszName;
    bool bTakesVariables =
        args.eVerb == VerbRead || args.eVerb == VerbWrite || args.eVerb == VerbWatch;
    if (!bTakesVariables && aOperands.size() > 1)
    {
        strError =
            std::string("'") + pszVerb + "' takes no arguments, but got '" + aOperands[1] + "'";
        return false;
    }
    if (bTakesVariables && aOperands.size() < 2)
    {
        strError = std::string("'") + pszVerb + "' needs at least one variable";
        return false;
    }
    for (std::size_t i = 1; i < aOperands.size(); ++i)
    {
        SVariable variable;
        if (!(args.eVerb == VerbWrite ? ParseWriteVariable(aOperands[i], variable, strError)
                                      : ParseReadVariable(aOperands[i], variable, strError)))
            return false;
        args.aVariables.push_back(std::move(variable));
    }
    return true;
}

std::string SlaveList(const std::vector<std::uint8_t>& abySlaves)
{
    std::string strList;
    for (std::uint8_t byAddress : abySlaves)
        strList += (strList.empty() ? "" : ",") + std::to_string(byAddress);
    return strList;
}

// A write sends one slave's whole output image, so its variables name one slave; reads go
// out as one batch per slave. Only a configured slave has its lengths in the table: with
// --slaves, the variables must name listed slaves (without it, every address is configured).
bool CheckSlaves(const SArguments& args, std::string& strError)
{
    for (const SVariable& variable : args.aVariables)
    {
        const SVariable& first = args.aVariables.front();
        if (args.eVerb == VerbWrite && variable.byAddress != first.byAddress)
        {
            strError = "all variables of one write must name the same slave, as a write sends "
                       "one slave's output image: '" +
                       first.strText + "' names slave " + std::to_string(first.byAddress) + ", '" +
                       variable.strText + "' slave " + std::to_string(variable.byAddress);
            return false;
        }
    }
    for (const SVariable& variable : args.aVariables)
    {
        bool bConfigured = args.abySlaves.empty();
        for (std::uint8_t byConfigured : args.abySlaves)
            bConfigured = bConfigured || byConfigured == variable.byAddress;
        if (!bConfigured)
        {
            strError = "slave " + std::to_string(variable.byAddress) +
                       " is not configured (--slaves " + SlaveList(args.abySlaves) + ")";
            return false;
        }
    }
    return true;
}

} // namespace

bool ParseArguments(int argc, const char* const* argv, SArguments& args, std::string& strError)
{
    std::vector<SOption> aOptions;
    std::vector<std::string> aOperands;
    if (!SplitArguments(argc, argv, aOptions, aOperands, strError))
        return false;
    if (!aOperands.empty())
    {
        const SVerbInfo* pVerb = FindVerb(aOperands.front());
        if (pVerb == nullptr)
        {
            strError = "unknown command '" + aOperands.front() + "'";
            return false;
        }
        args.eVerb = pVerb->eVerb;
    }
    for (const SOption& option : aOptions)
    {
        if (std::string_view(option.pInfo->pszName) == "--help")
            args.bHelp = true;
        else if (args.eVerb != VerbNone && !ApplyOption(option, args, strError))
            return false;
    }
    if (args.bHelp)
        return true;
    if (args.eVerb == VerbNone)
    {
        strError = "no command given";
        return false;
    }
    return TakeVariables(aOperands, args, strError) && CheckSlaves(args, strError);
}

void PrintUsage(std::FILE* pOut, teVerb eVerb)
{
    if (eVerb != VerbNone)
    {
        const SVerbInfo& info = InfoOf(eVerb);
        std::fprintf(pOut, "Usage: movactl %s [OPTIONS]\n\n%s\n", info.pszSynopsis, info.pszHelp);
        std::fputs(eVerb == VerbScan
                       ? "Options: --board N, --watchdog T, --lib PATH, --quiet (see "
                         "movactl --help).\n"
                       : "Options: --board N, --slaves LIST, --watchdog T, --lib PATH "
                         "(see movactl --help).\n",
                   pOut);
        return;
    }
    std::fputs(
        "Usage: movactl [OPTIONS] COMMAND [ARGUMENTS]\n\n"
        "Talks to DP slaves through a DP master board by way of the MovaJob library, loaded\n"
        "and driven as a host does. Commands:\n\n",
        pOut);
    for (const SVerbInfo& info : kVerbs)
        std::fprintf(pOut, "  %s\n", info.pszSynopsis);
    std::fputs(
        "\nOptions:\n"
        "  --board N       board number, 1 to 255 (default 1)\n"
        "  --slaves LIST   configured slave addresses, e.g. 3,4,5 (default: every slave the\n"
        "                  board reports, as 'scan' lists them)\n"
        "  --watchdog T    board watchdog time in 10 ms, 0 for none (default 0)\n"
        "  --lib PATH      the library to load (default: the one built with movactl, else\n"
        "                  libmovajob.so.1 from the library path)\n"
        "  --quiet         read: values only; write and test: no table; scan: addresses\n"
        "  --help          this text; COMMAND --help for a command's own\n\n"
        "Exit status: 0 all done, 1 a record, the board or the library failed, 2 wrong "
        "arguments.\n"
        "Start with 'movactl demo'. See docs/movactl.md.\n",
        pOut);
}

} // namespace movactl
