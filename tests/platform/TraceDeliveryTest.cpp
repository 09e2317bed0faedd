#include "platform/TraceDelivery.h"
#include "tests/platform/PeerProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include "platform/posix/TraceWindowAddress.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace
{

using platformtest::CPeer;

#if defined(_WIN32)
// The tests that play the window themselves speak the POSIX wire protocol (a SOCK_SEQPACKET
// listener per class); on Win32 the window is a real window, served by CTraceWindowHost.
constexpr char kNoRawWindow[] = "plays a POSIX trace window (a SOCK_SEQPACKET listener) itself";
#else

// The least a trace window does: listen on the class's address and take connections.
class CRawWindow
{
public:
    explicit CRawWindow(const std::string& windowClass)
    {
        sockaddr_un addr;
        socklen_t nLength = platform::posix::MakeTraceWindowAddress(windowClass.c_str(), addr);
        m_fdListen = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (nLength == 0 || bind(m_fdListen, reinterpret_cast<sockaddr*>(&addr), nLength) != 0 ||
            listen(m_fdListen, 4) != 0)
        {
            close(m_fdListen);
            m_fdListen = -1;
        }
    }
    ~CRawWindow()
    {
        if (m_fdListen >= 0)
            close(m_fdListen);
    }
    CRawWindow(const CRawWindow&) = delete;
    CRawWindow& operator=(const CRawWindow&) = delete;

    bool IsListening() const { return m_fdListen >= 0; }
    int Accept() const { return accept4(m_fdListen, nullptr, nullptr, SOCK_CLOEXEC); }

private:
    int m_fdListen = -1;
};

// Receives one packet; the flag MSG_TRUNC makes recv report its full length.
std::string ReceivePacket(int fd)
{
    char buffer[1024];
    ssize_t nLength = recv(fd, buffer, sizeof buffer, MSG_TRUNC);
    return nLength < 0 ? "<error>" : std::string(buffer, static_cast<std::size_t>(nLength));
}

bool HasMoreToRead(int fd)
{
    char byte;
    return recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) >= 0;
}

#endif

// Sends one line on its own thread, so that the test can play the window meanwhile.
class CSender
{
public:
    CSender(platform::HTraceWindow hWindow, platform::TraceAtom atom)
        : m_thread(
              [this, hWindow, atom]
              {
                  m_bResult = platform::SendTraceMessage(
                      hWindow, platform::RegisterTraceMessage("*WM_TRACE_MSG"), atom);
                  m_bReturned = true;
              })
    {
    }
    ~CSender()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool HasReturned() const { return m_bReturned; }
    bool Join()
    {
        m_thread.join();
        return m_bResult;
    }

private:
    std::atomic<bool> m_bReturned{false};
    bool m_bResult = false;
    std::thread m_thread;
};

TEST(PlatformTraceDelivery, NoWindowWithoutAListener)
{
#if defined(_WIN32)
    GTEST_SKIP() << kNoRawWindow;
#else
    std::string windowClass = testsupport::UniqueName("twNone");
    EXPECT_EQ(platform::FindTraceWindow(windowClass.c_str()), nullptr);
    {
        CRawWindow window(windowClass);
        ASSERT_TRUE(window.IsListening());
        platform::HTraceWindow hWindow = platform::FindTraceWindow(windowClass.c_str());
        EXPECT_NE(hWindow, nullptr);
        platform::ReleaseTraceWindow(hWindow);
    }
    EXPECT_EQ(platform::FindTraceWindow(windowClass.c_str()), nullptr);
    EXPECT_EQ(platform::FindTraceWindow(nullptr), nullptr);
    EXPECT_EQ(platform::FindTraceWindow(std::string(200, 'c').c_str()), nullptr);
#endif
}

TEST(PlatformTraceDelivery, LineArrivesWholeAndTheSenderWaitsForTheAnswer)
{
#if defined(_WIN32)
    GTEST_SKIP() << kNoRawWindow;
#else
    std::string windowClass = testsupport::UniqueName("twLine");
    CRawWindow window(windowClass);
    ASSERT_TRUE(window.IsListening());

    std::string line(platform::kMaxTraceAtomText - 1, 'x');
    line.replace(0, 6, "12:00 ");
    line += '\n';
    platform::TraceAtom atom = platform::AddTraceAtom(line.c_str());
    ASSERT_NE(atom, 0u);
    platform::HTraceWindow hWindow = platform::FindTraceWindow(windowClass.c_str());
    ASSERT_NE(hWindow, nullptr);
    CSender sender(hWindow, atom);

    int fd = window.Accept();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ReceivePacket(fd), line);
    EXPECT_FALSE(HasMoreToRead(fd));
    EXPECT_FALSE(sender.HasReturned()) << "returned before the window answered";
    ASSERT_EQ(send(fd, "A", 1, MSG_NOSIGNAL), 1);
    EXPECT_TRUE(sender.Join());

    platform::DeleteTraceAtom(atom);
    platform::ReleaseTraceWindow(hWindow);
    close(fd);
#endif
}

TEST(PlatformTraceDelivery, AWindowThatHangsUpEndsTheSend)
{
#if defined(_WIN32)
    GTEST_SKIP() << kNoRawWindow;
#else
    std::string windowClass = testsupport::UniqueName("twHangUp");
    CRawWindow window(windowClass);
    ASSERT_TRUE(window.IsListening());
    platform::HTraceWindow hWindow = platform::FindTraceWindow(windowClass.c_str());
    ASSERT_NE(hWindow, nullptr);

    // Atom 0 stands for a text the atom table refused: an empty packet.
    CSender sender(hWindow, 0);
    int fd = window.Accept();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ReceivePacket(fd), "");
    close(fd);
    EXPECT_TRUE(sender.Join());

    // Once the window is gone, a line on the old handle cannot be handed over.
    EXPECT_FALSE(platform::SendTraceMessage(hWindow, 1, platform::AddTraceAtom("late\n")));
    platform::ReleaseTraceWindow(hWindow);
    EXPECT_FALSE(platform::SendTraceMessage(nullptr, 1, 0));
#endif
}

TEST(PlatformTraceDelivery, AtomsCarryOnlyTextsTheWindowCanTake)
{
    std::string longest(platform::kMaxTraceAtomText, 'a');
    std::string tooLong(platform::kMaxTraceAtomText + 1, 'a');
    EXPECT_NE(platform::AddTraceAtom(longest.c_str()), 0u);
    EXPECT_EQ(platform::AddTraceAtom(tooLong.c_str()), 0u);
    EXPECT_EQ(platform::AddTraceAtom(""), 0u);
    EXPECT_EQ(platform::AddTraceAtom(nullptr), 0u);
}

TEST(PlatformTraceDelivery, MessageIdIsTheSameInEveryProcess)
{
    std::uint32_t uMsg = platform::RegisterTraceMessage("*WM_TRACE_MSG");
    EXPECT_GE(uMsg, 0xC000u);
    EXPECT_LE(uMsg, 0xFFFFu);
    CPeer peer({"msgid", "*WM_TRACE_MSG"});
    EXPECT_EQ(peer.Reply(), std::to_string(uMsg));
    EXPECT_EQ(platform::RegisterTraceMessage(nullptr), 0u);
}

} // namespace
