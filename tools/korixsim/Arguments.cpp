#include "tools/korixsim/Arguments.h"

#include "tools/common/Numbers.h"

#include "sim/HexBytes.h"
#include "sim/SimControl.h"

#include <cstdlib>
#include <string_view>

namespace korixsim
{

namespace
{

constexpr std::uint32_t kMaxDelayMs = 3600000;

#ifdef _WIN32
constexpr char kBoardLibrary[] = "KORIX.dll";
#else
constexpr char kBoardLibrary[] = "libkorix.so";
#endif

struct SVerbInfo
{
    const char* pszName;
    teVerb eVerb;
    int nMinArgs;
    int nMaxArgs; // -1: no limit
    const char* pszSynopsis;
    const char* pszHelp;
};

const SVerbInfo kVerbs[] = {
    {"show", VerbShow, 0, 0, "show",
     "Prints the board: master mode, plant, registrations with their watchdogs, every slave\n"
     "with its state, lengths, generators and current inputs and outputs, and pending faults.\n"},
    {"set-input", VerbSetInput, 3, -1, "set-input ADDR OFFSET HEXBYTES",
     "Overwrites input bytes of slave ADDR from byte OFFSET on. HEXBYTES are pairs of hex\n"
     "digits, blanks allowed between bytes (\"0A1B\", \"0a 1b\" or 0a 1b). Bytes that a\n"
     "generator drives change again at the next read.\n"},
    {"outputs", VerbOutputs, 1, 1, "outputs ADDR",
     "Prints the output bytes the master holds for slave ADDR, in hex on one line.\n"},
    {"slave-state", VerbSlaveState, 2, 2, "slave-state ADDR STATE",
     "Sets the state (0 to 255) that the board reports for slave ADDR. The library accepts\n"
     "2 and 3 as exchanging data.\n"},
    {"master-mode", VerbMasterMode, 1, 1, "master-mode MODE",
     "Sets the master mode the board reports (0 to 255; 0x00 offline, 0x40 stop, 0x80 clear,\n"
     "0xC0 operate). The library accepts 0x80 and 0xC0 as operational.\n"},
    {"fail", VerbFail, 2, 3, "fail OP WORD [COUNT]",
     "The next COUNT calls (default 1) of operation OP answer error word WORD and do\n"
     "nothing else. COUNT 0 clears it.\n"},
    {"delay", VerbDelay, 2, 3, "delay OP MS [COUNT]",
     "The next COUNT calls (default 1) of operation OP take MS milliseconds (up to 3600000)\n"
     "longer. COUNT 0 clears it.\n"},
    {"expire-watchdog", VerbExpireWatchdog, 0, 0, "expire-watchdog",
     "Expires the watchdog of every registration that has one armed, now: the outputs of\n"
     "its slaves drop to 0, reads carry flag 0x20 and writes answer 0x95 until the host sets\n"
     "its watchdog again.\n"},
    {"load", VerbLoad, 1, 1, "load FILE",
     "Replaces the plant with the one in the JSON plant file FILE. A file with a problem is\n"
     "refused, with the problem and its place named, and the board keeps its plant.\n"},
    {"reset", VerbReset, 0, 0, "reset",
     "Puts the default plant back and clears every pending fault. Registrations stay.\n"},
#ifdef _WIN32
    // A board lives in /dev/shm on Linux until it is removed; here only while a process has
    // it open, so someone has to hold it for what korixsim sets up before a host runs.
    {"hold", VerbHold, 0, 0, "hold",
     "Keeps the board open until Ctrl-C. Windows keeps a board only while a process has it\n"
     "open: when no host runs, what the other commands set up is gone as soon as korixsim\n"
     "ends, unless a hold runs meanwhile.\n"},
#endif
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

const SVerbInfo* VerbInfo(teVerb eVerb)
{
    for (const SVerbInfo& info : kVerbs)
    {
        if (info.eVerb == eVerb)
            return &info;
    }
    return nullptr;
}

template <typename TValue>
bool TakeNumber(const std::string& strText, std::uint32_t dwMin, std::uint32_t dwMax,
                const char* pszWhat, TValue& value, std::string& strError)
{
    std::uint64_t qwValue = 0;
    if (!tools::ParseNumber(strText, dwMax, qwValue) || qwValue < dwMin)
    {
        strError = "'" + strText + "' is not " + pszWhat + " (" + std::to_string(dwMin) + " to " +
                   std::to_string(dwMax) + ")";
        return false;
    }
    value = static_cast<TValue>(qwValue);
    return true;
}

bool TakeOperation(const std::string& strText, korix::teOperation& eOperation,
                   std::string& strError)
{
    if (korix::FindOperation(strText.c_str(), eOperation))
        return true;
    strError = "'" + strText + "' is not an operation (";
    for (std::uint8_t i = 0; i < korix::OpCount; ++i)
        strError += std::string(i == 0 ? "" : ", ") +
                    korix::OperationName(static_cast<korix::teOperation>(i));
    strError += ")";
    return false;
}

bool TakeVerbArguments(const std::vector<std::string>& aArgs, SArguments& args,
                       std::string& strError)
{
    auto Count = [&](std::size_t nIndex)
    {
        return aArgs.size() > nIndex
                   ? TakeNumber(aArgs[nIndex], 0, 0xFFFFFFFFu, "a count", args.dwCount, strError)
                   : true;
    };
    switch (args.eVerb)
    {
    case VerbSetInput:
    {
        std::string strHex;
        for (std::size_t i = 2; i < aArgs.size(); ++i)
            strHex += (i == 2 ? "" : " ") + aArgs[i];
        if (!TakeNumber(aArgs[0], 0, 125, "a slave address", args.byAddress, strError) ||
            !TakeNumber(aArgs[1], 0, 243, "an input offset", args.byOffset, strError))
            return false;
        if (!korix::ParseHexBytes(strHex, args.abyBytes) || args.abyBytes.empty())
        {
            strError = "'" + strHex + "' is not a string of hex byte pairs";
            return false;
        }
        return true;
    }
    case VerbOutputs:
        return TakeNumber(aArgs[0], 0, 125, "a slave address", args.byAddress, strError);
    case VerbSlaveState:
        return TakeNumber(aArgs[0], 0, 125, "a slave address", args.byAddress, strError) &&
               TakeNumber(aArgs[1], 0, 255, "a slave state", args.byValue, strError);
    case VerbMasterMode:
        return TakeNumber(aArgs[0], 0, 255, "a master mode", args.byValue, strError);
    case VerbFail:
        if (!TakeOperation(aArgs[0], args.eOperation, strError) ||
            !TakeNumber(aArgs[1], 0, 0xFFFF, "an error word", args.wErrorWord, strError) ||
            !Count(2))
            return false;
        if (args.wErrorWord == 0 && args.dwCount != 0)
            strError = "the error word must not be 0 (a COUNT of 0 clears)";
        return strError.empty();
    case VerbDelay:
        return TakeOperation(aArgs[0], args.eOperation, strError) &&
               TakeNumber(aArgs[1], 0, kMaxDelayMs, "a delay in ms", args.dwDelayMs, strError) &&
               Count(2);
    case VerbLoad:
        args.strFile = aArgs[0];
        return true;
    default:
        return true;
    }
}

} // namespace

bool ParseArguments(int argc, const char* const* argv, SArguments& args, std::string& strError)
{
    std::vector<std::string> aArgs;
    for (int i = 1; i < argc; ++i)
    {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h")
            args.bHelp = true;
        else if (arg == "--board" || arg.substr(0, 8) == "--board=")
        {
            std::string strValue;
            if (arg == "--board" && i + 1 >= argc)
            {
                strError = "--board needs a board number";
                return false;
            }
            strValue = arg == "--board" ? argv[++i] : std::string(arg.substr(8));
            if (!TakeNumber(strValue, 1, 255, "a board number", args.byBoard, strError))
                return false;
        }
        else if (arg.substr(0, 2) == "--")
        {
            strError = "unknown option '" + std::string(arg) + "'";
            return false;
        }
        else if (args.eVerb == VerbNone)
        {
            const SVerbInfo* pInfo = FindVerb(arg);
            if (pInfo == nullptr)
            {
                strError = "unknown command '" + std::string(arg) + "'";
                return false;
            }
            args.eVerb = pInfo->eVerb;
        }
        else
            aArgs.emplace_back(arg);
    }
    if (args.bHelp)
        return true;
    const SVerbInfo* pInfo = VerbInfo(args.eVerb);
    if (pInfo == nullptr)
    {
        strError = "no command given";
        return false;
    }
    int nArgs = static_cast<int>(aArgs.size());
    if (nArgs < pInfo->nMinArgs || (pInfo->nMaxArgs >= 0 && nArgs > pInfo->nMaxArgs))
    {
        strError = std::string("usage: korixsim ") + pInfo->pszSynopsis + " [--board N]";
        return false;
    }
    return TakeVerbArguments(aArgs, args, strError);
}

void PrintUsage(std::FILE* pOut, teVerb eVerb)
{
    if (const SVerbInfo* pInfo = VerbInfo(eVerb))
    {
        std::fprintf(pOut, "Usage: korixsim %s [--board N]\n\n%s", pInfo->pszSynopsis,
                     pInfo->pszHelp);
        std::fputs(
            "\n  --board N   the board, 1 to 255 (default 1)\n"
            "Numbers are decimal, or hex after 0x. OP is an operation's name (BoardRegister,\n"
            "BoardReadSlaveList, BoardReadInput, BoardReadOutput, BoardWriteOutput,\n"
            "BoardReadSlaveStates, BoardSetWatchdog, BoardClose), in any case.\n"
            "Exit status: 0 success, 1 failure, 2 bad arguments.\n",
            pOut);
        return;
    }
    std::fprintf(pOut,
                 "Usage: korixsim COMMAND [ARGUMENTS] [--board N]\n"
                 "\n"
                 "Shows and steers the simulated DP master board (%s) that every process\n"
                 "of this user shares.\n"
                 "\n",
                 kBoardLibrary);
    for (const SVerbInfo& info : kVerbs)
        std::fprintf(pOut, "  %s\n", info.pszSynopsis);
    std::fputs("\n"
               "  --board N   the board, 1 to 255 (default 1)\n"
               "  --help      this text; after a command, that command's page\n"
               "\n"
               "Numbers are decimal, or hex after 0x. KORIXSIM_PREFIX, when set, replaces the\n"
               "\"korix\" at the start of the boards' shared memory names.\n"
               "Exit status: 0 success, 1 failure, 2 bad arguments.\n",
               pOut);
}

} // namespace korixsim
