// The serial port's lock file in a folder of the test's own: its name and content as the
// system's serial programs expect them, a live holder named, a dead one's file taken over.
#include "dp/line/SerialPortLock.h"
#include "dp/line/UsbLatency.h"

#include "tests/support/ChildProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace
{

namespace fs = std::filesystem;
using testing::HasSubstr;

class SerialPortLockTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const testing::TestInfo* pInfo = testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() /
                ("portlock-" + std::to_string(::getpid()) + "-" + pInfo->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void WriteLock(const std::string& strName, const std::string& strContent)
    {
        std::ofstream(m_dir / strName, std::ios::binary) << strContent;
    }

    std::string ReadLock(const std::string& strName)
    {
        std::ifstream file(m_dir / strName, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    static std::string PidText(int nPid)
    {
        char szText[16];
        std::snprintf(szText, sizeof szText, "%10d\n", nPid);
        return szText;
    }

    fs::path m_dir;
};

TEST_F(SerialPortLockTest, NamesFollowTheDevice)
{
    EXPECT_EQ(dp::CSerialPortLock::LockFileName("/dev/ttyS0"), "LCK..ttyS0");
    EXPECT_EQ(dp::CSerialPortLock::LockFileName("/dev/pts/7"), "LCK..pts_7");
    // A link (as under /dev/serial/by-id/) locks the device it points to.
    const fs::path link = m_dir / "by-id-adapter";
    fs::create_symlink("/dev/null", link);
    EXPECT_EQ(dp::CSerialPortLock::LockFileName(link.string()), "LCK..null");
}

TEST_F(SerialPortLockTest, TakesAFreePortAndReleasesOnlyItsOwnFile)
{
    std::string strError;
    {
        dp::CSerialPortLock lock(m_dir.string());
        ASSERT_TRUE(lock.Take("/dev/ttyS9", strError)) << strError;
        EXPECT_TRUE(lock.Warning().empty());
        // Ten characters and a newline, right-aligned, as the convention has it.
        EXPECT_EQ(ReadLock("LCK..ttyS9"), PidText(::getpid()));
        EXPECT_EQ(lock.LockPath(), (m_dir / "LCK..ttyS9").string());
    }
    EXPECT_FALSE(fs::exists(m_dir / "LCK..ttyS9"));

    // A file that another process put there since is not ours to remove.
    dp::CSerialPortLock lock(m_dir.string());
    ASSERT_TRUE(lock.Take("/dev/ttyS9", strError));
    WriteLock("LCK..ttyS9", PidText(1));
    lock.Release();
    EXPECT_EQ(ReadLock("LCK..ttyS9"), PidText(1));
}

TEST_F(SerialPortLockTest, ALiveHolderIsNamedAndADeadOnesFileTakenOver)
{
    testsupport::CChildProcess holder({"/bin/sleep", "60"});
    ASSERT_TRUE(holder.IsRunning());
    // The child has its name once it has run the program, which on a busy machine may come
    // after the fork has returned here.
    const std::string strComm = "/proc/" + std::to_string(holder.GetPid()) + "/comm";
    std::string strName;
    for (int i = 0; i < 1000 && strName != "sleep"; ++i)
    {
        std::ifstream comm(strComm);
        std::getline(comm, strName);
        if (strName != "sleep")
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(strName, "sleep");
    WriteLock("LCK..ttyUSB3", PidText(holder.GetPid()));
    std::string strError;
    dp::CSerialPortLock lock(m_dir.string());
    EXPECT_FALSE(lock.Take("/dev/ttyUSB3", strError));
    EXPECT_THAT(strError, HasSubstr("/dev/ttyUSB3 is in use by process " +
                                    std::to_string(holder.GetPid()) + " (sleep)"));
    EXPECT_EQ(ReadLock("LCK..ttyUSB3"), PidText(holder.GetPid()));

    holder.Kill(SIGKILL);
    holder.Wait();
    ASSERT_TRUE(lock.Take("/dev/ttyUSB3", strError)) << strError;
    EXPECT_EQ(ReadLock("LCK..ttyUSB3"), PidText(::getpid()));

    // Older programs wrote the pid as four binary bytes; a dead one's is taken over as well.
    const int nDead = holder.GetPid();
    std::string strBinary(reinterpret_cast<const char*>(&nDead), sizeof nDead);
    WriteLock("LCK..ttyUSB4", strBinary);
    EXPECT_TRUE(lock.Take("/dev/ttyUSB4", strError)) << strError;
    EXPECT_FALSE(fs::exists(m_dir / "LCK..ttyUSB3")) << "taking another port releases the first";
}

TEST_F(SerialPortLockTest, AFolderWeMayNotWriteToGivesAWarningNotARefusal)
{
    std::string strError;
    dp::CSerialPortLock lock((m_dir / "missing").string());
    EXPECT_TRUE(lock.Take("/dev/ttyS1", strError));
    EXPECT_THAT(lock.Warning(), HasSubstr("held by its exclusive mode only"));
}

// A sysfs tree of the test's own stands for /sys.
TEST_F(SerialPortLockTest, AUsbAdapterWithASlowLatencyTimerIsPointedOut)
{
    const fs::path device = m_dir / "class/tty/ttyUSB0/device";
    fs::create_directories(device);
    std::ofstream(device / "latency_timer") << "16\n";
    EXPECT_EQ(dp::ReadUsbLatencyTimer("/dev/ttyUSB0", m_dir.string()), 16);
    const std::string strAdvice = dp::UsbLatencyAdvice("/dev/ttyUSB0", m_dir.string());
    EXPECT_THAT(strAdvice, HasSubstr("latency timer is 16 ms"));
    EXPECT_THAT(strAdvice, HasSubstr("echo 1 > /sys/class/tty/ttyUSB0/device/latency_timer"));

    std::ofstream(device / "latency_timer") << "1\n";
    EXPECT_EQ(dp::UsbLatencyAdvice("/dev/ttyUSB0", m_dir.string()), "");
    // A port that is no USB adapter has no timer, and nothing to say.
    EXPECT_EQ(dp::ReadUsbLatencyTimer("/dev/ttyS0", m_dir.string()), -1);
    EXPECT_EQ(dp::UsbLatencyAdvice("/dev/ttyS0", m_dir.string()), "");
}

} // namespace
