// movactl's command line with every registered command, without library or board: which
// command a line chooses, with which arguments, and what it refuses.
#include "tools/movactl/CommandLine.h"
#include "tools/movactl/CommandTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

using testing::ElementsAre;
using testing::EndsWith;
using testing::HasSubstr;
using testing::StartsWith;

namespace
{

using namespace movactl;

// What each command needs after its name to be a complete line. Every registered command has
// an entry, so that a new one is tried here too.
const std::map<std::string, std::vector<std::string>> kOperands = {
    {"demo", {}},           {"scan", {}},         {"test", {}},   {"read", {"3:0:8"}},
    {"write", {"3:0:8=1"}}, {"watch", {"3:0:8"}}, {"status", {}},
};

struct SParsed
{
    std::optional<int> nDone; // nothing: the command is to run
    std::string strCommand;   // the command to run, "" for none
    SArguments args;
    std::string strOutput;
    std::string strErrors;
};

SParsed Parse(const std::vector<std::string>& aArgs)
{
    std::vector<const char*> argv{"movactl"};
    for (const std::string& strArg : aArgs)
        argv.push_back(strArg.c_str());
    CCommandLine commandLine(MakeCommands());
    SParsed parsed;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    parsed.nDone = commandLine.Parse(static_cast<int>(argv.size()), argv.data());
    parsed.strOutput = testing::internal::GetCapturedStdout();
    parsed.strErrors = testing::internal::GetCapturedStderr();
    if (commandLine.GetCommand() != nullptr)
        parsed.strCommand = commandLine.GetCommand()->GetText().pszName;
    parsed.args = commandLine.GetArguments();
    return parsed;
}

// The command's name, its operands, then aMore.
std::vector<std::string> Line(const std::string& strCommand, std::vector<std::string> aMore = {})
{
    std::vector<std::string> aArgs{strCommand};
    aArgs.insert(aArgs.end(), kOperands.at(strCommand).begin(), kOperands.at(strCommand).end());
    aArgs.insert(aArgs.end(), aMore.begin(), aMore.end());
    return aArgs;
}

std::string LineStartingWith(const std::string& strText, const std::string& strStart)
{
    std::size_t nAt = strText.find("\n" + strStart);
    if (nAt == std::string::npos)
        return "";
    return strText.substr(nAt + 1, strText.find('\n', nAt + 1) - nAt - 1);
}

TEST(MovactlCommandLineTest, EveryCommand_ListedWithItsDescriptionAndHasItsOwnPage)
{
    SParsed overview = Parse({"--help"});
    ASSERT_EQ(tools::ExitOk, overview.nDone);
    for (const CommandPtr& pCommand : MakeCommands())
    {
        const SCommandText& text = pCommand->GetText();
        SCOPED_TRACE(text.pszName);
        EXPECT_EQ(1u, kOperands.count(text.pszName)) << "a command this test does not know";
        const std::string strDescription = text.pszDescription;
        const std::string strFirstLine = strDescription.substr(0, strDescription.find('\n'));
        EXPECT_THAT(LineStartingWith(overview.strOutput, std::string("  ") + text.pszName + " "),
                    EndsWith(strFirstLine));

        SParsed page = Parse({text.pszName, "--help"});
        EXPECT_EQ(tools::ExitOk, page.nDone);
        EXPECT_THAT(page.strOutput, StartsWith(strDescription + "\n"));
        EXPECT_THAT(page.strOutput, HasSubstr(std::string("\nUsage: movactl ") + text.pszName));
        EXPECT_THAT(page.strOutput,
                    EndsWith(std::string(text.pszExamples) + kEveryCommandNote + "\n"));
    }
}

TEST(MovactlCommandLineTest, OptionsOfEveryCommand_BeforeOrAfterItsNameInBothForms)
{
    for (const auto& [strCommand, aOperands] : kOperands)
    {
        SCOPED_TRACE(strCommand);
        SParsed plain = Parse(Line(strCommand));
        ASSERT_EQ(std::nullopt, plain.nDone) << plain.strErrors;
        EXPECT_EQ(strCommand, plain.strCommand);
        EXPECT_EQ(1, plain.args.nBoard);
        EXPECT_EQ(0, plain.args.byWatchdog);
        EXPECT_EQ("", plain.args.strLibrary);
        EXPECT_TRUE(plain.args.abySlaves.empty()); // the board's slaves
        EXPECT_FALSE(plain.args.bQuiet);

        std::vector<std::string> aBefore{"--board=7", "--watchdog", "20", "--lib", "/x/lib.so"};
        const std::vector<std::string> aLine = Line(strCommand);
        aBefore.insert(aBefore.end(), aLine.begin(), aLine.end());
        for (const std::vector<std::string>& aArgs :
             {aBefore, Line(strCommand, {"--board", "0x07", "--watchdog=20", "--lib=/x/lib.so"})})
        {
            SParsed given = Parse(aArgs);
            ASSERT_EQ(std::nullopt, given.nDone) << given.strErrors;
            EXPECT_EQ(strCommand, given.strCommand);
            EXPECT_EQ(7, given.args.nBoard);
            EXPECT_EQ(20, given.args.byWatchdog);
            EXPECT_EQ("/x/lib.so", given.args.strLibrary);
        }
    }
    EXPECT_THAT(Parse({"watch", "--slaves", "9,0x0A", "10:0:8"}).args.abySlaves,
                ElementsAre(9, 10));
}

TEST(MovactlCommandLineTest, OwnOptions_TakenByTheirCommandsAndRefusedByTheOthers)
{
    struct SOptionCase
    {
        std::vector<std::string> aOption;
        std::set<std::string> setTakenBy;
    };
    const SOptionCase aCases[] = {
        {{"--slaves", "3"}, {"demo", "test", "read", "write", "watch"}},
        {{"--quiet"}, {"test", "read", "write", "scan"}},
        {{"--seconds", "5"}, {"demo"}},
        {{"--interval", "100"}, {"watch"}},
        {{"--count", "1"}, {"watch"}},
        {{"--plot", "0"}, {"watch"}},
        {{"--csv"}, {"watch"}},
        {{"--json"}, {"watch"}},
    };
    for (const SOptionCase& option : aCases)
    {
        for (const auto& [strCommand, aOperands] : kOperands)
        {
            SCOPED_TRACE(strCommand + " " + option.aOption.front());
            SParsed parsed = Parse(Line(strCommand, option.aOption));
            if (option.setTakenBy.count(strCommand) == 0)
            {
                EXPECT_EQ(tools::ExitUsage, parsed.nDone);
                EXPECT_THAT(parsed.strErrors, HasSubstr("not expected: "));
                EXPECT_EQ("", parsed.strCommand);
                continue;
            }
            ASSERT_EQ(std::nullopt, parsed.nDone) << parsed.strErrors;
            EXPECT_EQ(strCommand, parsed.strCommand);
            if (option.aOption.front() == "--slaves")
            {
                EXPECT_THAT(parsed.args.abySlaves, ElementsAre(3));
            }
            EXPECT_EQ(option.aOption.front() == "--quiet", parsed.args.bQuiet);
        }
    }
}

TEST(MovactlCommandLineTest, SecondCommand_RefusedAndNeitherRuns)
{
    const std::vector<std::string> aaLines[] = {
        {"scan", "test"},
        {"test", "scan"},
        {"demo", "--lib", "/x/lib.so", "status"},
        {"status", "--board", "2", "scan", "--quiet"},
        {"read", "3:0:8", "watch", "3:1:8", "--count", "1"},
        {"watch", "3:1:8", "read", "3:0:8"},
    };
    for (const std::vector<std::string>& aLine : aaLines)
    {
        SCOPED_TRACE(testing::PrintToString(aLine));
        SParsed parsed = Parse(aLine);
        EXPECT_EQ(tools::ExitUsage, parsed.nDone);
        EXPECT_EQ("", parsed.strCommand);
        EXPECT_THAT(parsed.strErrors, EndsWith("\nTry 'movactl --help'.\n"));
    }
}

TEST(MovactlCommandLineTest, Help_WinsOverOperandsThatWouldNotDo)
{
    SParsed write = Parse({"write", "--help", "3:0:8"});
    EXPECT_EQ(tools::ExitOk, write.nDone);
    EXPECT_THAT(write.strOutput, HasSubstr("Usage: movactl write [OPTIONS] VAR=VALUE..."));
    EXPECT_EQ("", write.strErrors);
    SParsed read = Parse({"read", "x", "-h"});
    EXPECT_EQ(tools::ExitOk, read.nDone);
    EXPECT_THAT(read.strOutput, HasSubstr("Usage: movactl read [OPTIONS] VAR..."));
}

} // namespace
