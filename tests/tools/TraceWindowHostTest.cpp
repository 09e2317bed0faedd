// The receiving end of trace delivery, served in this process and fed by real connections.
#include "platform/TraceWindowHost.h"
#include "tests/tools/ToolTestSupport.h"

#include <condition_variable>
#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <utility>

using platform::CTraceWindowHost;
using platform::teServeResult;
using testing::ElementsAre;
using testing::IsEmpty;
#if !defined(_WIN32)
using tooltest::CRawSender;
#endif

namespace
{

struct SLine
{
    std::size_t nClass;
    std::string strText;
    bool operator==(const SLine&) const = default;
};

void PrintTo(const SLine& line, std::ostream* pOut)
{
    *pOut << line.nClass << ":\"" << testing::PrintToString(line.strText) << "\"";
}

// A host served by a thread of its own; the test sends from its own thread. The serving thread
// adds the classes too: on Win32 a window belongs to the thread that made it, and only that
// thread's runs handle its lines.
class TraceWindowHostTest : public testing::Test
{
protected:
    void TearDown() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_bFinish = true;
            m_bGateClosed = false;
            m_changed.notify_all();
        }
        m_host.Stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    // Runs the host until Stop, and once more for each RunAgain, until the test ends.
    void Serve(const std::vector<std::string>& classes)
    {
        m_thread = std::thread([this, classes] { ServeOnThisThread(classes); });
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_bClassesAdded; });
        for (std::size_t i = 0; i < classes.size(); ++i)
            ASSERT_EQ(teServeResult::Serving, m_aAdded[i]) << classes[i];
    }

    // Waits until the current run has ended; false when it did not within ten seconds.
    bool WaitForRunEnd()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [this] { return m_nRunsEnded == m_nRunsWanted; });
    }

    void RunAgain()
    {
        std::lock_guard lock(m_mutex);
        ++m_nRunsWanted;
        m_changed.notify_all();
    }

    static void OnLine(void* pContext, std::size_t nClass, const platform::SLineSender& sender,
                       const char* pText, std::size_t nLength)
    {
        auto* pTest = static_cast<TraceWindowHostTest*>(pContext);
        std::unique_lock lock(pTest->m_mutex);
        pTest->m_aLines.push_back({nClass, std::string(pText, nLength)});
        pTest->m_aSenders.push_back({sender.dwPid, sender.pszProgram});
        pTest->m_changed.notify_all();
        pTest->m_changed.wait(lock, [pTest] { return !pTest->m_bGateClosed; });
    }

    std::vector<SLine> Lines()
    {
        std::lock_guard lock(m_mutex);
        return m_aLines;
    }

    bool WaitForLines(std::size_t nCount)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_aLines.size() >= nCount; });
    }

    void CloseGate()
    {
        std::lock_guard lock(m_mutex);
        m_bGateClosed = true;
    }

    void OpenGate()
    {
        std::lock_guard lock(m_mutex);
        m_bGateClosed = false;
        m_changed.notify_all();
    }

    std::string m_class = testsupport::UniqueName("HostWin");
    CTraceWindowHost m_host;
    std::thread m_thread;
    bool m_bRunResult = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SLine> m_aLines;
    std::vector<std::pair<std::uint32_t, std::string>> m_aSenders; // per line: pid, program
    bool m_bGateClosed = false;

private:
    void ServeOnThisThread(const std::vector<std::string>& classes)
    {
        std::vector<teServeResult> aAdded;
        for (const std::string& strClass : classes)
            aAdded.push_back(m_host.AddClass(strClass.c_str()));
        bool bServing = true;
        for (teServeResult eResult : aAdded)
            bServing = bServing && eResult == teServeResult::Serving;
        std::unique_lock lock(m_mutex);
        m_aAdded = aAdded;
        m_bClassesAdded = true;
        m_changed.notify_all();
        while (bServing && !m_bFinish)
        {
            lock.unlock();
            bool bResult = m_host.Run(-1, &OnLine, this);
            lock.lock();
            m_bRunResult = bResult;
            ++m_nRunsEnded;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_bFinish || m_nRunsWanted > m_nRunsEnded; });
        }
    }

    bool m_bClassesAdded = false;
    std::vector<teServeResult> m_aAdded;
    int m_nRunsWanted = 1;
    int m_nRunsEnded = 0;
    bool m_bFinish = false;
};

TEST_F(TraceWindowHostTest, EachLineArrivesWhole_InOrder_ByteForByte)
{
    Serve({m_class});
    std::string longest(255, 'x');
    longest.back() = '\n';
    const std::string aTexts[] = {"A 09:05:03,007 INFO    first\n", longest, "no line end",
                                  "\t\x01\x7f\x80\xff umlaut \xc3\xa4\n"};
    for (const std::string& strText : aTexts)
        ASSERT_TRUE(tooltest::SendLine(m_class, strText));
    // A sender without an atom sends an empty line.
    ASSERT_TRUE(tooltest::SendLine(m_class, ""));

    EXPECT_THAT(Lines(), ElementsAre(SLine{0, aTexts[0]}, SLine{0, aTexts[1]}, SLine{0, aTexts[2]},
                                     SLine{0, aTexts[3]}, SLine{0, ""}));
}

TEST_F(TraceWindowHostTest, EachClassIsToldApartByItsIndex)
{
    std::string second = m_class + "b";
    std::string third = m_class + "c";
    Serve({m_class, second, third});
    ASSERT_TRUE(tooltest::SendLine(third, "to third\n"));
    ASSERT_TRUE(tooltest::SendLine(m_class, "to first\n"));
    ASSERT_TRUE(tooltest::SendLine(second, "to second\n"));

    EXPECT_THAT(Lines(), ElementsAre(SLine{2, "to third\n"}, SLine{0, "to first\n"},
                                     SLine{1, "to second\n"}));
}

TEST_F(TraceWindowHostTest, EachLineNamesTheProcessThatSentIt_WhereThePlatformCanKnow)
{
    m_host.NameSenders(true);
    Serve({m_class});
    ASSERT_TRUE(tooltest::SendLine(m_class, "mine\n"));
    ASSERT_TRUE(WaitForLines(1));
    std::lock_guard lock(m_mutex);
    ASSERT_EQ(1u, m_aSenders.size());
#if defined(_WIN32)
    EXPECT_FALSE(CTraceWindowHost::KnowsSenders());
    EXPECT_EQ(0u, m_aSenders[0].first);
    EXPECT_EQ("", m_aSenders[0].second);
#else
    ASSERT_TRUE(CTraceWindowHost::KnowsSenders());
    EXPECT_EQ(static_cast<std::uint32_t>(testsupport::CurrentProcessId()), m_aSenders[0].first);
    EXPECT_EQ("tools_tests", m_aSenders[0].second);
#endif
}

#if !defined(_WIN32)
// Reading a sender's name costs every sender a wait, so only a host that asks reads it.
TEST_F(TraceWindowHostTest, UnlessAskedTheSenderComesAsItsPidAlone)
{
    Serve({m_class});
    ASSERT_TRUE(tooltest::SendLine(m_class, "mine\n"));
    ASSERT_TRUE(WaitForLines(1));
    std::lock_guard lock(m_mutex);
    ASSERT_EQ(1u, m_aSenders.size());
    EXPECT_EQ(static_cast<std::uint32_t>(testsupport::CurrentProcessId()), m_aSenders[0].first);
    EXPECT_EQ("", m_aSenders[0].second);
}
#endif

// These speak the POSIX wire protocol (a SOCK_SEQPACKET connection) to the window themselves;
// a Win32 sender has no such protocol to get wrong.
#if !defined(_WIN32)
TEST_F(TraceWindowHostTest, SenderIsAnsweredOnlyAfterTheLineWasHandled)
{
    Serve({m_class});
    CloseGate();
    CRawSender sender(m_class);
    ASSERT_TRUE(sender.IsConnected());
    ASSERT_TRUE(sender.SendPacket("held\n"));
    ASSERT_TRUE(WaitForLines(1));
    // The handler has the line and has not returned: an answer would already be waiting.
    EXPECT_EQ(CRawSender::NoAnswer, sender.AwaitAnswer(0));

    OpenGate();
    EXPECT_EQ(CRawSender::Answered, sender.AwaitAnswer());
}

TEST_F(TraceWindowHostTest, SilentOrVanishingSendersHoldUpNobody)
{
    Serve({m_class});
    CRawSender silent(m_class);
    CRawSender quitter(m_class);
    CRawSender impatient(m_class);
    ASSERT_TRUE(silent.IsConnected() && quitter.IsConnected() && impatient.IsConnected());
    quitter.Close();
    CloseGate();
    ASSERT_TRUE(impatient.SendPacket("gone before the answer\n"));
    ASSERT_TRUE(WaitForLines(1));
    impatient.Close();
    OpenGate();

    ASSERT_TRUE(tooltest::SendLine(m_class, "still served\n"));
    EXPECT_THAT(Lines(),
                ElementsAre(SLine{0, "gone before the answer\n"}, SLine{0, "still served\n"}));
    // The silent one still gets its line through when it finally speaks.
    ASSERT_TRUE(silent.SendPacket("late\n"));
    EXPECT_EQ(CRawSender::Answered, silent.AwaitAnswer());
}

TEST_F(TraceWindowHostTest, ZeroLengthPacketIsAnEmptyLine_FollowingPacketsAreServedToo)
{
    Serve({m_class});
    CRawSender sender(m_class);
    ASSERT_TRUE(sender.SendPacket(""));
    ASSERT_EQ(CRawSender::Answered, sender.AwaitAnswer());
    ASSERT_TRUE(sender.SendPacket("second on the same connection\n"));
    ASSERT_EQ(CRawSender::Answered, sender.AwaitAnswer());

    EXPECT_THAT(Lines(), ElementsAre(SLine{0, ""}, SLine{0, "second on the same connection\n"}));
}

TEST_F(TraceWindowHostTest, PacketLongerThanALineIsRefusedWithoutAnAnswer)
{
    Serve({m_class});
    CRawSender sender(m_class);
    ASSERT_TRUE(sender.SendPacket(std::string(256, 'y')));
    EXPECT_EQ(CRawSender::HungUp, sender.AwaitAnswer());
    ASSERT_TRUE(tooltest::SendLine(m_class, "next\n"));
    EXPECT_THAT(Lines(), ElementsAre(SLine{0, "next\n"}));
}
#endif

TEST_F(TraceWindowHostTest, StopEndsAnUnlimitedRun_TheClassStaysServedForTheNextRun)
{
    Serve({m_class});
    m_host.Stop();
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_TRUE(m_bRunResult);

    // The class stays ours between runs.
    EXPECT_EQ(teServeResult::ClassTaken, CTraceWindowHost().AddClass(m_class.c_str()));
    RunAgain();
    ASSERT_TRUE(tooltest::SendLine(m_class, "after a restart\n"));
    EXPECT_THAT(Lines(), ElementsAre(SLine{0, "after a restart\n"}));
}

TEST(TraceWindowHostRunTest, RunEndsWhenItsTimeIsUp)
{
    CTraceWindowHost host;
    ASSERT_EQ(teServeResult::Serving, host.AddClass(testsupport::UniqueName("Idle").c_str()));
    EXPECT_TRUE(host.Run(
        20, [](void*, std::size_t, const platform::SLineSender&, const char*, std::size_t) {},
        nullptr));
    EXPECT_TRUE(host.Run(
        0, [](void*, std::size_t, const platform::SLineSender&, const char*, std::size_t) {},
        nullptr));
}

CTraceWindowHost* g_pSignalledHost = nullptr;

// A signal that this process raises for itself; the C runtime of Windows knows no SIGUSR1.
#if defined(_WIN32)
constexpr int kStopSignal = SIGTERM;
#else
constexpr int kStopSignal = SIGUSR1;
#endif

extern "C" void StopFromSignal(int)
{
    g_pSignalledHost->Stop();
}

TEST(TraceWindowHostRunTest, StopFromASignalHandlerIsKeptUntilRunAndEndsIt)
{
    CTraceWindowHost host;
    ASSERT_EQ(teServeResult::Serving, host.AddClass(testsupport::UniqueName("Sig").c_str()));
    g_pSignalledHost = &host;
    auto pfnOld = std::signal(kStopSignal, StopFromSignal);
    std::raise(kStopSignal);
    // Would wait forever if the early stop were lost.
    EXPECT_TRUE(host.Run(
        -1, [](void*, std::size_t, const platform::SLineSender&, const char*, std::size_t) {},
        nullptr));
    std::signal(kStopSignal, pfnOld);
    g_pSignalledHost = nullptr;
}

TEST(TraceWindowHostClassTest, ClassServedByAnotherProcessIsTaken_UntilThatProcessDies)
{
    std::string strClass = testsupport::UniqueName("Taken");
    auto pOther = tooltest::StartMovatrace({"--class", strClass});
    ASSERT_TRUE(pOther);
    CTraceWindowHost host;
    EXPECT_EQ(teServeResult::ClassTaken, host.AddClass(strClass.c_str()));

    // Killed, it leaves nothing behind that would keep the class taken.
    pOther->Kill(SIGKILL);
    ASSERT_EQ(128 + SIGKILL, pOther->Wait());
    EXPECT_EQ(teServeResult::Serving, host.AddClass(strClass.c_str()));
}

// A class name longer than the system carries: a window class name has at most 255
// characters, a socket address of the abstract namespace about 100.
#if defined(_WIN32)
constexpr std::size_t kTooLongClass = 300;
#else
constexpr std::size_t kTooLongClass = 120;
#endif

TEST(TraceWindowHostClassTest, ClassTwiceInOneHostIsTaken_UnusableNameFails)
{
    std::string strClass = testsupport::UniqueName("Twice");
    CTraceWindowHost host;
    ASSERT_EQ(teServeResult::Serving, host.AddClass(strClass.c_str()));
    EXPECT_EQ(teServeResult::ClassTaken, host.AddClass(strClass.c_str()));
    EXPECT_EQ(teServeResult::Failed, host.AddClass(std::string(kTooLongClass, 'n').c_str()));
    EXPECT_EQ(teServeResult::Failed, host.AddClass(nullptr));
}

} // namespace
