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
        {{"bogus"}, "unknown command 'bogus'"},
        {{"show", "--verbose"}, "unknown option '--verbose'"},
        {{"show", "extra"}, "usage: korixsim show"},
        {{"outputs"}, "usage: korixsim outputs ADDR"},
        {{"outputs", "126"}, "'126' is not a slave address (0 to 125)"},
        {{"outputs", "-1"}, "'-1' is not a slave address"},
        {{"outputs", "0x"}, "'0x' is not a slave address"},
        {{"set-input", "3", "0", "0g"}, "'0g' is not a string of hex byte pairs"},
        {{"set-input", "3", "0", "123"}, "'123' is not a string of hex byte pairs"},
        {{"set-input", "3", "244", "00"}, "'244' is not an input offset"},
        {{"slave-state", "3", "256"}, "'256' is not a slave state (0 to 255)"},
        {{"master-mode", "0x100"}, "'0x100' is not a master mode"},
        {{"fail", "BoardFly", "0x80"}, "'BoardFly' is not an operation (BoardRegister,"},
        {{"fail", "BoardReadInput", "0"}, "the error word must not be 0"},
        {{"fail", "BoardReadInput", "0x10000"}, "'0x10000' is not an error word (0 to 65535)"},
        {{"fail", "BoardReadInput", "0x80", "1", "2"}, "usage: korixsim fail OP WORD [COUNT]"},
        {{"delay", "BoardClose", "3600001"}, "'3600001' is not a delay in ms"},
        {{"delay", "BoardClose", "10", "4294967296"}, "'4294967296' is not a count"},
        {{"load"}, "usage: korixsim load FILE"},
        {{"show", "--board", "0"}, "'0' is not a board number (1 to 255)"},
        {{"show", "--board=256"}, "'256' is not a board number (1 to 255)"},
        {{"show", "--board"}, "--board needs a board number"},
    };
    for (const SBadArguments& bad : kCases)
    {
        SRun run = RunKorixsim(bad.args);
        EXPECT_EQ(2, run.nExitCode) << run.strOutput;
        EXPECT_THAT(run.strOutput, HasSubstr(std::string("korixsim: ") + bad.pszMessage));
    }
}

TEST_F(KorixsimTest, HelpExitsZero)
{
    SRun overview = RunKorixsim({"--help"});
    EXPECT_EQ(0, overview.nExitCode);
    EXPECT_THAT(overview.strOutput, HasSubstr("fail OP WORD [COUNT]"));
    SRun verb = RunKorixsim({"delay", "--help"});
    EXPECT_EQ(0, verb.nExitCode);
    EXPECT_THAT(verb.strOutput, HasSubstr("Usage: korixsim delay OP MS [COUNT] [--board N]"));
}

TEST_F(KorixsimTest, RefusalsOfTheBoardExitOne)
{
    std::string strBadPlant = WriteFile(R"({"slaves": [{"address": 1, "input_length": 245,
                                           "output_length": 0}]})");
    struct
    {
        std::vector<std::string> args;
        const char* pszMessage;
    } const kCases[] = {
        {{"outputs", "7"}, "no slave at address 7"},
        {{"slave-state", "6", "2"}, "no slave at address 6"},
        {{"set-input", "3", "6", "010203"}, "slave 3 has 8 input bytes"},
        {{"load", "/nonexistent/plant.json"}, "cannot open /nonexistent/plant.json"},
        {{"load", strBadPlant}, "slaves[0].input_length: must be an integer from 0 to 244"},
    };
    for (const auto& refused : kCases)
    {
        SRun run = Run(refused.args);
        EXPECT_EQ(1, run.nExitCode) << run.strOutput;
        EXPECT_THAT(run.strOutput, HasSubstr(refused.pszMessage));
    }
    EXPECT_STREQ("default", Snapshot()->sState.sPlant.szSource);
}

TEST_F(KorixsimTest, VerbsReachTheBoard)
{
    SHandle handle = Register({3, 9});
    ASSERT_EQ(0, Run({"load", WriteFile(R"({"slaves": [
        {"address": 3, "input_length": 8, "output_length": 8},
        {"address": 9, "input_length": 4, "output_length": 2}]})")})
                     .nExitCode);
    EXPECT_EQ(0, Run({"set-input", "9", "1", "AB", "cd"}).nExitCode);
    EXPECT_THAT(DataOf(Call(BoardReadInput, MakeRequest(handle, 9))),
                ::testing::ElementsAre(0, 0xAB, 0xCD, 0));

    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(handle, 9, {0x12, 0x34})).wError);
    SRun outputs = Run({"outputs", "9"});
    EXPECT_EQ(0, outputs.nExitCode);
    EXPECT_EQ("12 34\n", outputs.strOutput);

    EXPECT_EQ(0, Run({"slave-state", "9", "4"}).nExitCode);
    EXPECT_EQ(0, Run({"master-mode", "0x40"}).nExitCode);
    SBoardRequest read = Call(BoardReadInput, MakeRequest(handle, 9));
    EXPECT_EQ(4, read.bySlaveState);
    EXPECT_EQ(0x40, read.byMasterState);

    EXPECT_EQ(0, Run({"fail", "boardreadinput", "0x8B", "2"}).nExitCode);
    EXPECT_EQ(0, Run({"delay", "BOARDCLOSE", "5", "3"}).nExitCode);
    SRun show = Run({"show"});
    EXPECT_EQ(0, show.nExitCode);
    EXPECT_THAT(show.strOutput, HasSubstr("Master mode: 0x40 (stop)"));
    EXPECT_THAT(show.strOutput, HasSubstr("address 9: state 4"));
    EXPECT_THAT(show.strOutput, HasSubstr("BoardReadInput: the next 2 calls answer 0x8B"));
    EXPECT_THAT(show.strOutput, HasSubstr("BoardClose: the next 3 calls take 5 ms longer"));
    EXPECT_THAT(show.strOutput,
                HasSubstr("pid " + std::to_string(testsupport::CurrentProcessId()) + " (running)"));
    EXPECT_EQ(0x8B, Call(BoardReadInput, MakeRequest(handle, 9)).wError);
    // One call left: said in the singular, here and when it is set.
    EXPECT_THAT(Run({"show"}).strOutput, HasSubstr("BoardReadInput: the next call answers 0x8B"));
    SRun once = Run({"delay", "BoardClose", "5", "1"});
    EXPECT_THAT(once.strOutput, HasSubstr("the next call of BoardClose takes 5 ms longer"));
    EXPECT_THAT(Run({"fail", "BoardClose", "0x81", "2"}).strOutput,
                HasSubstr("the next 2 calls of BoardClose answer 0x81"));
    EXPECT_EQ(0, Run({"fail", "BoardClose", "0x81", "0"}).nExitCode);

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
