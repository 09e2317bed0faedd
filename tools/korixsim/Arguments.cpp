#include "tools/korixsim/Arguments.h"

#include "tools/common/CommandLine.h"

#include "sim/SimControl.h"
#include "sim/common/HexBytes.h"

#include <memory>

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

constexpr char kExitStatus[] = "Exit status: 0 success, 1 failure, 2 bad arguments.";

std::string OperationNames()
{
    std::string strNames;
    for (std::uint8_t i = 0; i < korix::OpCount; ++i)
        strNames += std::string(i == 0 ? "" : ", ") +
                    korix::OperationName(static_cast<korix::teOperation>(i));
    return strNames;
}

// CLI11 brackets the command in the usage line when none is required. korixsim needs one, but
// checks that itself ("no command given"), so that CLI11 names a word it does not know instead
// of saying that a command is missing.
class CUsageFormatter : public CLI::Formatter
{
public:
    std::string make_usage(const CLI::App* pApp, std::string strName) const override
    {
        std::string strUsage = CLI::Formatter::make_usage(pApp, std::move(strName));
        const std::string strOptional = "[COMMAND]";
        std::size_t nAt = strUsage.find(strOptional);
        if (nAt != std::string::npos)
            strUsage.replace(nAt, strOptional.size(), "COMMAND");
        return strUsage;
    }
};

// A number as people type it, from qwMin to qwMax. The help of each argument states the range
// in its own words, so the validator adds nothing to the help.
CLI::Validator Range(std::uint64_t qwMin, std::uint64_t qwMax)
{
    CLI::Validator number = tools::Number(qwMin, qwMax);
    number.description("");
    return number;
}

// The footer's list of the operations, a few to a line.
std::string OperationList()
{
    std::string strList = "\nOperations:";
    for (std::uint8_t i = 0; i < korix::OpCount; ++i)
        strList += std::string(i % 4 == 0 ? "\n " : "") + " " +
                   korix::OperationName(static_cast<korix::teOperation>(i));
    return strList + "\n";
}

// An operation's name in any case, handed on as the number of its teOperation.
CLI::Validator Operation()
{
    return CLI::Validator(
        [](std::string& strText) -> std::string
        {
            korix::teOperation eOperation = korix::OpCount;
            if (!korix::FindOperation(strText.c_str(), eOperation))
                return "'" + strText + "' is not an operation (" + OperationNames() + ")";
            strText = std::to_string(static_cast<unsigned>(eOperation));
            return {};
        },
        "");
}

// Pairs of hex digits, blanks allowed between bytes.
CLI::Validator HexBytes()
{
    return CLI::Validator(
        [](const std::string& strText) -> std::string
        {
            std::vector<std::uint8_t> abyBytes;
            if (!korix::ParseHexBytes(strText, abyBytes) || abyBytes.empty())
                return "'" + strText + "' is not a string of hex byte pairs";
            return {};
        },
        "");
}

// Every command takes --board, so that it may stand anywhere on the line and each command's
// page shows it; the tool itself takes it too, before the command.
void AddBoard(CLI::App& command, SArguments& args)
{
    command.add_option("--board", args.byBoard, "the board, 1 to 255 (default 1)")
        ->type_name("N")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->transform(Range(1, 255));
}

CLI::App* AddCommand(CLI::App& app, SArguments& args, const char* pszName,
                     const char* pszDescription, const std::string& strDetails)
{
    CLI::App* pCommand = app.add_subcommand(pszName, pszDescription);
    pCommand->group("Commands");
    AddBoard(*pCommand, args);
    pCommand->footer(strDetails + "\n" + kExitStatus);
    return pCommand;
}

CLI::Option* AddAddress(CLI::App& command, SArguments& args)
{
    return command.add_option("ADDR", args.byAddress, "the slave's address, 0 to 125")
        ->required()
        ->type_name("")
        ->transform(Range(0, 125));
}

CLI::Option* AddOperation(CLI::App& command, SArguments& args)
{
    return command
        .add_option("OP", args.eOperation, "an operation's name, in any case (listed below)")
        ->required()
        ->type_name("")
        ->transform(Operation());
}

CLI::Option* AddCount(CLI::App& command, SArguments& args)
{
    return command
        .add_option("COUNT", args.dwCount, "how many calls, 0 to 4294967295 (default 1); 0 clears")
        ->type_name("")
        ->transform(Range(0, 0xFFFFFFFFu));
}

// A value a host reads as done must be one a slave sent: a board whose values come from a DP
// master takes none by hand. The faults of the operations show as failed calls, never as values.
constexpr const char* kRefusedWhenServed =
    "\nA board that a DP master serves, or that is declared for one, refuses it (exit status 1):"
    "\nthe values hosts read there are the slaves' alone.\n";
constexpr const char* kServedBoard =
    "On a board that a DP master serves, or that is declared for one, set-input, slave-state,\n"
    "master-mode and load are refused and reset clears the faults only: the values hosts read\n"
    "there are the slaves'. show, outputs, fail, delay and expire-watchdog work as usual.\n";

using CommandEntry = std::pair<CLI::App*, teCommand>;

CommandEntry DescribeShow(CLI::App& app, SArguments& args)
{
    return {AddCommand(app, args, "show", "print the board",
                       "Prints the board: master mode, plant, registrations with their watchdogs, "
                       "every slave with its\nstate, lengths, generators and current inputs and "
                       "outputs, and pending faults.\n"),
            CommandShow};
}

CommandEntry DescribeSetInput(CLI::App& app, SArguments& args)
{
    CLI::App* pSetInput =
        AddCommand(app, args, "set-input", "overwrite input bytes of a slave",
                   "Overwrites input bytes of slave ADDR from byte OFFSET on. HEXBYTES are pairs "
                   "of hex digits,\nblanks allowed between bytes (\"0A1B\", \"0a 1b\" or 0a 1b). "
                   "Bytes that a generator drives change\nagain at the next read." +
                       std::string(kRefusedWhenServed));
    AddAddress(*pSetInput, args);
    pSetInput->add_option("OFFSET", args.byOffset, "the first input byte to set, 0 to 243")
        ->required()
        ->type_name("")
        ->transform(Range(0, 243));
    pSetInput->add_option("HEXBYTES", args.astrHexBytes, "the bytes, in hex")
        ->required()
        ->type_name("")
        ->check(HexBytes());
    pSetInput->callback(
        [&args]
        {
            std::string strHex;
            for (const std::string& strPart : args.astrHexBytes)
                strHex += (strHex.empty() ? "" : " ") + strPart;
            korix::ParseHexBytes(strHex, args.abyBytes); // each part passed HexBytes()
        });
    return {pSetInput, CommandSetInput};
}

CommandEntry DescribeOutputs(CLI::App& app, SArguments& args)
{
    CLI::App* pOutputs = AddCommand(
        app, args, "outputs", "print the outputs the master holds for a slave",
        "Prints the output bytes the master holds for slave ADDR, in hex on one line.\n");
    AddAddress(*pOutputs, args);
    return {pOutputs, CommandOutputs};
}

CommandEntry DescribeSlaveState(CLI::App& app, SArguments& args)
{
    CLI::App* pSlaveState =
        AddCommand(app, args, "slave-state", "set the state the board reports for a slave",
                   "Sets the state (0 to 255) that the board reports for slave ADDR: 0 not "
                   "reachable, 1 being\nparameterised, 2 data exchange, 3 data exchange with "
                   "diagnosis pending, 4 configuration\nfault, 5 stopped. The library accepts 2 "
                   "and 3 as exchanging data." +
                       std::string(kRefusedWhenServed));
    AddAddress(*pSlaveState, args);
    pSlaveState->add_option("STATE", args.byValue, "the state, 0 to 255")
        ->required()
        ->type_name("")
        ->transform(Range(0, 255));
    return {pSlaveState, CommandSlaveState};
}

CommandEntry DescribeMasterMode(CLI::App& app, SArguments& args)
{
    CLI::App* pMasterMode =
        AddCommand(app, args, "master-mode", "set the master mode the board reports",
                   "Sets the master mode the board reports (0 to 255; 0x00 offline, 0x40 stop, "
                   "0x80 clear,\n0xC0 operate). The library accepts 0x80 and 0xC0 as "
                   "operational." +
                       std::string(kRefusedWhenServed));
    pMasterMode->add_option("MODE", args.byValue, "the mode, 0 to 255")
        ->required()
        ->type_name("")
        ->transform(Range(0, 255));
    return {pMasterMode, CommandMasterMode};
}

CommandEntry DescribeFail(CLI::App& app, SArguments& args)
{
    CLI::App* pFail = AddCommand(app, args, "fail", "let calls of an operation fail",
                                 "The next COUNT calls (default 1) of operation OP answer error "
                                 "word WORD and do nothing\nelse. COUNT 0 clears it.\n" +
                                     OperationList());
    AddOperation(*pFail, args);
    pFail->add_option("WORD", args.wErrorWord, "the error word, 1 to 65535 (0 only with COUNT 0)")
        ->required()
        ->type_name("")
        ->transform(Range(0, 0xFFFF));
    AddCount(*pFail, args);
    pFail->callback(
        [&args]
        {
            if (args.wErrorWord == 0 && args.dwCount != 0)
                throw CLI::ValidationError("WORD", "the error word must not be 0 (a COUNT of 0 "
                                                   "clears)");
        });
    return {pFail, CommandFail};
}

CommandEntry DescribeDelay(CLI::App& app, SArguments& args)
{
    CLI::App* pDelay = AddCommand(app, args, "delay", "let calls of an operation take longer",
                                  "The next COUNT calls (default 1) of operation OP take MS "
                                  "milliseconds longer. COUNT 0\nclears it.\n" +
                                      OperationList());
    AddOperation(*pDelay, args);
    pDelay->add_option("MS", args.dwDelayMs, "the delay in milliseconds, 0 to 3600000")
        ->required()
        ->type_name("")
        ->transform(Range(0, kMaxDelayMs));
    AddCount(*pDelay, args);
    return {pDelay, CommandDelay};
}

CommandEntry DescribeExpireWatchdog(CLI::App& app, SArguments& args)
{
    return {AddCommand(app, args, "expire-watchdog", "expire every armed watchdog now",
                       "Expires the watchdog of every registration that has one armed, now: the "
                       "outputs of its slaves\ndrop to 0, reads carry flag 0x20 and writes answer "
                       "0x95 until the host sets its watchdog again.\n"),
            CommandExpireWatchdog};
}

CommandEntry DescribeLoad(CLI::App& app, SArguments& args)
{
    CLI::App* pLoad =
        AddCommand(app, args, "load", "replace the plant with one from a plant file",
                   "Replaces the plant with the one in the JSON plant file FILE. A file with a "
                   "problem is refused,\nwith the problem and its place named, and the board "
                   "keeps its plant." +
                       std::string(kRefusedWhenServed));
    pLoad->add_option("FILE", args.strFile, "the plant file (JSON)")->required()->type_name("");
    return {pLoad, CommandLoad};
}

CommandEntry DescribeReset(CLI::App& app, SArguments& args)
{
    return {AddCommand(app, args, "reset", "put the default plant back",
                       "Puts the default plant back and clears every pending "
                       "fault. Registrations stay.\nOn a board that a DP master "
                       "serves, or that is declared for one, it clears the faults "
                       "only.\n"),
            CommandReset};
}

CommandEntry DescribeDeclare(CLI::App& app, SArguments& args)
{
    return {AddCommand(app, args, "declare", "declare the board as served by a DP master",
                       "Declares the board as meant for a DP master (korix-dpmaster): until the "
                       "master serves it, and\nafter it has ended, the board reports the master "
                       "offline and no slave, never the simulated\nplant. "
                       "korix-dpmaster@N.service does this before the master starts. The mark "
                       "lasts until\n'korixsim undeclare' or until the machine restarts.\n"),
            CommandDeclare};
}

CommandEntry DescribeUndeclare(CLI::App& app, SArguments& args)
{
    return {AddCommand(app, args, "undeclare", "take the declaration back",
                       "Takes the declaration back: the board is simulated again (the default "
                       "plant) unless a DP\nmaster serves it.\n"),
            CommandUndeclare};
}

#ifdef _WIN32
// A board lives in /dev/shm on Linux until it is removed; here only while a process has it
// open, so someone has to hold it for what korixsim sets up before a host runs.
CommandEntry DescribeHold(CLI::App& app, SArguments& args)
{
    return {AddCommand(app, args, "hold", "keep the board open until Ctrl-C",
                       "Keeps the board open until Ctrl-C. Windows keeps a board only while a "
                       "process has it open:\nwhen no host runs, what the other commands set up "
                       "is gone as soon as korixsim ends, unless\na hold runs meanwhile.\n"),
            CommandHold};
}
#endif

// The tool's own page: what it is, its options, and how its usage line names the command.
void DescribeTool(CLI::App& app, SArguments& args)
{
    app.description(std::string("Shows and steers the simulated DP master board (") +
                    kBoardLibrary + ")\nthat every process of this user shares.");
    app.footer(std::string("Numbers are decimal, or hex after 0x. 'korixsim COMMAND --help' "
                           "explains a command.\nKORIXSIM_PREFIX, when set, replaces the "
                           "\"korix\" at the start of the boards' shared memory names.\n") +
               kServedBoard + kExitStatus);
    auto pFormatter = std::make_shared<CUsageFormatter>();
    pFormatter->label("SUBCOMMAND", "COMMAND");
    app.formatter(pFormatter);
    // At most one command; a second word is refused by name. Without one, the tool says so.
    app.require_subcommand(0, 1);
    AddBoard(app, args);
}

} // namespace

std::vector<std::pair<CLI::App*, teCommand>> DescribeCommandLine(CLI::App& app, SArguments& args)
{
    DescribeTool(app, args);
    // In the order the help lists them.
    using Describer = CommandEntry (*)(CLI::App&, SArguments&);
    static constexpr Describer kCommands[] = {
        DescribeShow,       DescribeSetInput, DescribeOutputs, DescribeSlaveState,
        DescribeMasterMode, DescribeFail,     DescribeDelay,   DescribeExpireWatchdog,
        DescribeLoad,       DescribeReset,    DescribeDeclare, DescribeUndeclare,
#ifdef _WIN32
        DescribeHold,
#endif
    };
    std::vector<CommandEntry> commands;
    for (Describer describe : kCommands)
        commands.push_back(describe(app, args));
    return commands;
}

} // namespace korixsim
