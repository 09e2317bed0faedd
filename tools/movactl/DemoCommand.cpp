#include "tools/movactl/Command.h"
#include "tools/movactl/Demo.h"
#include "tools/movactl/MasterServes.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"
#include "tools/movactl/ValueText.h"
#include "trace/SessionNames.h"

#include <cstdio>

namespace movactl
{

namespace
{

std::string BoardSession(const char* pszBase, std::int32_t nBoard)
{
    char szName[tracenames::kSessionNameSize];
    tracenames::ComposeBoardSession(szName, pszBase, nBoard);
    return szName;
}

std::string DPComSession(std::int32_t nBoard)
{
    char szName[tracenames::kSessionNameSize];
    tracenames::ComposeDPComSession(szName, nBoard);
    return szName;
}

void SayIntro(std::int32_t nBoard)
{
    std::printf("movactl demo: the MovaJob library and a DP master board, step by step.\n\n");
    std::printf("While it works the library writes a trace: the job under the session %s, the\n"
                "protocol object under %s and the DP communication under %s, to the trace\n"
                "window classes %s, %s and %s. Run 'movatrace' in another\n"
                "terminal to see those lines.\n",
                BoardSession(tracenames::kJobSession, nBoard).c_str(),
                BoardSession(tracenames::kProtoSession, nBoard).c_str(),
                DPComSession(nBoard).c_str(), tracenames::kJobWindowClass,
                tracenames::kProtoWindowClass, tracenames::kDPComWindowClass);
}

// A level can be raised only while its session exists, from the open to the end of the demo.
std::string LevelHint(std::int32_t nBoard)
{
    std::string strJob = BoardSession(tracenames::kJobSession, nBoard);
    return "The trace sessions " + strJob + ", " + BoardSession(tracenames::kProtoSession, nBoard) +
           " and " + DPComSession(nBoard) + " now exist: 'movatrace level " + strJob +
           " 100'\nin another terminal shows every call from here on.";
}

std::string ResetHint(std::int32_t nBoard)
{
    return "'korixsim reset --board " + std::to_string(nBoard) + "' brings it back";
}

std::string VersionsOf(IMovaJob* pJob)
{
    std::string strText = std::string("\"") + pJob->GetVersion() + "\"";
    IMovaProto* pProto = nullptr;
    if (pJob->GetProto(&pProto) == S_OK && pProto != nullptr)
    {
        strText += std::string(",\nwhose protocol object is \"") + pProto->GetVersion() + "\"";
        pProto->Release();
    }
    return strText;
}

bool ShowOpening(CBoardSession& session, int nStep)
{
    SayStep(nStep, "Open board " + std::to_string(session.GetBoard()));
    if (!session.Start())
        return false;
    Say("Loaded " + session.GetLibrary().GetPath() +
        "\nby its file name. Its export CreateIMovaJob made the job " +
        VersionsOf(session.GetJob()) +
        ".\nThe job took our notification sink (its GetVersion answers \"" + kMovaJobVersion +
        "\"),\nand OpenJob registered at the board and learned each slave's image lengths into\n"
        "our slave table:");
    for (std::uint8_t byAddress : session.GetSlaves())
    {
        const SConSpec* pEntry = session.FindSlave(byAddress);
        Say("  slave " + std::to_string(byAddress) + ": " + std::to_string(pEntry->wLenIn) +
            " bytes in, " + std::to_string(pEntry->wLenOut) + " bytes out");
    }
    Say(LevelHint(session.GetBoard()));
    return true;
}

bool ShowConnections(CBoardSession& session, int nStep)
{
    SayStep(nStep, "Test every connection");
    Say("One batch of JobTestConn records, one per slave. Status numbers 42 and 43 (slave\n"
        "states 2 and 3) mean that the slave exchanges data with the master.");
    std::vector<SJobParam> aRecords;
    if (!TestConnections(session, aRecords))
        return false;
    Say(ConnectionTable(session, aRecords).Format());
    bool bAllConnected = true;
    for (const SJobParam& record : aRecords)
        bAllConnected = bAllConnected && record.lResult == MOVA_RESULT_DONE;
    return bAllConnected;
}

bool ShowInputs(CBoardSession& session, int nStep)
{
    SayStep(nStep, "Read every slave's inputs");
    Say("A batch addresses one slave, so one read batch per slave, each a single record\n"
        "over the whole input image:");
    bool bAllRead = true;
    for (std::uint8_t byAddress : session.GetSlaves())
    {
        std::uint16_t wLength = session.FindSlave(byAddress)->wLenIn;
        std::string strSlave = "  slave " + std::to_string(byAddress) + ": ";
        if (wLength == 0)
        {
            Say(strSlave + "no inputs");
            continue;
        }
        CVariableBatch batch = MakeReadBatch(session, {WholeImage(byAddress, wLength, false)});
        bool bDone = ReadVariables(session, batch) && batch.GetResult(0) == MOVA_RESULT_DONE;
        bAllRead = bAllRead && bDone;
        const std::vector<std::uint8_t>& abyImage = batch.GetValue(0);
        std::size_t nShown = abyImage.size() > 16 ? 16 : abyImage.size();
        Say(strSlave +
            (bDone ? HexBytes(abyImage.data(), nShown) : DescribeResult(batch.GetResult(0))) +
            (bDone && nShown < abyImage.size()
                 ? " ... (" + std::to_string(abyImage.size()) + " bytes)"
                 : ""));
    }
    return bAllRead;
}

void ShowClosing(CBoardSession& session, int nStep)
{
    SayStep(nStep, "Close");
    std::int32_t lResult = session.CloseJob();
    Say("CloseJob answered " + DescribeCloseResult(lResult) +
        ": the worker has ended, the board registration is closed and the job\n"
        "has let go of our sink. Releasing the job's last reference destroys it, and then the\n"
        "library is unloaded.");
}

} // namespace

void SayStep(int nStep, const std::string& strTitle)
{
    std::printf("\n%d. %s\n", nStep, strTitle.c_str());
}

void Say(const std::string& strText)
{
    std::size_t nStart = 0;
    while (nStart < strText.size())
    {
        std::size_t nEnd = strText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        std::printf("   %s\n", strText.substr(nStart, nEnd - nStart).c_str());
        nStart = nEnd + 1;
    }
    std::fflush(stdout);
}

bool HasPlantSlave(const CBoardSession& session, std::uint8_t byAddress, std::uint16_t wLenIn,
                   std::uint16_t wLenOut)
{
    const SConSpec* pEntry = session.FindSlave(byAddress);
    if (pEntry != nullptr && pEntry->wLenIn == wLenIn && pEntry->wLenOut == wLenOut)
        return true;
    Say("Skipped: this needs slave " + std::to_string(byAddress) + " with " +
        std::to_string(wLenIn) + " bytes in and " + std::to_string(wLenOut) +
        " out, as in the simulated\nboard's default plant (" + ResetHint(session.GetBoard()) +
        ").");
    return false;
}

std::vector<SVariable> ParseReads(std::initializer_list<std::string> aTexts)
{
    std::vector<SVariable> aVariables;
    for (const std::string& strText : aTexts)
    {
        std::string strError;
        aVariables.emplace_back();
        ParseReadVariable(strText, aVariables.back(), strError);
    }
    return aVariables;
}

std::vector<SVariable> ParseWrites(const std::vector<std::string>& aTexts)
{
    std::vector<SVariable> aVariables;
    for (const std::string& strText : aTexts)
    {
        std::string strError;
        aVariables.emplace_back();
        ParseWriteVariable(strText, aVariables.back(), strError);
    }
    return aVariables;
}

namespace
{

// The last line names what gave the values: a DP master's bus or the simulated plant. The
// master is asked at the end, when every step has seen what served the board.
void SayOutcome(bool bAsExpected, std::int32_t nBoard)
{
    if (DpMasterServes(nBoard))
    {
        std::printf(bAsExpected ? "\nEvery step went as the DP bus's slaves promise (served "
                                  "by korix-dpmaster).\n"
                                : "\nNot every step went as the DP bus's slaves promise "
                                  "(served by korix-dpmaster); see above.\n");
        return;
    }
    if (bAsExpected)
        std::printf("\nEvery step went as the simulated board's default plant promises.\n");
    else
        std::printf("\nNot every step went as the simulated board's default plant promises; see "
                    "above.\nOn the simulated board, %s.\n",
                    ResetHint(nBoard).c_str());
}

int RunDemo(const SArguments& args, std::uint32_t dwSeconds)
{
    SayIntro(args.nBoard);
    CBoardSession session(args);
    if (!ShowOpening(session, 1))
        return ExitFailed;
    bool bAsExpected = ShowConnections(session, 2);
    bAsExpected = ShowInputs(session, 3) && bAsExpected;
    bAsExpected = ShowLoopback(session, 4) && bAsExpected;
    bAsExpected = ShowMovingInputs(session, 5, dwSeconds) && bAsExpected;
    bAsExpected = ShowQueue(session, 6) && bAsExpected;
    if (session.IsOpen())
        ShowClosing(session, 7);
    SayOutcome(bAsExpected, args.nBoard);
    return bAsExpected ? ExitOk : ExitFailed;
}

const SCommandText kText = {
    .pszName = "demo",
    .pszDescription =
        "Walks through the library on the simulated board's default plant and says what each\n"
        "step shows: open the board, test every connection, read every slave's inputs, write a\n"
        "pattern to the loopback slaves 3 and 5 and read it back, watch the moving inputs of\n"
        "slave 4 for N seconds (default 3), queue batches and withdraw one before it runs, close.",
};

class CDemoCommand final : public CCommand
{
public:
    CDemoCommand() : CCommand(kText) {}

    void AddOptions(CLI::App& command, CCommonOptions& common) override
    {
        common.AddSlaves(command);
        command
            .add_option("--seconds", m_dwSeconds,
                        "how long the moving inputs are watched (default 3)")
            ->check(tools::Number(1, 3600))
            ->type_name("N");
    }

    int Run(const SArguments& args) override { return RunDemo(args, m_dwSeconds); }

private:
    std::uint32_t m_dwSeconds = 3;
};

} // namespace

CommandPtr MakeDemoCommand()
{
    return std::make_unique<CDemoCommand>();
}

} // namespace movactl
