// Hex dump columns and the rendering of bytes that are not printable.
#include "tests/support/ChildProcess.h"
#include "tests/support/TraceCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

using namespace tracetest;
using testing::ElementsAre;
using testing::IsEmpty;

namespace
{

class TraceHexDumpTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_pTracer = MakeTracer(testsupport::UniqueName("HexDump"), TIMESTAMP_CLOCK, 200);
        ASSERT_TRUE(m_pTracer);
        m_capture.Clear();
    }

    CFakeClock m_clock;
    CDebugCapture m_capture;
    TracerPtr m_pTracer;
};

TEST_F(TraceHexDumpTest, SixteenBytesMakeOneLine)
{
    unsigned char bytes[16];
    std::iota(bytes, bytes + 16, 0x41);
    TraceHexDump(m_pTracer.get(), 200, bytes, 16);
    EXPECT_THAT(m_capture.Lines(),
                ElementsAre("  0000: 41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50     "
                            "ABCDEFGHIJKLMNOP\n"));
}

TEST_F(TraceHexDumpTest, SeventeenthByteStartsAPaddedSecondLine)
{
    unsigned char bytes[17];
    std::iota(bytes, bytes + 17, 0x61);
    TraceHexDump(m_pTracer.get(), 200, bytes, 17);
    EXPECT_THAT(m_capture.Lines(),
                ElementsAre("  0000: 61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70     "
                            "abcdefghijklmnop\n",
                            "  0010: 71 " + std::string(49, ' ') + "q\n"));
}

TEST_F(TraceHexDumpTest, UnprintableBytesShowAsDots)
{
    const unsigned char bytes[] = {0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF};
    TraceHexDump(m_pTracer.get(), 200, bytes, sizeof bytes);
    EXPECT_THAT(m_capture.Lines(),
                ElementsAre("  0000: 00 1f 20 7e 7f 80 ff " + std::string(31, ' ') + ".. ~...\n"));
}

TEST_F(TraceHexDumpTest, NothingForNoBytesAFilteredLevelOrAnAttachedTracer)
{
    // Not even the date check runs: the next day's first line still gets its date-change line.
    CFakeClock::SetTime(2026, 12, 7, 1, 2, 3, 4);
    TraceHexDump(m_pTracer.get(), 200, nullptr, 16);
    TraceHexDump(m_pTracer.get(), 200, "abc", 0);
    TraceHexDump(m_pTracer.get(), 201, "abc", 3);
    EXPECT_THAT(m_capture.Lines(), IsEmpty());

    TraceHexDump(m_pTracer.get(), 200, "abc", 3);
    EXPECT_THAT(m_capture.Lines(),
                ElementsAre("***** Date Change: new date is 12/07/2026\n",
                            "  0000: 61 62 63 " + std::string(43, ' ') + "abc\n"));
}

TEST_F(TraceHexDumpTest, OffsetsCountOnAcrossLines)
{
    unsigned char bytes[48] = {};
    TraceHexDump(m_pTracer.get(), 200, bytes, sizeof bytes);
    auto lines = m_capture.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(0u, lines[1].rfind("  0010: 00", 0));
    EXPECT_EQ(0u, lines[2].rfind("  0020: 00", 0));
    EXPECT_EQ(std::string(16, '.') + "\n", lines[2].substr(60));
}

} // namespace
