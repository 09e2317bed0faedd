// The parts of watch that need no board: its plots, its CSV fields, its time stamps and the
// table's columns with UTF-8 cells.
#include "tools/movactl/LocalTime.h"
#include "tools/movactl/Sparkline.h"
#include "tools/movactl/TextTable.h"
#include "tools/movactl/ValueText.h"
#include "tools/movactl/WatchRecords.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>

namespace
{

using namespace movactl;

TEST(MovactlWatchPartsTest, Sparkline_HeightsWithinTheShownWindow)
{
    CSparkline plot(8);
    EXPECT_EQ("        ", plot.Render(teGlyphs::Ascii));
    EXPECT_FALSE(plot.Min().has_value());
    for (double dValue : {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0})
        plot.Add(dValue);
    EXPECT_EQ("_.-:=+*#", plot.Render(teGlyphs::Ascii));
    EXPECT_EQ("\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588", plot.Render(teGlyphs::Blocks));
    // The oldest round leaves the window: the scale follows what is shown.
    plot.Add(70.0);
    EXPECT_EQ(1.0, plot.Min());
    EXPECT_EQ(70.0, plot.Max());
    EXPECT_EQ("_____..#", plot.Render(teGlyphs::Ascii)); // 6 and 7 are a step above 1
}

TEST(MovactlWatchPartsTest, Sparkline_GapsFlatLinesAndNonFiniteValues)
{
    CSparkline plot(5);
    plot.Add(-3.0);
    plot.Add(std::nullopt); // a failed read
    plot.Add(-3.0);
    EXPECT_EQ("  _x_", plot.Render(teGlyphs::Ascii));
    EXPECT_EQ(-3.0, plot.Min());
    EXPECT_EQ(-3.0, plot.Max());
    plot.Add(std::numeric_limits<double>::quiet_NaN());
    plot.Add(std::numeric_limits<double>::infinity());
    EXPECT_EQ("_x_x#", plot.Render(teGlyphs::Ascii));
    EXPECT_EQ(-3.0, plot.Min());

    CSparkline one(0); // at least one round is shown
    one.Add(5.0);
    EXPECT_EQ("_", one.Render(teGlyphs::Ascii));
}

TEST(MovactlWatchPartsTest, CsvFields_QuotedAsRfc4180Says)
{
    EXPECT_EQ("done", CsvField("done"));
    EXPECT_EQ("", CsvField(""));
    EXPECT_EQ("\"a,b\"", CsvField("a,b"));
    EXPECT_EQ("\"say \"\"hi\"\"\"", CsvField("say \"hi\""));
    EXPECT_EQ("\"two\nlines\"", CsvField("two\nlines"));
}

TEST(MovactlWatchPartsTest, TimeStamps_ClockToTheMillisecondAndIsoWithOffset)
{
    TWallTime time = TWallTime(std::chrono::milliseconds(1765111387250)); // .250 past a second
    EXPECT_TRUE(
        std::regex_match(ClockText(time), std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.250")))
        << ClockText(time);
    std::string strIso = IsoText(time);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(
        strIso, match,
        std::regex(
            "(20[0-9]{2})-([01][0-9])-([0-3][0-9])T([0-9:]{8})\\.250([+-])([0-9]{2}):([0-9]{2})")))
        << strIso;
    // The clock text is the ISO text's time of day.
    EXPECT_EQ(match[4].str() + ".250", ClockText(time));
    EXPECT_LE(std::stoi(match[6].str()), 14);
}

TEST(MovactlWatchPartsTest, Table_UnicodeCellsCountByCharacters)
{
    CTextTable table({"plot", ">max"});
    table.AddRow({"\u2581\u2588", "9"});
    table.AddRow({"__", "10"});
    EXPECT_EQ("plot  max\n"
              "\u2581\u2588      9\n"
              "__     10\n",
              table.Format());
}

TEST(MovactlWatchPartsTest, PlotNumbers_AsTheTypeShowsThem)
{
    SVariable f32;
    f32.eType = teValueType::Float;
    f32.wBitLength = 32;
    SVariable i16;
    i16.eType = teValueType::Signed;
    i16.wBitLength = 16;
    EXPECT_EQ("0.1", FormatNumber(f32, static_cast<double>(0.1f)));
    EXPECT_EQ("-100", FormatNumber(i16, -100.0));
    EXPECT_EQ(-100.0, NumericValue(i16, {0x9C, 0xFF}));
    SVariable run;
    run.wBitLength = 72;
    EXPECT_FALSE(NumericValue(run, std::vector<std::uint8_t>(9)).has_value());
}

} // namespace
