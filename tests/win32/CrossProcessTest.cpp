// What two Windows processes share: a trace line travels as a global atom to a window of
// another process, a trace level is a named mapping any process can open, and "SemSyncTest"
// is one named semaphore for every process. Each test pairs the library's side with the
// plain Windows calls on the other side, so both ends are held to the system's own rules.
#include "tests/support/ChildProcess.h"
#include "tests/win32/RawTraceWindow.h"
#include "trace/TraceApi.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

constexpr int kReplyTimeoutMs = 20000;
// How long a blocked peer has to stay silent. Passing proves little, failing proves a fault.
constexpr int kQuietMs = 300;

class CPeer : public testsupport::CChildProcess
{
public:
    explicit CPeer(std::vector<std::string> order)
        : testsupport::CChildProcess(WithProgram(std::move(order)))
    {
    }

    std::string Reply(int nTimeoutMs = kReplyTimeoutMs)
    {
        std::string line;
        return ReadLine(line, nTimeoutMs) ? line : "<silent>";
    }

private:
    static std::vector<std::string> WithProgram(std::vector<std::string> order)
    {
        order.insert(order.begin(), testsupport::HelperPath("win32_peer"));
        return order;
    }
};

// The peer's next line, while this thread keeps serving the window: the peer's tracer sends
// to it synchronously, so a window that is not served would hold the peer up.
std::string ReplyWhileServing(CPeer& peer, win32test::CRawTraceWindow& window)
{
    const DWORD dwStart = GetTickCount();
    std::string line;
    while (GetTickCount() - dwStart < static_cast<DWORD>(kReplyTimeoutMs))
    {
        window.Pump(20);
        if (peer.ReadLine(line, 20))
            return line;
    }
    return "<silent>";
}

// The peer's exit code once it has ended (its closing lines served), -1 after the time-out.
int WaitWhileServing(CPeer& peer, win32test::CRawTraceWindow& window)
{
    const DWORD dwStart = GetTickCount();
    while (GetTickCount() - dwStart < static_cast<DWORD>(kReplyTimeoutMs))
    {
        window.Pump(20);
        int nExitCode = peer.Wait(20);
        if (nExitCode != -1)
            return nExitCode;
    }
    return -1;
}

TEST(Win32TraceDeliveryTest, LineArrivesAsAtomThatIsDeletedOnceHandled)
{
    const std::string strName = testsupport::UniqueName("AtomSession");
    const std::string strClass = testsupport::UniqueName("AtomWindow");
    win32test::CRawTraceWindow window(strClass);
    ASSERT_TRUE(window.IsOpen());

    CPeer peer({"trace", strName, strClass});
    ASSERT_EQ(ReplyWhileServing(peer, window), "ready");
    // The level goes up through the session's mapping, opened here by name.
    HANDLE hMapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, strName.c_str());
    ASSERT_NE(hMapping, nullptr);
    auto* pLevel = static_cast<volatile short*>(
        MapViewOfFile(hMapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 2));
    ASSERT_NE(pLevel, nullptr);
    *pLevel = 10;

    const std::size_t nBefore = window.Lines().size(); // the session's opening lines
    EXPECT_GT(nBefore, 0u);
    ASSERT_TRUE(peer.WriteLine("line 11 above the level"));
    EXPECT_EQ(ReplyWhileServing(peer, window), "traced");
    ASSERT_TRUE(peer.WriteLine("line 10 at the level"));
    EXPECT_EQ(ReplyWhileServing(peer, window), "traced");

    // "traced" comes once TraceLine has returned, so every line it sent has arrived by then.
    ASSERT_EQ(window.Lines().size(), nBefore + 1);
    const win32test::SReceivedLine& line = window.Lines().back();
    EXPECT_NE(line.strText.find("at the level"), std::string::npos) << line.strText;
    // Atom numbers are shared by every process and reused at once: tests running beside this
    // one may have been given the number meanwhile. Gone means: not naming our line any more.
    char szLeft[256] = {};
    const UINT nLeft = GlobalGetAtomNameA(line.atom, szLeft, sizeof szLeft);
    EXPECT_TRUE(nLeft == 0 || std::string(szLeft, nLeft) != line.strText)
        << "the sender deletes its atom once the window has handled the line";

    UnmapViewOfFile(const_cast<short*>(pLevel));
    CloseHandle(hMapping);
    EXPECT_TRUE(peer.WriteLine("quit"));
    EXPECT_EQ(WaitWhileServing(peer, window), 0);
}

TEST(Win32TraceLevelTest, LevelWrittenThroughAnotherProcessMappingReachesTheSession)
{
    const std::string strName = testsupport::UniqueName("LevelSession");
    CTracer* pTracer = CreateTracer(strName.c_str(), "NoWindowHere", TIMESTAMP_TICKS, 0);
    ASSERT_NE(pTracer, nullptr);
    EXPECT_EQ(TraceLevelEnabled(pTracer, 37), 0);

    CPeer peer({"setlevel", strName, "37"});
    EXPECT_EQ(peer.Reply(), "set");
    EXPECT_EQ(peer.Wait(kReplyTimeoutMs), 0);
    EXPECT_EQ(TraceLevelEnabled(pTracer, 37), 1);
    EXPECT_EQ(TraceLevelEnabled(pTracer, 38), 0);
    DeleteTracer(pTracer);

    CPeer late({"setlevel", strName, "5"});
    EXPECT_EQ(late.Reply(), "failed") << "the session's name goes with its last holder";
}

TEST(Win32BoardSemaphoreTest, SemSyncTestIsOneSemaphoreForEveryProcess)
{
    CPeer holder({"semhold", "SemSyncTest"});
    ASSERT_EQ(holder.Reply(), "held");
    HANDLE hSemaphore = OpenSemaphoreA(SYNCHRONIZE | SEMAPHORE_MODIFY_STATE, FALSE, "SemSyncTest");
    ASSERT_NE(hSemaphore, nullptr);
    EXPECT_EQ(WaitForSingleObject(hSemaphore, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_TRUE(holder.WriteLine("release"));
    EXPECT_EQ(holder.Reply(), "released");
    ASSERT_EQ(WaitForSingleObject(hSemaphore, kReplyTimeoutMs), WAIT_OBJECT_0);

    // Now this process holds it with the plain calls; the library's side has to wait.
    CPeer waiter({"semhold", "SemSyncTest"});
    EXPECT_EQ(waiter.Reply(kQuietMs), "<silent>");
    LONG nPrevious = -1;
    EXPECT_TRUE(ReleaseSemaphore(hSemaphore, 1, &nPrevious));
    EXPECT_EQ(nPrevious, 0);
    EXPECT_EQ(waiter.Reply(), "held");
    EXPECT_TRUE(waiter.WriteLine("release"));
    EXPECT_EQ(waiter.Reply(), "released");
    EXPECT_FALSE(ReleaseSemaphore(hSemaphore, 1, nullptr)) << "count 1 is its maximum";

    holder.WriteLine("quit");
    waiter.WriteLine("quit");
    EXPECT_EQ(holder.Wait(kReplyTimeoutMs), 0);
    EXPECT_EQ(waiter.Wait(kReplyTimeoutMs), 0);
    CloseHandle(hSemaphore);
}

TEST(Win32MovatraceTest, WindowPrintsALineSentAsAtomByAnyProgram)
{
    const std::string strClass = testsupport::UniqueName("MovatraceClass");
    testsupport::CChildProcess movatrace(
        {testsupport::HelperPath("movatrace"), "--class", strClass, "--no-color"},
        testsupport::teErrorOutput::Merged);
    std::string line;
    bool bServing = false;
    while (!bServing && movatrace.ReadLine(line, kReplyTimeoutMs))
        bServing = line.find("serving") != std::string::npos;
    ASSERT_TRUE(bServing) << line;

    HWND hWnd = FindWindowA(strClass.c_str(), nullptr);
    ASSERT_NE(hWnd, nullptr);
    ATOM atom = GlobalAddAtomA("a line from a plain Windows program");
    ASSERT_NE(atom, 0);
    SendMessageA(hWnd, RegisterWindowMessageA("*WM_TRACE_MSG"), atom, 0);
    GlobalDeleteAtom(atom);

    bool bPrinted = false;
    while (!bPrinted && movatrace.ReadLine(line, kReplyTimeoutMs))
        bPrinted = line.find("a line from a plain Windows program") != std::string::npos;
    EXPECT_TRUE(bPrinted);
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    movatrace.Kill(15);
    movatrace.Wait(kReplyTimeoutMs);
}

} // namespace
