// korix-dpmaster --listen as a real process on a pseudo-terminal: the test writes a master's and
// its slave's telegrams into the other end, as a running bus brings them, and reads the board
// as a host. The monitor serves only values that crossed the line as an exchange, refuses a
// host's write, publishes its status, and never writes a byte: nothing ever arrives on the
// test's end.
#include "tests/dp/DpBusFixture.h"
#include "tests/dp/ScriptedLine.h"
#include "tests/sim/SimTestSupport.h"

#include "dp/line/SerialPort.h"
#include "dp/status/MasterStatusReader.h"
#include "dp/status/MasterStatusText.h"

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace dptest
{
namespace
{

using simtest::Call;
using simtest::MakeRequest;

constexpr std::uint8_t kSlave = 3;
constexpr std::uint8_t kMaster = 2;

const char* const kBus = R"({
  "baud_rate": 187500,
  "master_address": 1,
  "response_allowance_us": 20000,
  "slaves": [ { "address": 3, "ident": 2613, "config": "11 21",
                "input_length": 2, "output_length": 2 } ]
})";

// The bus's own master and slave 3, both written here: a Data_Exchange every few milliseconds,
// the answer a millisecond behind its request. Every value written is remembered.
class CRunningBus
{
public:
    explicit CRunningBus(dp::CSerialPort& port) : m_port(port) {}

    void Run(const std::atomic<bool>& bStop)
    {
        bool bFcb = true;
        for (std::uint32_t n = 1; !bStop; ++n)
        {
            bFcb = !bFcb;
            const Bytes abyOutputs = {static_cast<std::uint8_t>(n), 0xA5};
            const Bytes abyInputs = {static_cast<std::uint8_t>(n * 7), 0x5A};
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_outputs.insert(abyOutputs);
                m_inputs.insert(abyInputs);
            }
            const auto byFc = static_cast<std::uint8_t>(0x40 | (bFcb ? 0x20 : 0) | 0x10 | 0x0D);
            const Bytes abyRequest = Sd2(kSlave, kMaster, byFc, -1, -1, abyOutputs);
            const Bytes abyAnswer = Sd2(kMaster, kSlave, 0x08, -1, -1, abyInputs);
            m_port.Write(abyRequest.data(), abyRequest.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            m_port.Write(abyAnswer.data(), abyAnswer.size());
            // Every few cycles a line of noise: it must never become a value.
            if (n % 16 == 0)
            {
                const Bytes abyNoise = {0x68, 0x05, 0x05, 0x68, 0x02, 0x03, 0x08, 0xEE, 0xEE};
                m_port.Write(abyNoise.data(), abyNoise.size());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::uint8_t abyBack[64];
            if (m_port.Read(abyBack, sizeof abyBack, 0) > 0)
                m_bHeardBack = true;
        }
    }

    bool Sent(const Bytes& abyOutputs, const Bytes& abyInputs)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return (abyOutputs.empty() || m_outputs.count(abyOutputs) != 0) &&
               (abyInputs.empty() || m_inputs.count(abyInputs) != 0);
    }
    bool HeardBack() const { return m_bHeardBack; }

private:
    dp::CSerialPort& m_port;
    std::mutex m_mutex;
    std::set<Bytes> m_outputs;
    std::set<Bytes> m_inputs;
    std::atomic<bool> m_bHeardBack{false};
};

class DpListenTest : public simtest::CBoardTest
{
};

TEST_F(DpListenTest, TheMonitorServesTheBusReadOnlyAndNeverSendsAByte)
{
    dp::CSerialPort port;
    std::string strPeer, strError;
    ASSERT_TRUE(port.OpenPseudoTerminal(187500, strPeer, strError)) << strError;
    const std::string strBus = WriteTempFile("listen.json", kBus);
    testsupport::CChildProcess monitor({DPMASTER, "--listen", "--board", std::to_string(m_byBoard),
                                        "--port", strPeer, "--bus", strBus});
    std::string strLine;
    ASSERT_TRUE(monitor.ReadLine(strLine));
    EXPECT_THAT(strLine, testing::HasSubstr("without ever sending"));

    CRunningBus bus(port);
    std::atomic<bool> bStop{false};
    std::thread line([&] { bus.Run(bStop); });
    simtest::SHandle handle = Register({});

    int nServed = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (nServed < 50 && std::chrono::steady_clock::now() < end)
    {
        const SBoardRequest input = Call(BoardReadInput, MakeRequest(handle, kSlave));
        const SBoardRequest output = Call(BoardReadOutput, MakeRequest(handle, kSlave));
        ASSERT_EQ(input.wError, 0);
        ASSERT_EQ(output.wError, 0);
        const Bytes abyInputs = {input.abyData[0], input.abyData[1]};
        const Bytes abyOutputs = {output.abyData[0], output.abyData[1]};
        if (input.bySlaveState == SlaveDataExchange)
        {
            ASSERT_TRUE(bus.Sent({}, abyInputs)) << "inputs that never crossed the line";
            ++nServed;
        }
        else
        {
            ASSERT_THAT(abyInputs, testing::Each(0)) << "inputs of a slave not exchanging";
        }
        if (output.bySlaveState == SlaveDataExchange)
        {
            ASSERT_TRUE(bus.Sent(abyOutputs, {})) << "outputs that never crossed the line";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GE(nServed, 50) << "the slave was never shown exchanging";

    const SBoardRequest write = Call(BoardWriteOutput, simtest::MakeWrite(handle, kSlave, {1, 2}));
    EXPECT_EQ(write.wError, 0x86);

    // The status block: a monitor's, with the master and slave it heard.
    // The noise comes every 16 cycles and the block is updated every 100 ms: wait for both.
    dp::SMasterStatus status;
    const auto noted = [&]
    {
        return status.eStatus == dp::teMasterStatus::Live && status.bMonitor &&
               status.monitor.aStations[kSlave].byKind == dp::StationSlave &&
               status.monitor.dwSkippedBytes + status.monitor.dwTruncated +
                       status.monitor.dwBadFrames !=
                   0;
    };
    for (int i = 0; i < 400 && !noted(); ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        status = dp::ReadMasterStatus(m_byBoard);
    }
    ASSERT_EQ(status.eStatus, dp::teMasterStatus::Live) << status.strWhy;
    ASSERT_TRUE(status.bMonitor);
    EXPECT_EQ(status.monitor.aStations[kMaster].byKind, dp::StationMaster);
    EXPECT_EQ(status.monitor.aStations[kSlave].byKind, dp::StationSlave);
    EXPECT_EQ(status.monitor.aStations[kSlave].byMaster, kMaster);
    EXPECT_GT(
        status.monitor.dwSkippedBytes + status.monitor.dwTruncated + status.monitor.dwBadFrames, 0u)
        << "the noise was counted";
    const std::string strText = dp::FormatMasterStatus(status);
    EXPECT_THAT(strText, testing::HasSubstr("DP monitor: listening"));
    EXPECT_THAT(strText, testing::HasSubstr("slave 3 of master 2"));

    bStop = true;
    line.join();
    monitor.Kill(SIGTERM);
    EXPECT_EQ(monitor.Wait(), 0) << "the monitor did not end on SIGTERM";
    std::uint8_t abyBack[64];
    EXPECT_EQ(port.Read(abyBack, sizeof abyBack, 200000000), 0);
    EXPECT_FALSE(bus.HeardBack()) << "the monitor wrote to the line";
    EXPECT_EQ(Call(BoardReadInput, MakeRequest(handle, kSlave)).byMasterState, MasterOffline);
}

TEST(DpListenOptions, ListenTakesABusFileOrARateAndAMasterNeedsItsBusFile)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--port", "/dev/null"},
          {"--listen", "--port", "/dev/null"},
          {"--port", "/dev/null", "--bus", "x.json", "--baud", "19200"},
          {"--listen", "--port", "/dev/null", "--bus", "x.json", "--baud", "19200"}})
    {
        std::vector<std::string> argv = {DPMASTER};
        argv.insert(argv.end(), args.begin(), args.end());
        testsupport::CChildProcess child(argv);
        EXPECT_EQ(child.Wait(), 2) << args.size();
    }
    testsupport::CChildProcess help({DPMASTER, "--help"});
    const std::string strHelp = help.ReadAll();
    EXPECT_THAT(strHelp, testing::HasSubstr("--listen"));
    EXPECT_THAT(strHelp, testing::HasSubstr("never writes a byte"));
}

} // namespace
} // namespace dptest
