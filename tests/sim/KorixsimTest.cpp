// korixsim as people use it: each verb reaches the board, failures exit 1 with the reason,
// and arguments it cannot take exit 2 with a message.
#include "tests/sim/SimTestSupport.h"

#include "tests/support/ChildProcess.h"
#if !defined(_WIN32)
#include "tests/support/posix/ScopedEnvironment.h"
#endif

#include <gmock/gmock.h>

#include <cstdio>
#include <fstream>

namespace simtest
{
namespace
{

using ::testing::HasSubstr;

struct SRun
{
    int nExitCode;
    std::string strOutput; // standard output and standard error
};

SRun RunKorixsim(const std::vector<std::string>& args)
{
    std::vector<std::string> command{KORIXSIM};
    command.insert(command.end(), args.begin(), args.end());
    testsupport::SRunResult result = testsupport::RunToEnd(command, kReplyTimeoutMs);
    return SRun{result.nExitCode, result.strOutput};
}

class KorixsimTest : public CBoardTest
{
protected:
    SRun Run(std::vector<std::string> args)
    {
        args.push_back("--board");
        args.push_back(std::to_string(m_byBoard));
        return RunKorixsim(args);
    }

    std::string WriteFile(const std::string& strText)
    {
        std::string strPath =
            ::testing::TempDir() + TestPrefix() + "_" + std::to_string(m_nFiles++) + ".json";
        std::ofstream(strPath) << strText;
        m_paths.push_back(strPath);
        return strPath;
    }

    ~KorixsimTest() override
    {
        for (const std::string& strPath : m_paths)
            std::remove(strPath.c_str());
    }

    int m_nFiles = 0;
    std::vector<std::string> m_paths;
};

struct SBadArguments
{
    std::vector<std::string> args;
    const char* pszMessage;
};

TEST_F(KorixsimTest, ArgumentsItCannotTakeExitTwoWithAMessage)
{
    const SBadArguments kCases[] = {
        {{}, "no command given"},
        {{"--board", "2"}, "no command given"},
        {{"bogus"}, "The following argument was not expected: bogus"},
        {{"show", "--verbose"}, "The following argument was not expected: --verbose"},
        {{"show", "extra"}, "The following argument was not expected: extra"},
        {{"show", "reset"}, "The following argument was not expected: reset"},
        {{"outputs"}, "ADDR is required"},
        {{"outputs", "126"}, "ADDR: '126' is not a number from 0 to 125"},
        {{"outputs", "-1"}, "ADDR: '-1' is not a number from 0 to 125"},
        {{"outputs", "0x"}, "ADDR: '0x' is not a number from 0 to 125"},
        {{"set-input", "3", "0"}, "HEXBYTES is required"},
        {{"set-input", "3", "0", "0g"}, "HEXBYTES: '0g' is not a string of hex byte pairs"},
        {{"set-input", "3", "0", "01", "123"}, "HEXBYTES: '123' is not a string of hex byte pairs"},
        {{"set-input", "3", "244", "00"}, "OFFSET: '244' is not a number from 0 to 243"},
        {{"slave-state", "3", "256"}, "STATE: '256' is not a number from 0 to 255"},
        {{"master-mode", "0x100"}, "MODE: '0x100' is not a number from 0 to 255"},
        {{"fail", "BoardFly", "0x80"},
         "OP: 'BoardFly' is not an operation (BoardRegister, BoardReadSlaveList, BoardReadInput, "
         "BoardReadOutput, BoardWriteOutput, BoardReadSlaveStates, BoardSetWatchdog, BoardClose)"},
        {{"fail", "BoardReadInput", "0"},
         "WORD: the error word must not be 0 (a COUNT of 0 clears)"},
        {{"fail", "BoardReadInput", "0x10000"}, "WORD: '0x10000' is not a number from 0 to 65535"},
        {{"fail", "BoardReadInput", "0x80", "1", "2"},
         "The following argument was not expected: 2"},
        {{"delay", "BoardClose", "3600001"}, "MS: '3600001' is not a number from 0 to 3600000"},
        {{"delay", "BoardClose", "10", "4294967296"},
         "COUNT: '4294967296' is not a number from 0 to 4294967295"},
        {{"load"}, "FILE is required"},
        {{"show", "--board", "0"}, "--board: '0' is not a number from 1 to 255"},
        {{"show", "--board=256"}, "--board: '256' is not a number from 1 to 255"},
        {{"--board", "256", "show"}, "--board: '256' is not a number from 1 to 255"},
        {{"show", "--board"}, "--board: 1 required N missing"},
    };
    for (const SBadArguments& bad : kCases)
    {
        SRun run = RunKorixsim(bad.args);
        EXPECT_EQ(2, run.nExitCode) << run.strOutput;
        EXPECT_THAT(run.strOutput, HasSubstr(std::string("korixsim: ") + bad.pszMessage +
                                             "\nTry 'korixsim --help'."));
    }
}

// Each command has a page of its own, asked for before or after its arguments, that names it in
// its usage line; the overview lists every command.
TEST_F(KorixsimTest, HelpExitsZero)
{
    SRun overview = RunKorixsim({"--help"});
    EXPECT_EQ(0, overview.nExitCode);
    EXPECT_THAT(overview.strOutput, HasSubstr("Usage: korixsim [OPTIONS] COMMAND\n"));
    const char* const kCommands[] = {
        "show",
        "set-input",
        "outputs",
        "slave-state",
        "master-mode",
        "fail",
        "delay",
        "expire-watchdog",
        "load",
        "reset",
#if defined(_WIN32)
        "hold", // Windows keeps a board only while a process has it open
#endif
    };
    for (const char* pszCommand : kCommands)
    {
        EXPECT_THAT(overview.strOutput, HasSubstr(std::string("\n  ") + pszCommand + " "));
        SRun page = RunKorixsim({pszCommand, "--help"});
        EXPECT_EQ(0, page.nExitCode) << pszCommand;
        EXPECT_THAT(page.strOutput, HasSubstr(std::string("Usage: korixsim ") + pszCommand + " "));
        EXPECT_THAT(page.strOutput, HasSubstr("--board N"));
    }
    SRun delay = RunKorixsim({"--help", "delay", "boardclose"});
    EXPECT_EQ(0, delay.nExitCode) << delay.strOutput;
    EXPECT_THAT(delay.strOutput, HasSubstr("Usage: korixsim delay [OPTIONS] OP MS [COUNT]"));
    EXPECT_THAT(delay.strOutput, HasSubstr("BoardReadSlaveStates"));
}

TEST_F(KorixsimTest, RefusalsOfTheBoardExitOne)
{
    std::string strBadPlant = WriteFile(R"({"slaves": [{"address": 1, "input_length": 245,
                                           "output_length": 0}]})");
    std::string strOneByteTooMany = WriteFile(R"({"slaves": [{"address": 1, "input_length": 0,
                                                "output_length": 0, "inputs": "01"}]})");
    struct
    {
        std::vector<std::string> args;
        const char* pszMessage;
    } const kCases[] = {
        {{"outputs", "7"}, "no slave at address 7"},
        {{"slave-state", "6", "2"}, "no slave at address 6"},
        {{"set-input", "3", "6", "010203"},
         "slave 3 has 8 input bytes; 3 bytes at offset 6 do not fit"},
        {{"set-input", "3", "8", "01"},
         "slave 3 has 8 input bytes; 1 byte at offset 8 does not fit"},
        {{"load", "/nonexistent/plant.json"}, "cannot open /nonexistent/plant.json"},
        {{"load", strBadPlant}, "slaves[0].input_length: must be an integer from 0 to 244"},
        {{"load", strOneByteTooMany}, "slaves[0].inputs: 1 byte is more than the input length 0"},
    };
    for (const auto& refused : kCases)
    {
        SRun run = Run(refused.args);
        EXPECT_EQ(1, run.nExitCode) << run.strOutput;
        EXPECT_THAT(run.strOutput, HasSubstr(refused.pszMessage));
    }
    EXPECT_STREQ("default", Snapshot()->sState.sPlant.szSource);
}

// Each command reaches the board and says what it did: states, modes and error words in words
// beside their numbers, one byte or call in the singular.
TEST_F(KorixsimTest, VerbsReachTheBoard)
{
    auto Says = [this](std::vector<std::string> args, const std::string& strAnswer)
    {
        SRun run = Run(std::move(args));
        EXPECT_EQ(0, run.nExitCode) << run.strOutput;
        EXPECT_EQ("board " + std::to_string(m_byBoard) + ": " + strAnswer + "\n", run.strOutput);
    };
    SHandle handle = Register({3, 9});
    ASSERT_EQ(0, Run({"load", WriteFile(R"({"slaves": [
        {"address": 3, "input_length": 8, "output_length": 8},
        {"address": 9, "input_length": 4, "output_length": 2},
        {"address": 10, "input_length": 1, "output_length": 1}]})")})
                     .nExitCode);
    Says({"set-input", "9", "1", "AB", "cd"}, "2 input bytes of slave 9 set at offset 1");
    Says({"set-input", "10", "0", "7f"}, "1 input byte of slave 10 set at offset 0");
    EXPECT_THAT(DataOf(Call(BoardReadInput, MakeRequest(handle, 9))),
                ::testing::ElementsAre(0, 0xAB, 0xCD, 0));

    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(handle, 9, {0x12, 0x34})).wError);
    SRun outputs = Run({"outputs", "9"});
    EXPECT_EQ(0, outputs.nExitCode);
    EXPECT_EQ("12 34\n", outputs.strOutput);

    Says({"slave-state", "9", "4"}, "slave 9 in state 4 (configuration fault)");
    Says({"master-mode", "0x40"}, "master mode 0x40 (stop)");
    SBoardRequest read = Call(BoardReadInput, MakeRequest(handle, 9));
    EXPECT_EQ(4, read.bySlaveState);
    EXPECT_EQ(0x40, read.byMasterState);

    Says({"fail", "boardreadinput", "0x8B", "2"},
         "the next 2 calls of BoardReadInput answer 0x8B (unassigned error word)");
    EXPECT_EQ(0, Run({"delay", "BOARDCLOSE", "5", "3"}).nExitCode);
    SRun show = Run({"show"});
    EXPECT_EQ(0, show.nExitCode);
    EXPECT_THAT(show.strOutput, HasSubstr("Master mode: 0x40 (stop)"));
    EXPECT_THAT(
        show.strOutput,
        HasSubstr("address 9: state 4 (configuration fault), 4 input bytes, 2 output bytes"));
    EXPECT_THAT(show.strOutput,
                HasSubstr("address 10: state 2 (data exchange), 1 input byte, 1 output byte"));
    EXPECT_THAT(show.strOutput,
                HasSubstr("BoardReadInput: the next 2 calls answer 0x8B (unassigned error word)"));
    EXPECT_THAT(show.strOutput, HasSubstr("BoardClose: the next 3 calls take 5 ms longer"));
    EXPECT_THAT(show.strOutput,
                HasSubstr("pid " + std::to_string(testsupport::CurrentProcessId()) + " (running)"));
    EXPECT_EQ(0x8B, Call(BoardReadInput, MakeRequest(handle, 9)).wError);
    // One call left: said in the singular, here and when it is set.
    EXPECT_THAT(Run({"show"}).strOutput, HasSubstr("BoardReadInput: the next call answers 0x8B"));
    Says({"delay", "BoardClose", "5", "1"}, "the next call of BoardClose takes 5 ms longer");
    Says({"fail", "BoardClose", "0x84", "1"},
         "the next call of BoardClose answers 0x84 (no slave at the address)");
    Says({"fail", "BoardClose", "0x81", "0"}, "BoardClose answers normally");

    // Values the board gives no meaning are said to be unknown, not taken for another.
    Says({"slave-state", "10", "6"}, "slave 10 in state 6 (unknown slave state)");
    Says({"master-mode", "0x20"}, "master mode 0x20 (unknown master mode)");
    EXPECT_THAT(Run({"show"}).strOutput, HasSubstr("Master mode: 0x20 (unknown master mode)"));

    SBoardRequest watchdog = MakeRequest(handle, 0, 1);
    watchdog.abyData[0] = 200;
    ASSERT_EQ(0, Call(BoardSetWatchdog, watchdog).wError);
    EXPECT_EQ(0, Run({"expire-watchdog"}).nExitCode);
    EXPECT_EQ(kBoardErrorWatchdogExpired, Call(BoardWriteOutput, MakeWrite(handle, 9, {1})).wError);

    EXPECT_EQ(0, Run({"reset"}).nExitCode);
    auto pSnapshot = Snapshot();
    EXPECT_STREQ("default", pSnapshot->sState.sPlant.szSource);
    EXPECT_EQ(0u, pSnapshot->sState.aFaults[korix::OpBoardReadInput].dwErrorCount);
}

// The prefix is the one setting a person gives the simulated boards; one that cannot name a board
// is named, with what it may hold, instead of a board whose state "cannot be opened".
TEST_F(KorixsimTest, AnUnusablePrefixIsNamedWithWhatItMayHold)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the test sets the variable for its child with setenv";
#else
    testsupport::CScopedEnvironment prefix("KORIXSIM_PREFIX", "bad/prefix");
    SRun run = Run({"show"});
    EXPECT_EQ(1, run.nExitCode);
    EXPECT_THAT(run.strOutput,
                HasSubstr("KORIXSIM_PREFIX='bad/prefix' cannot name a simulated board: it may "
                          "hold 1 to 64 letters, digits, '_', '-' and '.'"));
#endif
}

} // namespace
} // namespace simtest
