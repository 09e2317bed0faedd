// What movactl says about its command line, and how it fails when the library or the board
// cannot be had.
#include "tests/movactl/MovactlRun.h"

using testing::HasSubstr;

namespace movactltest
{
namespace
{

struct SUsageCase
{
    std::vector<std::string> aArgs;
    const char* pszMessage;
};

TEST_F(MovactlTest, WrongArguments_ExitTwoAndSayWhatIsWrong)
{
    const SUsageCase aCases[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "not expected: frobnicate"},
        {{"test", "--bogus"}, "not expected: --bogus"},
        {{"test", "--board"}, "--board: 1 required N:NUMBER 1 to 255 missing"},
        {{"test", "--board=256"}, "--board: '256' is not a number from 1 to 255"},
        {{"test", "--board", "0"}, "--board: '0' is not a number from 1 to 255"},
        {{"scan", "--slaves", "3"}, "not expected: 3 --slaves"},
        {{"scan", "3:0:8"}, "not expected: 3:0:8"},
        {{"test", "--slaves", "3,x"}, "--slaves: 'x' is not a slave address (1 to 125)"},
        {{"test", "--slaves", "3,3"}, "--slaves: slave 3 is listed twice"},
        {{"test", "extra"}, "not expected: extra"},
        {{"test", "--interval", "100"}, "not expected: 100 --interval"},
        {{"demo", "--seconds", "0"}, "--seconds: '0' is not a number from 1 to 3600"},
        {{"read"}, "VAR is required"},
        {{"read", "3:0"}, "VAR: '3:0': expected SLAVE:BYTE[.BIT]:BITS"},
        {{"read", "3:0:0"}, "'0' is not a number of bits (1 to 2040)"},
        {{"read", "3:0.2:8"}, "a bit number (BYTE.BIT) goes with 1 bit only"},
        {{"read", "3:0:8:big"}, "'big' is neither 'swap' nor 'out'"},
        {{"read", "3:0:24:swap"}, "':swap' works on 16, 32 and 64 bits only"},
        {{"read", "3:0:8=1"}, "a read takes no value"},
        {{"read", "--slaves", "3,4", "3:0:8", "7:0:8"}, "slave 7 is not configured (--slaves 3,4)"},
        {{"read", "3:0:i24"}, "'i24' is neither a number of bits nor a type"},
        {{"watch", "3:0:i8:swap"}, "':swap' works on 16, 32 and 64 bits only"},
        {{"write", "3:0:8"}, "VAR=VALUE: '3:0:8': expected SLAVE:BYTE[.BIT]:BITS=VALUE"},
        {{"write", "3:0:8=256"}, "'256' is not a value of type u8 (0 to 255)"},
        {{"write", "3:0.1:1=2"}, "'2' is not a value of type bit (0 to 1)"},
        {{"write", "3:0:i16=-32769"}, "'-32769' is not a value of type i16 (-32768 to 32767"},
        {{"write", "3:0:f32=1e39"}, "'1e39' is not a value of type f32"},
        {{"write", "3:0:8=1:out"}, "':out' is for reads"},
        {{"write", "3:0:80=0x0102"}, "80 bits is written as 0x and 20 hex digits"},
        {{"write", "3:0:8=5", "5:0:8=5"}, "all variables of one write must name the same slave"},
        {{"watch", "3:0:8", "--interval", "5"},
         "--interval: '5' is not a number from 10 to 3600000"},
        {{"watch", "3:0:8", "--csv", "--json"}, "--csv excludes --json"},
        {{"watch", "3:0:8", "--plot", "201"}, "--plot: '201' is not a number from 0 to 200"},
    };
    for (const SUsageCase& usage : aCases)
    {
        SCOPED_TRACE(testing::PrintToString(usage.aArgs));
        SRun run = RunMovactl(usage.aArgs);
        EXPECT_EQ(2, run.nExitCode);
        EXPECT_THAT(run.strOutput, HasSubstr(usage.pszMessage));
        EXPECT_THAT(run.strOutput, HasSubstr("Try 'movactl --help'."));
    }
}

TEST_F(MovactlTest, Help_OfTheProgramAndOfEachCommand)
{
    SRun overview = RunMovactl({"--help"});
    EXPECT_EQ(0, overview.nExitCode);
    EXPECT_THAT(overview.strOutput, HasSubstr("Usage: movactl [OPTIONS] [COMMAND]"));
    for (const char* pszVerb : {"demo", "test", "read", "write", "watch", "scan"})
    {
        SRun run = RunMovactl({pszVerb, "--help"});
        EXPECT_EQ(0, run.nExitCode);
        EXPECT_THAT(run.strOutput, HasSubstr(std::string("Usage: movactl ") + pszVerb));
        // The options of every command are named on each command's page.
        EXPECT_THAT(run.strOutput, HasSubstr("--board N"));
    }
}

TEST_F(MovactlTest, LibraryNotToBeHad_ExitsOneAndSaysWhy)
{
    SRun missing = RunMovactl({"test", "--lib", "/nonexistent/libmovajob.so"});
    EXPECT_EQ(1, missing.nExitCode);
    EXPECT_THAT(missing.strOutput, HasSubstr("cannot load /nonexistent/libmovajob.so"));

    SRun other = RunMovactl({"test", "--lib", KORIX_LIBRARY_PATH});
    EXPECT_EQ(1, other.nExitCode);
    EXPECT_THAT(other.strOutput, HasSubstr("does not export CreateIMovaJob"));
}

TEST_F(MovactlTest, OpenJobRefused_ExitsOneWithItsResultInWords)
{
    // The learning registration at open is not checked, the real one is: both refused.
    ASSERT_TRUE(korix::InjectError(1, korix::OpBoardRegister, 0x82, 2).bOk);
    SRun full = RunMovactl({"test"});
    EXPECT_EQ(1, full.nExitCode);
    EXPECT_THAT(full.strOutput,
                HasSubstr("cannot open board 1: OpenJob answered -3: board error 0x82 (3)"));
}

} // namespace
} // namespace movactltest
