#include "include/MovaRecords.h"
#include "tools/common/StopRequest.h"
#include "tools/common/Terminal.h"
#include "tools/movactl/Command.h"
#include "tools/movactl/LocalTime.h"
#include "tools/movactl/ReadSet.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Sparkline.h"
#include "tools/movactl/TerminalEncoding.h"
#include "tools/movactl/Transfers.h"
#include "tools/movactl/ValueText.h"
#include "tools/movactl/VariableOperands.h"
#include "tools/movactl/WatchRecords.h"
#include "tools/movactl/WatchdogRhythm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace movactl
{

namespace
{

using std::chrono::steady_clock;
using std::chrono::system_clock;

// The watch's own options.
struct SWatchOptions
{
    std::uint32_t dwIntervalMs = 500;
    std::uint32_t dwRounds = 0;     // 0 until stopped
    bool bCsv = false;              // records as CSV instead of the table
    bool bJson = false;             // records as JSON Lines instead of the table
    std::uint16_t wPlotRounds = 20; // on a terminal: rounds in each plot, 0 for none
};

// A round is stalled when it is not reported within its interval, and never before a second:
// a busy machine may take longer than a short interval without anything being wrong.
constexpr std::uint32_t kStallFloorMs = 1000;

// On a terminal a round replaces the one before; elsewhere (a file, a pipe) rounds follow
// one another, so that nothing but text reaches a reader. Lasting lines (a stalled round) go
// above the round and stay.
class CRoundPrinter
{
public:
    explicit CRoundPrinter(bool bInPlace) : m_bInPlace(bInPlace) {}

    void Print(const std::string& strRound, std::size_t nLines)
    {
        Rewind();
        std::fputs(strRound.c_str(), stdout);
        if (!m_bInPlace)
            std::fputs("\n", stdout);
        std::fflush(stdout);
        m_strShown = strRound;
        m_nLinesShown = nLines;
    }

    void PrintLasting(const std::string& strLine)
    {
        Rewind();
        std::fputs((strLine + "\n").c_str(), stdout);
        // The round shown before comes back below the line, until the next one replaces it.
        if (m_bInPlace)
            std::fputs(m_strShown.c_str(), stdout);
        std::fflush(stdout);
    }

private:
    void Rewind()
    {
        if (m_bInPlace && m_nLinesShown > 0)
            tools::RewindLines(stdout, m_nLinesShown);
    }

    bool m_bInPlace;
    std::string m_strShown;
    std::size_t m_nLinesShown = 0;
};

// What the closing summary says: how many rounds, how many had a fault or stalled, the first
// of each.
struct SWatchTally
{
    std::uint32_t dwRounds = 0;
    std::uint32_t dwFaulty = 0;
    std::uint32_t dwStalled = 0;
    std::string strFirstFault;
    std::string strFirstStall;

    std::string Summary() const
    {
        std::string strText =
            "watch: " + std::to_string(dwRounds) + (dwRounds == 1 ? " round, " : " rounds, ");
        if (dwFaulty == 0)
            strText += "none with a fault";
        else
            strText += std::to_string(dwFaulty) + " with a fault, the first at " + strFirstFault;
        if (dwStalled > 0)
            strText += "; " + std::to_string(dwStalled) + " stalled, the first at " + strFirstStall;
        return strText;
    }
};

// "done" when every variable was read, else the first failed variable and its result.
std::string RoundResult(const CReadSet& reads)
{
    std::size_t nFailed = 0;
    std::string strFirst;
    for (std::size_t i = 0; i < reads.GetCount(); ++i)
    {
        if (reads.GetResult(i) == MOVA_RESULT_DONE)
            continue;
        if (nFailed++ == 0)
            strFirst = reads.GetVariable(i).strText + " " + DescribeResult(reads.GetResult(i));
    }
    if (nFailed == 0)
        return DescribeResult(MOVA_RESULT_DONE);
    return nFailed == 1 ? strFirst
                        : strFirst + " and " + std::to_string(nFailed - 1) + " more failed";
}

std::string Seconds(steady_clock::duration elapsed)
{
    char szText[32];
    std::snprintf(szText, sizeof szText, "%.1f s",
                  static_cast<double>(
                      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) /
                      1000.0);
    return szText;
}

class CWatch
{
public:
    CWatch(const SWatchOptions& options, CReadSet& reads)
        : m_options(options), m_reads(reads),
          m_printer(!IsRecording() && tools::IsTerminal(stdout)),
          m_bPlots(!IsRecording() && tools::IsTerminal(stdout) && options.wPlotRounds > 0),
          m_eGlyphs(TerminalShowsUtf8(stdout) ? teGlyphs::Blocks : teGlyphs::Ascii),
          m_aPlots(reads.GetCount(), CSparkline(options.wPlotRounds))
    {
        if (IsRecording())
        {
            m_records.emplace(options.bJson ? teRecordFormat::Json : teRecordFormat::Csv, stdout);
            m_records->WriteHeader();
            m_records->Flush();
        }
    }

    // False when a round could not be put.
    bool RunRound(std::uint32_t dwRound)
    {
        TWallTime time = system_clock::now();
        steady_clock::time_point start = steady_clock::now();
        std::uint32_t dwStallMs = std::max(m_options.dwIntervalMs, kStallFloorMs);
        std::string strRound = ClockText(time) + " round " + std::to_string(dwRound);
        bool bStalled = false;
        bool bPut = m_reads.Read(dwStallMs,
                                 [&]
                                 {
                                     bStalled = true;
                                     SayLasting(strRound + " stalled: no report within " +
                                                std::to_string(dwStallMs) + " ms, waiting");
                                 });
        if (!bPut)
            return false;
        ++m_tally.dwRounds;
        std::string strResult = RoundResult(m_reads);
        if (bStalled)
        {
            if (m_tally.dwStalled++ == 0)
                m_tally.strFirstStall = ClockText(time);
            SayLasting(strRound + " stalled: reported after " +
                       Seconds(steady_clock::now() - start) + ": " + strResult);
        }
        if (m_reads.AnyFailed() && m_tally.dwFaulty++ == 0)
            m_tally.strFirstFault = ClockText(time) + ": " + strResult;
        if (m_records)
            Record(time);
        else
            Show(time, dwRound);
        return true;
    }

    const SWatchTally& GetTally() const { return m_tally; }

private:
    bool IsRecording() const { return m_options.bCsv || m_options.bJson; }

    // Records own standard output; there the marks go to standard error.
    void SayLasting(const std::string& strLine)
    {
        if (m_records)
        {
            std::fprintf(stderr, "movactl: %s\n", strLine.c_str());
            std::fflush(stderr);
        }
        else
            m_printer.PrintLasting(strLine);
    }

    void Record(TWallTime time)
    {
        for (std::size_t i = 0; i < m_reads.GetCount(); ++i)
            m_records->Write(time, m_reads.GetVariable(i), m_reads.GetResult(i),
                             m_reads.GetValue(i));
        m_records->Flush();
    }

    void Show(TWallTime time, std::uint32_t dwRound)
    {
        std::vector<std::string> aHeadings{"time", "variable", ">value", ">hex", "result"};
        if (m_bPlots)
        {
            aHeadings.insert(
                aHeadings.end(),
                {">min", "last " + std::to_string(m_options.wPlotRounds) + " rounds", "max"});
        }
        CTextTable table(aHeadings);
        std::string strTime = ClockText(time);
        for (std::size_t i = 0; i < m_reads.GetCount(); ++i)
        {
            const SVariable& variable = m_reads.GetVariable(i);
            bool bDone = m_reads.GetResult(i) == MOVA_RESULT_DONE;
            std::vector<std::string> aCells{strTime, variable.strText,
                                            bDone ? FormatValue(variable, m_reads.GetValue(i)) : "",
                                            bDone ? FormatHex(variable, m_reads.GetValue(i)) : "",
                                            DescribeResult(m_reads.GetResult(i))};
            if (m_bPlots)
                AddPlotCells(i, bDone, aCells);
            table.AddRow(std::move(aCells));
        }
        std::string strHeading = "round " + std::to_string(dwRound) + ", every " +
                                 std::to_string(m_options.dwIntervalMs) + " ms" +
                                 (m_options.dwRounds ? "" : " (Ctrl-C stops)") + "\n";
        m_printer.Print(strHeading + table.Format(), table.GetLineCount() + 1);
    }

    // Only numbers are plotted; a longer run of bytes has no height.
    void AddPlotCells(std::size_t i, bool bDone, std::vector<std::string>& aCells)
    {
        const SVariable& variable = m_reads.GetVariable(i);
        if (variable.wBitLength > 64)
        {
            aCells.insert(aCells.end(), {"", "", ""});
            return;
        }
        CSparkline& plot = m_aPlots[i];
        plot.Add(bDone ? NumericValue(variable, m_reads.GetValue(i)) : std::nullopt);
        std::optional<double> least = plot.Min();
        std::optional<double> most = plot.Max();
        aCells.push_back(least ? FormatNumber(variable, *least) : "");
        aCells.push_back(plot.Render(m_eGlyphs));
        aCells.push_back(most ? FormatNumber(variable, *most) : "");
    }

    const SWatchOptions& m_options;
    CReadSet& m_reads;
    CRoundPrinter m_printer;
    bool m_bPlots;
    teGlyphs m_eGlyphs;
    std::vector<CSparkline> m_aPlots;
    std::optional<CWatchRecords> m_records;
    SWatchTally m_tally;
};

int RunWatch(const SArguments& args, const SWatchOptions& options,
             const std::vector<SVariable>& aVariables)
{
    tools::CStopRequest stopRequest;
    NoteWholeBytes(aVariables);
    if (std::string strWarning = WatchdogWarning(args.byWatchdog, options.dwIntervalMs);
        !strWarning.empty())
        std::fprintf(stderr, "movactl: %s\n", strWarning.c_str());
    CBoardSession session(args);
    if (!session.Start() || !CheckSlavesOnBoard(session, aVariables))
        return ExitFailed;
    CReadSet reads(session, aVariables);
    CWatch watch(options, reads);
    bool bPut = true;
    for (std::uint32_t dwRound = 1; !tools::CStopRequest::IsStopRequested(); ++dwRound)
    {
        bPut = watch.RunRound(dwRound);
        if (!bPut || dwRound == options.dwRounds ||
            !tools::CStopRequest::SleepUnlessStopped(options.dwIntervalMs))
            break;
    }
    // Faults of any round count, not only the last round's.
    std::fprintf(stderr, "movactl: %s\n", watch.GetTally().Summary().c_str());
    return !bPut || watch.GetTally().dwFaulty > 0 ? ExitFailed : ExitOk;
}

const SCommandText kText = {
    .pszName = "watch",
    .pszDescription =
        "Reads the variables again every MS milliseconds (default 500), until Ctrl-C or SIGTERM,\n"
        "or after N rounds; VAR as for read, of any slaves. Each row carries the round's time\n"
        "(HH:MM:SS.mmm, local). On a terminal each round replaces the one before and every\n"
        "number has a plot of its last rounds beside it, with their lowest and highest value\n"
        "(block characters where the locale is UTF-8, else _.-:=+*#; x is a round without a\n"
        "value). A round not reported within its interval (at least 1 s) is marked as stalled\n"
        "on a line that stays. --csv and --json write one record per round and variable instead\n"
        "(time, variable, value, result number, result words). A summary of the rounds and\n"
        "their faults ends on standard error; exit status 1 if any round had a fault.",
    .pszExamples = "Examples: movactl watch 4:0:16:swap 4:2:i16:swap --interval 200\n"
                   "          movactl watch 4:2:i16:swap --count 100 --csv > sine.csv\n",
};

class CWatchCommand final : public CCommand
{
public:
    CWatchCommand() : CCommand(kText) {}

    void AddOptions(CLI::App& command, CCommonOptions& common) override
    {
        common.AddSlaves(command);
        AddReadOperands(command, m_astrVariables);
        AddRhythm(command);
        AddRecordFormats(command);
    }

    void Complete(const SArguments& args) override
    {
        m_options.wPlotRounds = static_cast<std::uint16_t>(m_uPlotRounds);
        m_aVariables = ParseReadOperands(m_astrVariables);
        for (const SVariable& variable : m_aVariables)
            CheckConfigured(variable, args);
    }

    int Run(const SArguments& args) override { return RunWatch(args, m_options, m_aVariables); }

private:
    void AddRhythm(CLI::App& command)
    {
        command
            .add_option("--interval", m_options.dwIntervalMs,
                        "milliseconds between rounds (default 500)")
            ->check(tools::Number(10, 3600000))
            ->type_name("MS");
        command
            .add_option("--count", m_options.dwRounds,
                        "stop after N rounds (default: when stopped)")
            ->check(tools::Number(1, 0xFFFFFFFFu))
            ->type_name("N");
        command
            .add_option("--plot", m_uPlotRounds,
                        "rounds in each plot on a terminal, 0 for none (default 20)")
            ->check(tools::Number(0, 200))
            ->type_name("N");
    }

    void AddRecordFormats(CLI::App& command)
    {
        CLI::Option* pCsv = command.add_flag("--csv", m_options.bCsv,
                                             "CSV records instead of the table: a header line,\n"
                                             "then time,variable,value,result,words");
        CLI::Option* pJson = command.add_flag("--json", m_options.bJson,
                                              "JSON Lines records instead of the table: one\n"
                                              "object per line with the same fields");
        pCsv->excludes(pJson);
    }

    SWatchOptions m_options;
    unsigned m_uPlotRounds = 20; // --plot as parsed, narrowed into m_options
    std::vector<std::string> m_astrVariables;
    std::vector<SVariable> m_aVariables;
};

} // namespace

CommandPtr MakeWatchCommand()
{
    return std::make_unique<CWatchCommand>();
}

} // namespace movactl
