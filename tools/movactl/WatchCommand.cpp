#include "tools/common/StopRequest.h"
#include "tools/common/Terminal.h"
#include "tools/movactl/Commands.h"
#include "tools/movactl/ReadSet.h"
#include "tools/movactl/Transfers.h"

#include <cstdio>
#include <string>

namespace movactl
{

namespace
{

// On a terminal a round replaces the one before; elsewhere (a file, a pipe) rounds follow
// one another, so that nothing but text reaches a reader.
class CRoundPrinter
{
public:
    explicit CRoundPrinter(bool bInPlace) : m_bInPlace(bInPlace) {}

    void Print(const std::string& strRound, std::size_t nLines)
    {
        if (m_bInPlace && m_nLinesShown > 0)
            tools::RewindLines(stdout, m_nLinesShown);
        std::fputs(strRound.c_str(), stdout);
        if (!m_bInPlace)
            std::fputs("\n", stdout);
        std::fflush(stdout);
        m_nLinesShown = nLines;
    }

private:
    bool m_bInPlace;
    std::size_t m_nLinesShown = 0;
};

} // namespace

int RunWatch(const SArguments& args)
{
    tools::CStopRequest stopRequest;
    CBoardSession session(args);
    if (!session.Start() || !CheckSlavesOnBoard(session, args.aVariables))
        return ExitFailed;
    CReadSet reads(session, args.aVariables);
    CRoundPrinter printer(tools::IsTerminal(stdout));
    bool bFailed = false;
    for (std::uint32_t dwRound = 1; !tools::CStopRequest::IsStopRequested(); ++dwRound)
    {
        if (!reads.Read())
            return ExitFailed;
        bFailed = reads.AnyFailed();
        CTextTable table = reads.Table();
        std::string strHeading = "round " + std::to_string(dwRound) + ", every " +
                                 std::to_string(args.dwIntervalMs) + " ms" +
                                 (args.dwRounds ? "" : " (Ctrl-C stops)") + "\n";
        printer.Print(strHeading + table.Format(), table.GetLineCount() + 1);
        if (dwRound == args.dwRounds || !tools::CStopRequest::SleepUnlessStopped(args.dwIntervalMs))
            break;
    }
    return bFailed ? ExitFailed : ExitOk;
}

} // namespace movactl
