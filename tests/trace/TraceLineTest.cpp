// The bytes of trace lines: stamps, severity words, the level filter, the date-change line,
// session lines and the cut of an over-long message. Lines are read from the debug output,
// which gets every line whole when no window serves the class.
#include "tests/support/ChildProcess.h"
#include "tests/support/TraceCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tracetest;
using testing::ElementsAre;
using testing::IsEmpty;

namespace
{

class TraceLineTest : public testing::Test
{
protected:
    std::string m_name = testsupport::UniqueName("TraceLine");
    CFakeClock m_clock;
    CDebugCapture m_capture;
};

TEST_F(TraceLineTest, CreateWritesStartLinesAgainstTheInitialLevel)
{
    TracerPtr pTracer = MakeTracer(m_name);
    ASSERT_TRUE(pTracer);
    EXPECT_THAT(m_capture.Lines(),
                ElementsAre("A 09:05:03,007 INFO    ***** Starting Trace Session (Shared Trace '" +
                                m_name + "')\n",
                            "A 09:05:03,007 INFO    ***** 12/06/2026: 09:05:03,007\n"));

    m_capture.Clear();
    TracerPtr pSilent = MakeTracer(m_name + "b", TIMESTAMP_CLOCK, -1);
    ASSERT_TRUE(pSilent);
    EXPECT_THAT(m_capture.Lines(), IsEmpty());
}

TEST_F(TraceLineTest, DeleteWritesTheClosingLine)
{
    TracerPtr pTracer = MakeTracer(m_name);
    m_capture.Clear();
    pTracer.reset();
    EXPECT_THAT(m_capture.Lines(),
                ElementsAre("A 09:05:03,007 INFO    ***** Closing Trace Session (Shared Trace '" +
                            m_name + "')\n"));
}

TEST_F(TraceLineTest, StampOfEachMode)
{
    CFakeClock::SetTicks(0xFFFFFF00u);
    TracerPtr pTicks = MakeTracer(m_name + "t", TIMESTAMP_TICKS);
    TracerPtr pRelative = MakeTracer(m_name + "r", TIMESTAMP_RELATIVE);
    TracerPtr pNone = MakeTracer(m_name + "n", 5);
    ASSERT_TRUE(pTicks && pRelative && pNone);
    m_capture.Clear();

    CFakeClock::SetTicks(123456);
    TraceLine(pTicks.get(), 0, "ticks\n");
    // The relative stamp wraps with the 32-bit tick count: 0x100 + 0x100 ms since Create.
    CFakeClock::SetTicks(0x100);
    TraceLine(pRelative.get(), 0, "wrapped\n");
    TraceLine(pNone.get(), 0, "bare\n");
    EXPECT_THAT(m_capture.Lines(),
                ElementsAre("a     123456 INFO    ticks\n", "r        512 INFO    wrapped\n",
                            " INFO    bare\n"));
}

TEST_F(TraceLineTest, RelativeStampCountsFromCreate)
{
    CFakeClock::SetTicks(40000);
    TracerPtr pTracer = MakeTracer(m_name, TIMESTAMP_RELATIVE);
    m_capture.Clear();
    CFakeClock::SetTicks(41500);
    TraceLine(pTracer.get(), 0, "x\n");
    EXPECT_THAT(m_capture.Lines(), ElementsAre("r       1500 INFO    x\n"));
}

TEST_F(TraceLineTest, SeverityWordFollowsTheLevel)
{
    TracerPtr pTracer = MakeTracer(m_name, TIMESTAMP_CLOCK, 32767);
    m_capture.Clear();
    for (int nLevel : {-2, -1, -3, 0, 32767, 65534})
        TraceLine(pTracer.get(), nLevel, "%d\n", nLevel);
    EXPECT_THAT(m_capture.Lines(),
                ElementsAre("A 09:05:03,007 ERROR   -2\n", "A 09:05:03,007 WARNING -1\n",
                            "A 09:05:03,007 WARNING -3\n", "A 09:05:03,007 INFO    0\n",
                            "A 09:05:03,007 INFO    32767\n", "A 09:05:03,007 ERROR   65534\n"));
}

TEST_F(TraceLineTest, LevelFilter)
{
    TracerPtr pTracer = MakeTracer(m_name);
    CTracer* p = pTracer.get();
    EXPECT_EQ(1, TraceLevelEnabled(p, 0));
    EXPECT_EQ(0, TraceLevelEnabled(p, 100));
    ASSERT_TRUE(p->SetLevel(99));
    EXPECT_EQ(0, TraceLevelEnabled(p, 100));
    ASSERT_TRUE(p->SetLevel(100));
    EXPECT_EQ(1, TraceLevelEnabled(p, 100));
    ASSERT_TRUE(p->SetLevel(-2));
    EXPECT_EQ(1, TraceLevelEnabled(p, 65534)); // the low 16 bits, signed: -2
    EXPECT_EQ(0, TraceLevelEnabled(p, -1));
    ASSERT_TRUE(p->SetLevel(-3));
    EXPECT_EQ(0, TraceLevelEnabled(p, -2));
    EXPECT_EQ(0, TraceLevelEnabled(p, 65534));

    // TraceLine filters by itself too.
    m_capture.Clear();
    TraceLine(p, -2, "dropped\n");
    TraceLine(p, 65534, "dropped\n");
    TraceLine(p, -3, "passes\n");
    EXPECT_THAT(m_capture.Lines(), ElementsAre("A 09:05:03,007 WARNING passes\n"));
}

TEST_F(TraceLineTest, DateChangeLineComesFirstAtTheLinesLevel)
{
    TracerPtr pTracer = MakeTracer(m_name);
    m_capture.Clear();
    CFakeClock::SetTime(2026, 12, 7, 0, 0, 0, 1);
    TraceLine(pTracer.get(), 0, "after midnight\n");
    TraceLine(pTracer.get(), 0, "same day\n");
    EXPECT_THAT(m_capture.Lines(), ElementsAre("***** Date Change: new date is 12/07/2026\n",
                                               "A 00:00:00,001 INFO    after midnight\n",
                                               "A 00:00:00,001 INFO    same day\n"));
}

TEST_F(TraceLineTest, FilteredFirstLineOfADayTakesTheDateChangeWithIt)
{
    TracerPtr pTracer = MakeTracer(m_name);
    m_capture.Clear();
    CFakeClock::SetTime(2026, 12, 7, 8, 0, 0, 0);
    TraceLine(pTracer.get(), 100, "filtered\n");
    TraceLine(pTracer.get(), 0, "later that day\n");
    EXPECT_THAT(m_capture.Lines(), ElementsAre("A 08:00:00,000 INFO    later that day\n"));

    // Only the day of the month counts: the same day number a month later is no change.
    CFakeClock::SetTime(2027, 1, 7, 8, 0, 0, 0);
    TraceLine(pTracer.get(), 0, "a month on\n");
    EXPECT_EQ("A 08:00:00,000 INFO    a month on\n", m_capture.Lines().back());
}

TEST_F(TraceLineTest, SetLevelLinesPassAgainstTheOldLevel)
{
    TracerPtr pTracer = MakeTracer(m_name);
    m_capture.Clear();
    ASSERT_EQ(1, pTracer->SetLevel(100));
    EXPECT_THAT(m_capture.Lines(),
                ElementsAre("A 09:05:03,007 INFO    ***** Trace Level (Shared Trace '" + m_name +
                                "') set from 0 to 100\n",
                            "A 09:05:03,007 INFO    ***** 12/06/2026: 09:05:03,007\n"));
    EXPECT_EQ(100, pTracer->GetLevel());

    ASSERT_EQ(1, pTracer->SetLevel(-1));
    m_capture.Clear();
    ASSERT_EQ(1, pTracer->SetLevel(100));
    EXPECT_THAT(m_capture.Lines(), IsEmpty());
    TraceLine(pTracer.get(), 100, "entry\n");
    EXPECT_THAT(m_capture.Lines(), ElementsAre("A 09:05:03,007 INFO    entry\n"));
}

TEST_F(TraceLineTest, OverLongMessageIsCutToTheLineBuffer)
{
    TracerPtr pTracer = MakeTracer(m_name);
    m_capture.Clear();
    std::string huge(10000, 'x');
    TraceLine(pTracer.get(), 0, "%s\n", huge.c_str());
    auto lines = m_capture.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(8091u, lines[0].size());
    EXPECT_EQ(0u, lines[0].rfind("A 09:05:03,007 INFO    xxx", 0));
    EXPECT_EQ('\n', lines[0].back());
}

TEST_F(TraceLineTest, TraceStringHasNoTableAndWritesAnEmptyMessage)
{
    TracerPtr pTracer = MakeTracer(m_name);
    m_capture.Clear();
    pTracer->TraceString(0, 17, 42, "ignored");
    EXPECT_THAT(m_capture.Lines(), ElementsAre("A 09:05:03,007 INFO    "));
}

TEST_F(TraceLineTest, LongNameNamesTheBlockInFullAndTheLinesCut)
{
    std::string longName = m_name + std::string(100, 'N');
    TracerPtr pTracer = MakeTracer(longName);
    ASSERT_TRUE(pTracer);
    EXPECT_NE(std::string::npos, m_capture.Lines().at(0).find("'" + longName.substr(0, 80) + "'"));

    TracerPtr pAttached(AttachTracer(longName.c_str()));
    EXPECT_TRUE(pAttached);
    TracerPtr pCut(AttachTracer(longName.substr(0, 80).c_str()));
    EXPECT_FALSE(pCut);
}

TEST_F(TraceLineTest, WithoutASessionNothingWorks)
{
    CTracer unconnected;
    EXPECT_EQ(-1, unconnected.GetLevel());
    EXPECT_EQ(0, unconnected.SetLevel(5));
    EXPECT_EQ(0, unconnected.IsLevelEnabled(-32768));
    unconnected.Trace(-2, "nothing\n");
    unconnected.HexDump(-2, "ab", 2);
    EXPECT_THAT(m_capture.Lines(), IsEmpty());
}

TEST_F(TraceLineTest, NullTracerIsNoTrace)
{
    EXPECT_EQ(0, TraceLevelEnabled(nullptr, -32768));
    TraceLine(nullptr, -2, "nothing %s\n", "at all");
    TraceHexDump(nullptr, -2, "ab", 2);
    DeleteTracer(nullptr);
    EXPECT_EQ(nullptr, CreateTracer(nullptr, nullptr, 0, 0));
    EXPECT_EQ(nullptr, AttachTracer(nullptr));
    EXPECT_THAT(m_capture.Lines(), IsEmpty());
}

} // namespace
