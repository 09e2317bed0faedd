// Delivery of lines to a trace window in another process, and the fallback to the debug output.
#include "tests/support/ChildProcess.h"
#include "tests/support/TraceCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tracetest;
using testing::ElementsAre;
using testing::IsEmpty;
using testsupport::CChildProcess;

namespace
{

std::string Hex(const std::string& text)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : text)
    {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

// What the window peer prints for one received packet of its nClass-th class.
std::string Received(const std::string& text, int nClass = 0)
{
    return "line " + std::to_string(nClass) + " " + std::to_string(text.size()) + " " + Hex(text);
}

class TraceDeliveryTest : public testing::Test
{
protected:
    // Starts a window peer for the given classes; false when it could not serve them.
    bool StartWindow(const std::vector<std::string>& classes)
    {
        std::vector<std::string> argv{TRACE_PEER, "window"};
        argv.insert(argv.end(), classes.begin(), classes.end());
        m_pWindow = std::make_unique<CChildProcess>(argv);
        std::string line;
        return m_pWindow->ReadLine(line) && line == "ready";
    }

    // The next packet the window reported. Delivery is synchronous, so a line traced before
    // this call has been printed by then.
    std::string NextReceived()
    {
        std::string line;
        return m_pWindow->ReadLine(line, 5000) ? line : "<nothing>";
    }

    std::string m_name = testsupport::UniqueName("Delivery");
    std::string m_class = testsupport::UniqueName("Window");
    CFakeClock m_clock;
    CDebugCapture m_capture;
    std::unique_ptr<CChildProcess> m_pWindow;
};

TEST_F(TraceDeliveryTest, LinesReachTheWindowExactlyAndInOrder)
{
    ASSERT_TRUE(StartWindow({m_class}));
    TracerPtr pTracer(CreateTracer(m_name.c_str(), m_class.c_str(), TIMESTAMP_CLOCK, 200));
    ASSERT_TRUE(pTracer);
    TraceLine(pTracer.get(), -2, "failure %d\n", 7);
    TraceHexDump(pTracer.get(), 200, "\x01ok", 3);

    EXPECT_EQ(Received("A 09:05:03,007 INFO    ***** Starting Trace Session (Shared Trace '" +
                       m_name + "')\n"),
              NextReceived());
    EXPECT_EQ(Received("A 09:05:03,007 INFO    ***** 12/06/2026: 09:05:03,007\n"), NextReceived());
    EXPECT_EQ(Received("A 09:05:03,007 ERROR   failure 7\n"), NextReceived());
    EXPECT_EQ(Received("  0000: 01 6f 6b " + std::string(43, ' ') + ".ok\n"), NextReceived());
    EXPECT_THAT(m_capture.Lines(), IsEmpty());
}

TEST_F(TraceDeliveryTest, LineOfMoreThan255CharactersReachesTheWindowAsAnError)
{
    ASSERT_TRUE(StartWindow({m_class}));
    // With no stamp the head of a line is 9 characters: " INFO    ".
    TracerPtr pTracer(CreateTracer(m_name.c_str(), m_class.c_str(), 5, -1));
    ASSERT_TRUE(pTracer);
    ASSERT_TRUE(pTracer->SetLevel(0));
    std::string fits(245, 'f');
    std::string tooLong(246, 'g');
    TraceLine(pTracer.get(), 0, "%s\n", fits.c_str());
    TraceLine(pTracer.get(), 0, "%s\n", tooLong.c_str());

    EXPECT_EQ(Received(" INFO    " + fits + "\n"), NextReceived());
    EXPECT_EQ(Received("###### TRACER ERROR: Message Too Long!\n"), NextReceived());
    EXPECT_THAT(m_capture.Lines(), IsEmpty());
}

TEST_F(TraceDeliveryTest, WithoutAWindowTheDebugOutputGetsTheWholeLine)
{
    TracerPtr pTracer(CreateTracer(m_name.c_str(), m_class.c_str(), 5, 0));
    ASSERT_TRUE(pTracer);
    m_capture.Clear();
    std::string tooLong(246, 'g');
    TraceLine(pTracer.get(), 0, "%s\n", tooLong.c_str());
    EXPECT_THAT(m_capture.Lines(), ElementsAre(" INFO    " + tooLong + "\n"));

    // Once a window exists, the very next line goes to it.
    ASSERT_TRUE(StartWindow({m_class}));
    m_capture.Clear();
    TraceLine(pTracer.get(), 0, "now windowed\n");
    EXPECT_EQ(Received(" INFO    now windowed\n"), NextReceived());
    EXPECT_THAT(m_capture.Lines(), IsEmpty());
}

TEST_F(TraceDeliveryTest, WindowOfAnotherClassReceivesNothing)
{
    std::string otherClass = m_class + "Other";
    ASSERT_TRUE(StartWindow({otherClass, m_class + "Third"}));
    TracerPtr pMine(CreateTracer(m_name.c_str(), m_class.c_str(), 5, -1));
    TracerPtr pOther(CreateTracer((m_name + "o").c_str(), otherClass.c_str(), 5, -1));
    ASSERT_TRUE(pMine && pOther);
    ASSERT_TRUE(pMine->SetLevel(0) && pOther->SetLevel(0));

    TraceLine(pMine.get(), 0, "not for that window\n");
    TraceLine(pOther.get(), 0, "sentinel\n");
    // The first thing the window saw is the sentinel, of its first class.
    EXPECT_EQ(Received(" INFO    sentinel\n", 0), NextReceived());
    EXPECT_THAT(m_capture.Lines(), ElementsAre(" INFO    not for that window\n"));
}

TEST_F(TraceDeliveryTest, NullWindowClassMeansTraceWindow)
{
    if (!StartWindow({"TraceWindow"}))
        GTEST_SKIP() << "a trace window of class TraceWindow is running on this machine";
    TracerPtr pTracer(CreateTracer(m_name.c_str(), nullptr, 5, 0));
    ASSERT_TRUE(pTracer);
    EXPECT_EQ(Received(" INFO    ***** Starting Trace Session (Shared Trace '" + m_name + "')\n"),
              NextReceived());
}

} // namespace
