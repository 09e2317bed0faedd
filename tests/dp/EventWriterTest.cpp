// The master's output path in one process: CEventWriter on a pipe that the test reads, or
// leaves unread to stand for a stalled output, and the input line cutter.
#include "tools/dpmaster/EventWriter.h"
#include "tools/dpmaster/InputLines.h"

#include <gmock/gmock.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace dptest
{
namespace
{

using dpmaster::CEventWriter;
using dpmaster::CInputLines;
using testing::ElementsAre;
using testing::HasSubstr;

constexpr const char* kPrefix = "writer: ";

// A pipe whose buffer is already full: a write to it blocks until the test reads.
class CStalledPipe
{
public:
    CStalledPipe()
    {
        EXPECT_EQ(pipe2(m_afd, O_CLOEXEC | O_NONBLOCK), 0);
        fcntl(m_afd[1], F_SETPIPE_SZ, 4096); // the smallest; less filler to read back
        const std::string strFiller(4096, '.');
        while (::write(m_afd[1], strFiller.data(), strFiller.size()) > 0)
            m_nFiller += strFiller.size();
        // What is left is smaller than a page: fill it byte by byte.
        while (::write(m_afd[1], ".", 1) == 1)
            ++m_nFiller;
        fcntl(m_afd[1], F_SETFL, 0);
        fcntl(m_afd[0], F_SETFL, 0);
    }
    ~CStalledPipe()
    {
        CloseReader();
        if (m_afd[1] >= 0)
            ::close(m_afd[1]);
    }

    // A writer's output must stay open for the process's life: one left behind may still be
    // in its write when the test ends, so its end of the pipe is never closed.
    void KeepWriteEndForTheProcess() { m_afd[1] = -1; }

    int WriteEnd() const { return m_afd[1]; }

    void CloseReader()
    {
        if (m_afd[0] >= 0)
            ::close(m_afd[0]);
        m_afd[0] = -1;
    }

    // Reads (taking the filler first) until strUntil has come; false after 20 s.
    bool ReadUntil(const std::string& strUntil)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (m_strText.find(strUntil) == std::string::npos)
        {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            struct pollfd pfd = {m_afd[0], POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0)
                continue;
            char achBuffer[4096];
            const ssize_t n = ::read(m_afd[0], achBuffer, sizeof achBuffer);
            if (n <= 0)
                return false;
            m_strText.append(achBuffer, static_cast<std::size_t>(n));
        }
        return true;
    }

    // What came after the filler.
    std::string Text() const { return m_strText.substr(std::min(m_nFiller, m_strText.size())); }

private:
    int m_afd[2] = {-1, -1};
    std::size_t m_nFiller = 0;
    std::string m_strText;
};

std::string Line(int n)
{
    return "line " + std::to_string(n);
}

std::string LostNote(int nLost)
{
    return kPrefix + std::to_string(nLost) +
           (nLost == 1 ? " line lost: out did not take it\n"
                       : " lines lost: out did not take them\n");
}

TEST(EventWriterTest, AStalledOutputDropsAndCountsLinesAndTheCountFollowsOnceItReadsAgain)
{
    CStalledPipe pipe;
    CEventWriter writer(pipe.WriteEnd(), kPrefix, "out", 10);
    // Not one of these waits for the pipe: those beyond the queue are dropped and counted.
    // The writer may take a line off the queue meanwhile; a line queued after some were
    // dropped carries their count in front of it.
    std::string strExpected;
    int nDropped = 0;
    int nUnsaid = 0;
    for (int i = 0; i < 100; ++i)
    {
        if (!writer.Post(Line(i)))
        {
            ++nDropped;
            ++nUnsaid;
            continue;
        }
        strExpected += (nUnsaid != 0 ? LostNote(nUnsaid) : "") + Line(i) + "\n";
        nUnsaid = 0;
    }
    EXPECT_GE(nDropped, 100 - 11); // the queue, and the line the writer is writing
    EXPECT_EQ(writer.LostCount(), static_cast<std::uint64_t>(nDropped));

    // The pipe reads again: what was queued comes in order, then the count of the rest.
    strExpected += LostNote(nUnsaid);
    ASSERT_TRUE(pipe.ReadUntil(strExpected)) << pipe.Text();
    EXPECT_EQ(pipe.Text(), strExpected);

    // And the next line passes as usual.
    EXPECT_TRUE(writer.Post("after"));
    ASSERT_TRUE(pipe.ReadUntil("after\n"));
    EXPECT_EQ(pipe.Text(), strExpected + "after\n");
    EXPECT_TRUE(writer.Stop());
}

TEST(EventWriterTest, StoppingLeavesAWriterStuckOnAStalledOutputBehind)
{
    CStalledPipe pipe;
    auto pWriter = std::make_unique<CEventWriter>(pipe.WriteEnd(), kPrefix, "out");
    ASSERT_TRUE(pWriter->Post("stuck"));
    // Never read: the stop gives up after its wait instead of holding the caller.
    EXPECT_FALSE(pWriter->Stop(std::chrono::milliseconds(50)));
    EXPECT_FALSE(pWriter->Post("after the stop"));
    pWriter.reset();
    // The writer left behind ends when its write fails; the pipe's reader going away must not
    // end this process (SIGPIPE).
    pipe.CloseReader();
    pipe.KeepWriteEndForTheProcess();
}

TEST(EventWriterTest, AnOutputWhoseReaderHasGoneEndsNothing)
{
    int afd[2];
    ASSERT_EQ(pipe2(afd, O_CLOEXEC), 0);
    ::close(afd[0]);
    CEventWriter writer(afd[1], kPrefix, "out");
    EXPECT_TRUE(writer.Post("nobody reads this"));
    EXPECT_TRUE(writer.Stop());
    ::close(afd[1]);
}

TEST(EventWriterTest, DeferredTextIsMadeInTheWriterThreadAndAddsTheLineEnd)
{
    CStalledPipe pipe;
    CEventWriter writer(pipe.WriteEnd(), kPrefix, "out");
    std::atomic<bool> bMadeHere{false};
    const std::thread::id caller = std::this_thread::get_id();
    ASSERT_TRUE(writer.PostDeferred(
        [&]
        {
            bMadeHere = std::this_thread::get_id() == caller;
            return std::string("made later");
        }));
    ASSERT_TRUE(writer.PostDeferred([]() -> std::string { throw std::runtime_error("no"); }));
    ASSERT_TRUE(writer.Post("two\nlines\n"));
    ASSERT_TRUE(pipe.ReadUntil("lines\n"));
    EXPECT_FALSE(bMadeHere);
    EXPECT_EQ(pipe.Text(), "made later\ntwo\nlines\n");
    EXPECT_TRUE(writer.Stop());
}

TEST(EventWriterTest, TheQueueHoldsABoundedAmountOfText)
{
    CStalledPipe pipe;
    CEventWriter writer(pipe.WriteEnd(), kPrefix, "out", 1000, 100);
    EXPECT_TRUE(writer.Post("x")); // in the write, or still queued
    EXPECT_TRUE(writer.Post(std::string(70, 'a')));
    EXPECT_FALSE(writer.Post(std::string(70, 'b'))); // 140 bytes would wait
    EXPECT_TRUE(writer.Post(std::string(20, 'c')));
    EXPECT_EQ(writer.LostCount(), 1u);
    ASSERT_TRUE(pipe.ReadUntil("1 line lost: out did not take it\n"));
    EXPECT_TRUE(writer.Stop());
}

TEST(InputLinesTest, CutsLinesAndDropsOneLongerThanTheLimitWithoutHoldingIt)
{
    CInputLines input(8);
    std::vector<std::string> lines;
    input.Add("sta", 3, lines);
    input.Add("tus\r\nx\n", 7, lines);
    EXPECT_THAT(lines, ElementsAre("status", "x"));
    EXPECT_FALSE(input.TakeDroppedNotice());

    // A megabyte without a line end holds no more than the limit, and is dropped whole.
    lines.clear();
    const std::string strFlood(1 << 20, 's');
    for (int i = 0; i < 4; ++i)
        input.Add(strFlood.data(), strFlood.size(), lines);
    EXPECT_LE(input.PendingSize(), 8u);
    input.Add("\nstatus\n", 8, lines);
    EXPECT_THAT(lines, ElementsAre("status"));
    EXPECT_TRUE(input.TakeDroppedNotice());
    EXPECT_FALSE(input.TakeDroppedNotice()); // said once

    lines.clear();
    input.Add("123456789\n12345678\n", 19, lines);
    EXPECT_THAT(lines, ElementsAre("12345678"));
}

} // namespace
} // namespace dptest
