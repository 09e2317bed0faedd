// Trace sessions across real processes: one creator per name, names given back by a holder
// that was killed, racing creators, and a level changed from outside.
#include "tests/support/ChildProcess.h"
#include "tests/support/TraceCapture.h"

#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tracetest;
using testing::ElementsAre;
using testing::IsEmpty;
using testsupport::CChildProcess;

namespace
{

class TraceSessionTest : public testing::Test
{
protected:
    std::string m_name = testsupport::UniqueName("Session");
    CFakeClock m_clock;
    CDebugCapture m_capture;
};

std::string ReadWord(CChildProcess& child)
{
    std::string line;
    return child.ReadLine(line) ? line : "<no answer>";
}

TEST_F(TraceSessionTest, OneCreatorPerNameUntilItIsDeleted)
{
    TracerPtr pFirst = MakeTracer(m_name);
    ASSERT_TRUE(pFirst);
    m_capture.Clear();
    EXPECT_FALSE(MakeTracer(m_name));
    EXPECT_THAT(m_capture.Lines(), IsEmpty()); // a refused Create writes nothing

    pFirst.reset();
    EXPECT_TRUE(MakeTracer(m_name));
}

TEST_F(TraceSessionTest, CreatorInAnotherProcessHoldsTheName)
{
    CChildProcess peer({TRACE_PEER, "create", m_name});
    ASSERT_EQ("created", ReadWord(peer));
    EXPECT_FALSE(MakeTracer(m_name));

    peer.WriteLine("quit");
    ASSERT_EQ(0, peer.Wait());
    EXPECT_TRUE(MakeTracer(m_name));
}

TEST_F(TraceSessionTest, KilledCreatorGivesTheNameBack)
{
    CChildProcess peer({TRACE_PEER, "create", m_name});
    ASSERT_EQ("created", ReadWord(peer));
    peer.Kill(SIGKILL);
    ASSERT_EQ(128 + SIGKILL, peer.Wait());

    EXPECT_FALSE(TracerPtr(AttachTracer(m_name.c_str()))); // no live session any more
    EXPECT_TRUE(MakeTracer(m_name));
}

TEST_F(TraceSessionTest, RacingCreatorsHaveExactlyOneWinner)
{
    for (int nRound = 0; nRound < 5; ++nRound)
    {
        std::string name = m_name + "_" + std::to_string(nRound);
        CChildProcess first({TRACE_PEER, "race", name});
        CChildProcess second({TRACE_PEER, "race", name});
        ASSERT_EQ("ready", ReadWord(first));
        ASSERT_EQ("ready", ReadWord(second));
        first.WriteLine("go");
        second.WriteLine("go");
        std::string a = ReadWord(first);
        std::string b = ReadWord(second);
        EXPECT_TRUE((a == "won" && b == "lost") || (a == "lost" && b == "won"))
            << "round " << nRound << ": " << a << ", " << b;
        first.WriteLine("quit");
        second.WriteLine("quit");
        EXPECT_EQ(0, first.Wait());
        EXPECT_EQ(0, second.Wait());
    }
}

TEST_F(TraceSessionTest, LevelSetByAnotherProcessAppliesToTheNextLine)
{
    TracerPtr pTracer = MakeTracer(m_name);
    m_capture.Clear();
    TraceLine(pTracer.get(), 100, "before\n");

    CChildProcess controller({TRACE_PEER, "setlevel", m_name, "100"});
    EXPECT_EQ("set 100", ReadWord(controller));
    EXPECT_EQ(0, controller.Wait());

    TraceLine(pTracer.get(), 100, "after\n");
    // The controller is attached: neither its level lines nor anything else reach us.
    EXPECT_THAT(m_capture.Lines(), ElementsAre("A 09:05:03,007 INFO    after\n"));
    EXPECT_EQ(100, pTracer->GetLevel());
}

TEST_F(TraceSessionTest, SetLevelOnAMissingSessionFails)
{
    CChildProcess controller({TRACE_PEER, "setlevel", m_name, "100"});
    EXPECT_EQ("nosession", ReadWord(controller));
    EXPECT_EQ(1, controller.Wait());
}

TEST_F(TraceSessionTest, AttachedTracerReadsAndSetsButNeverWrites)
{
    TracerPtr pCreator = MakeTracer(m_name);
    TracerPtr pAttached(AttachTracer(m_name.c_str()));
    ASSERT_TRUE(pAttached);
    m_capture.Clear();

    EXPECT_EQ(0, pAttached->GetLevel());
    EXPECT_EQ(1, pAttached->SetLevel(300));
    EXPECT_EQ(300, pCreator->GetLevel());
    pAttached->Trace(0, "never\n");
    pAttached->HexDump(0, "ab", 2);
    pAttached.reset(); // no closing line either
    EXPECT_THAT(m_capture.Lines(), IsEmpty());
}

TEST_F(TraceSessionTest, AttachedHolderKeepsTheBlockAlive)
{
    TracerPtr pCreator = MakeTracer(m_name);
    TracerPtr pAttached(AttachTracer(m_name.c_str()));
    ASSERT_TRUE(pAttached);
    pCreator.reset();

    EXPECT_FALSE(MakeTracer(m_name)); // still held by the attached party
    EXPECT_EQ(0, pAttached->GetLevel());

    pAttached->Detach();
    EXPECT_EQ(-1, pAttached->GetLevel());
    EXPECT_EQ(0, pAttached->SetLevel(1));
    EXPECT_TRUE(MakeTracer(m_name));
}

TEST_F(TraceSessionTest, DeletingAnAttachedTracerGivesItsHoldBack)
{
    TracerPtr pCreator = MakeTracer(m_name);
    TracerPtr pAttached(AttachTracer(m_name.c_str()));
    ASSERT_TRUE(pAttached);
    pCreator.reset();
    pAttached.reset(); // without Detach
    EXPECT_TRUE(MakeTracer(m_name));
}

} // namespace
