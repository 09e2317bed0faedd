// watch as a logger and as a picture: its records read back as CSV and JSON, its plots on a
// terminal, and faults and stalls injected into the board while it runs; and what movactl says
// while it waits for a slow board.
#include "tests/movactl/MovactlRun.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>

using testing::HasSubstr;

namespace movactltest
{
namespace
{

const char* const kIsoTime =
    "20[0-9][0-9]-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3}[+-][0-9]{2}:["
    "0-9]{2}";

// The lines of the output that are records: movactl's own messages start with its name.
std::vector<std::string> RecordLines(const std::string& strOutput)
{
    std::vector<std::string> aLines;
    std::size_t nStart = 0;
    while (nStart < strOutput.size())
    {
        std::size_t nEnd = strOutput.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strOutput.size();
        std::string strLine = strOutput.substr(nStart, nEnd - nStart);
        if (strLine.rfind("movactl: ", 0) != 0)
            aLines.push_back(strLine);
        nStart = nEnd + 1;
    }
    return aLines;
}

// One CSV line's fields as RFC 4180 reads them (quoted fields, doubled quotes).
std::vector<std::string> CsvFields(const std::string& strLine)
{
    std::vector<std::string> aFields(1);
    bool bQuoted = false;
    for (std::size_t i = 0; i < strLine.size(); ++i)
    {
        char ch = strLine[i];
        if (bQuoted && ch == '"' && i + 1 < strLine.size() && strLine[i + 1] == '"')
            aFields.back() += strLine[++i];
        else if (ch == '"')
            bQuoted = !bQuoted;
        else if (ch == ',' && !bQuoted)
            aFields.emplace_back();
        else
            aFields.back() += ch;
    }
    return aFields;
}

// Signed and float values on the loopback slave 3, the constant of slave 4, a failing read
// and a run longer than 64 bits.
const std::vector<std::string> kWatched{"3:0:i16", "3:2:f32", "4:7:8", "3:8:8", "5:0:80"};

TEST_F(MovactlTest, WatchCsv_OneRecordPerRoundAndVariable_ReadsBack)
{
    ASSERT_EQ(0, RunMovactl({"write", "3:0:i16=-5", "3:2:f32=-1.5"}).nExitCode);
    std::vector<std::string> aArgs{"watch", "--csv", "--count", "2", "--interval", "50"};
    aArgs.insert(aArgs.end(), kWatched.begin(), kWatched.end());
    SRun run = RunMovactl(aArgs);
    EXPECT_EQ(1, run.nExitCode) << run.strOutput; // 3:8:8 fails in every round
    std::vector<std::string> aLines = RecordLines(run.strOutput);
    ASSERT_EQ(1 + 2 * kWatched.size(), aLines.size()) << run.strOutput;
    EXPECT_EQ("time,variable,value,result,words", aLines[0]);
    for (std::size_t nRound = 0; nRound < 2; ++nRound)
    {
        std::vector<std::vector<std::string>> aaRecords;
        for (std::size_t i = 0; i < kWatched.size(); ++i)
            aaRecords.push_back(CsvFields(aLines[1 + nRound * kWatched.size() + i]));
        for (std::size_t i = 0; i < kWatched.size(); ++i)
        {
            ASSERT_EQ(5u, aaRecords[i].size()) << aLines[1 + i];
            EXPECT_THAT(aaRecords[i][0], MatchesPattern(kIsoTime));
            EXPECT_EQ(aaRecords[0][0], aaRecords[i][0]) << "one time per round";
            EXPECT_EQ(kWatched[i], aaRecords[i][1]);
        }
        EXPECT_THAT(aaRecords[0], testing::ElementsAre(testing::_, "3:0:i16", "-5", "0", "done"));
        EXPECT_THAT(aaRecords[1], testing::ElementsAre(testing::_, "3:2:f32", "-1.5", "0", "done"));
        EXPECT_THAT(aaRecords[2], testing::ElementsAre(testing::_, "4:7:8", "90", "0", "done"));
        EXPECT_THAT(aaRecords[3],
                    testing::ElementsAre(testing::_, "3:8:8", "", "-963", "outside the image"));
        EXPECT_EQ("0x00000000000000000000", aaRecords[4][2]);
    }
    EXPECT_THAT(run.strOutput,
                HasSubstr("movactl: watch: 2 rounds, 2 with a fault, the first at "));
}

TEST_F(MovactlTest, WatchJson_OneObjectPerLine_ValuesAsTheirType)
{
    ASSERT_EQ(0, RunMovactl({"write", "3:0:i16=-5", "3:2:f32=-1.5"}).nExitCode);
    std::vector<std::string> aArgs{"watch", "--json", "--count", "2", "--interval", "50"};
    aArgs.insert(aArgs.end(), kWatched.begin(), kWatched.end());
    SRun run = RunMovactl(aArgs);
    EXPECT_EQ(1, run.nExitCode) << run.strOutput;
    std::vector<std::string> aLines = RecordLines(run.strOutput);
    ASSERT_EQ(2 * kWatched.size(), aLines.size()) << run.strOutput;
    std::vector<nlohmann::json> aRecords;
    for (const std::string& strLine : aLines)
    {
        nlohmann::json record = nlohmann::json::parse(strLine, nullptr, false);
        ASSERT_TRUE(record.is_object()) << strLine;
        aRecords.push_back(record);
    }
    for (std::size_t i = 0; i < aRecords.size(); ++i)
    {
        EXPECT_EQ(kWatched[i % kWatched.size()], aRecords[i]["variable"]);
        EXPECT_THAT(aRecords[i]["time"].get<std::string>(), MatchesPattern(kIsoTime));
    }
    EXPECT_TRUE(aRecords[0]["value"].is_number_integer());
    EXPECT_EQ(-5, aRecords[0]["value"].get<int>());
    EXPECT_TRUE(aRecords[1]["value"].is_number_float());
    EXPECT_EQ(-1.5, aRecords[1]["value"].get<double>());
    EXPECT_EQ(90, aRecords[2]["value"].get<int>());
    EXPECT_EQ(0, aRecords[2]["result"].get<int>());
    EXPECT_EQ("done", aRecords[2]["words"]);
    EXPECT_TRUE(aRecords[3]["value"].is_null());
    EXPECT_EQ(-963, aRecords[3]["result"].get<int>());
    EXPECT_EQ("outside the image", aRecords[3]["words"]);
    EXPECT_EQ("0x00000000000000000000", aRecords[4]["value"]);
}

#if !defined(_WIN32)
// The rows of one variable, one per round, as the terminal got them: their cells.
std::vector<std::vector<std::string>> RowsOf(const std::string& strOutput,
                                             const std::string& strVariable)
{
    std::vector<std::vector<std::string>> aaRows;
    for (std::string strRow : Rows(strOutput))
    {
        strRow.erase(std::remove(strRow.begin(), strRow.end(), '\r'), strRow.end());
        std::vector<std::string> aCells;
        std::size_t nStart = 0;
        for (std::size_t nBlank = strRow.find(' '); nStart <= strRow.size();
             nBlank = strRow.find(' ', nStart))
        {
            aCells.push_back(strRow.substr(nStart, nBlank - nStart));
            if (nBlank == std::string::npos)
                break;
            nStart = nBlank + 1;
        }
        if (aCells.size() > 1 && aCells[1] == strVariable)
            aaRows.push_back(aCells);
    }
    return aaRows;
}

// Splits a plot into its characters, UTF-8 or not.
std::vector<std::string> Glyphs(const std::string& strPlot)
{
    std::vector<std::string> aGlyphs;
    for (char ch : strPlot)
    {
        if ((static_cast<unsigned char>(ch) & 0xC0) == 0x80)
            aGlyphs.back() += ch;
        else
            aGlyphs.emplace_back(1, ch);
    }
    return aGlyphs;
}

TEST_F(MovactlTest, WatchOnATerminal_MovingCounterPlottedWithTheWindowsMinAndMax)
{
    struct SCase
    {
        const char* pszLocale;
        const char* pszLowest;
        const char* pszHighest;
    };
    for (SCase plotCase : {SCase{"C.UTF-8", "\u2581", "\u2588"}, SCase{"C", "_", "#"}})
    {
        SCOPED_TRACE(plotCase.pszLocale);
        // The 10 ms tick counter of slave 4 moves between rounds 100 ms apart.
        std::string strOutput = RunOnTerminal(
            {"watch", "4:0:16:swap", "4:7:8", "--count", "6", "--interval", "100", "--plot", "6"},
            {std::string("LC_ALL=") + plotCase.pszLocale});
        std::vector<std::vector<std::string>> aaRows = RowsOf(strOutput, "4:0:16:swap");
        ASSERT_EQ(6u, aaRows.size()) << strOutput;
        // time, variable, value, hex, result, min, plot, max
        const std::vector<std::string>& aLast = aaRows.back();
        ASSERT_EQ(8u, aLast.size()) << strOutput;
        std::vector<long> anValues;
        for (const std::vector<std::string>& aRow : aaRows)
            anValues.push_back(std::stol(aRow[2]));
        auto [itMin, itMax] = std::minmax_element(anValues.begin(), anValues.end());
        ASSERT_LT(*itMin, *itMax) << strOutput;
        EXPECT_EQ(std::to_string(*itMin), aLast[5]);
        EXPECT_EQ(std::to_string(*itMax), aLast[7]);
        std::vector<std::string> aGlyphs = Glyphs(aLast[6]);
        ASSERT_EQ(6u, aGlyphs.size()) << aLast[6];
        EXPECT_EQ(plotCase.pszLowest, aGlyphs[itMin - anValues.begin()]);
        EXPECT_EQ(plotCase.pszHighest, aGlyphs[itMax - anValues.begin()]);
        // A constant is a flat line at the bottom, between equal bounds.
        std::vector<std::vector<std::string>> aaConstant = RowsOf(strOutput, "4:7:8");
        ASSERT_FALSE(aaConstant.empty());
        std::string strFlat;
        for (int i = 0; i < 6; ++i)
            strFlat += plotCase.pszLowest;
        EXPECT_THAT(aaConstant.back(), testing::ElementsAre(testing::_, "4:7:8", "90", "0x5A",
                                                            "done", "90", strFlat, "90"));
        EXPECT_THAT(strOutput, HasSubstr("movactl: watch: 6 rounds, none with a fault"));
    }
}
#endif

TEST_F(MovactlTest, Watch_FaultAndStallInjectedMidway_MarkedSummedUpAndExitOne)
{
    auto pWatch = StartMovactl({"watch", "4:7:8", "--interval", "50", "--count", "60"});
    std::string strLine;
    while (strLine != "round 1, every 50 ms")
        ASSERT_TRUE(pWatch->ReadLine(strLine, 30000));
    // One round fails and one is late (perhaps the same): the board's next input reads.
    ASSERT_TRUE(Korixsim({"fail", "BoardReadInput", "0x85", "1"}));
    ASSERT_TRUE(Korixsim({"delay", "BoardReadInput", "1500", "1"}));
    std::string strOutput = pWatch->ReadAll(60000);
    EXPECT_EQ(1, pWatch->Wait(30000)) << strOutput;
    const char* const kClock = "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3}";
    std::vector<std::string> aRows = Rows(strOutput);
    EXPECT_THAT(aRows, testing::Contains(ContainsPattern(std::string("^") + kClock +
                                                         " 4:7:8 board error 0x85 \\(6\\)$")));
    EXPECT_THAT(aRows, testing::Contains(ContainsPattern(
                           std::string("^") + kClock +
                           " round [0-9]+ stalled: no report within 1000 ms, waiting$")));
    EXPECT_THAT(aRows, testing::Contains(ContainsPattern(std::string("^") + kClock +
                                                         " round [0-9]+ stalled: reported after "
                                                         "[0-9.]+ s: (done|4:7:8 board error 0x85 "
                                                         "\\(6\\))$")));
    // The last round went through; the exit status and the summary still tell.
    EXPECT_THAT(aRows, testing::Contains("round 60, every 50 ms"));
    EXPECT_THAT(
        strOutput,
        ContainsPattern(std::string("movactl: watch: 60 rounds, 1 with a fault, the first at ") +
                        kClock + ": 4:7:8 board error 0x85 \\(6\\); 1 stalled, the first at " +
                        kClock));
    EXPECT_THAT(strOutput, testing::Not(HasSubstr("Sanitizer")));
}

TEST_F(MovactlTest, SlowBoard_SaysWhatItWaitsFor)
{
    ASSERT_TRUE(Korixsim({"delay", "BoardRegister", "1500", "1"}));
    SRun open = RunMovactl({"read", "4:7:8"});
    EXPECT_EQ(0, open.nExitCode);
    EXPECT_THAT(open.strOutput, HasSubstr("movactl: waiting for board 1 to open (OpenJob) ...\n"));
    EXPECT_THAT(open.strOutput, ContainsPattern("movactl: waited [0-9.]+ s for board 1 to open"));

    ASSERT_TRUE(Korixsim({"delay", "BoardWriteOutput", "1500", "1"}));
    SRun write = RunMovactl({"write", "3:0:8=0x12", "3:1:i8=-1"});
    EXPECT_EQ(0, write.nExitCode);
    EXPECT_THAT(write.strOutput,
                HasSubstr("movactl: waiting for the report of the write 3:0:8=0x12 3:1:i8=-1 (put "
                          "and started: the worker is running it and the board has not answered "
                          "all of it) ..."));
}

} // namespace
} // namespace movactltest
