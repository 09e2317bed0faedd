// korix-dpmaster on a bad line, as real processes: the test is the host (through the board
// operations) and, on the other end of the pseudo-terminal, a slave that mixes in what a real
// RS-485 line brings: bursts and floods of noise, answers out of their slot, stray telegrams
// behind its answers, forged answers ahead of them, silence. Whatever the line does, every value
// the host reads while the board says "exchanging" is one the slave sent in answer; and the master
// ends on SIGTERM.
#include "tests/dp/DpBusFixture.h"
#include "tests/dp/ScriptedLine.h"
#include "tests/sim/SimTestSupport.h"

#include "dp/fdl/TelegramParser.h"
#include "dp/line/SerialPort.h"

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace dptest
{
namespace
{

using simtest::Call;
using simtest::MakeRequest;

constexpr std::uint8_t kSlave = 3;
constexpr std::uint8_t kMasterAddress = 2;

const char* const kBus = R"({
  "baud_rate": 1500000,
  "master_address": 2,
  "response_allowance_us": 20000,
  "restart_interval_ms": 20,
  "slaves": [ { "address": 3, "ident": 2613, "config": "11 21",
                "input_length": 2, "output_length": 2 } ]
})";

// Slave 3 (ident 0x0A35, 2 bytes each way) on a line that misbehaves at random.
class CBadLineSlave
{
public:
    explicit CBadLineSlave(dp::CSerialPort& port) : m_port(port), m_random(20261207) {}

    void Run(const std::atomic<bool>& bStop)
    {
        dp::CTelegramParser parser;
        std::uint8_t abyBuffer[512];
        auto nextFlood = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        while (!bStop)
        {
            if (std::chrono::steady_clock::now() >= nextFlood)
            {
                Flood(std::chrono::milliseconds(50));
                nextFlood = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
            }
            const long nRead = m_port.Read(abyBuffer, sizeof abyBuffer, 1000000);
            if (nRead < 0)
                return;
            std::size_t nAt = 0;
            while (nAt < static_cast<std::size_t>(nRead))
            {
                nAt += parser.Feed(abyBuffer + nAt, static_cast<std::size_t>(nRead) - nAt);
                dp::STelegram request;
                while (parser.Take(request))
                {
                    if (request.byDa == kSlave && request.bySa == kMasterAddress)
                        Handle(request);
                }
            }
        }
    }

    std::set<Bytes> Answered()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_answered;
    }

private:
    void Write(const Bytes& abyBytes) { m_port.Write(abyBytes.data(), abyBytes.size()); }

    Bytes Noise(std::size_t nCount)
    {
        Bytes abyNoise(nCount);
        for (std::uint8_t& by : abyNoise)
            by = static_cast<std::uint8_t>(m_random());
        return abyNoise;
    }

    void Flood(std::chrono::milliseconds duration)
    {
        const auto end = std::chrono::steady_clock::now() + duration;
        while (std::chrono::steady_clock::now() < end)
        {
            Write(Noise(64));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    Bytes Answer(const dp::STelegram& request)
    {
        if (request.eFrame == dp::teFrame::Sd1 && request.byFc == 0x49)
            return Sd1(kMasterAddress, kSlave, 0x00);
        if (request.bHasDsap)
        {
            switch (request.byDsap)
            {
            case 60: // Slave_Diag: ready once configured
                return Sd2(kMasterAddress, kSlave, 0x08, 62, 60,
                           {static_cast<std::uint8_t>(m_bConfigured ? 0x00 : 0x02),
                            static_cast<std::uint8_t>(m_bConfigured ? 0x04 : 0x05), 0x00,
                            static_cast<std::uint8_t>(m_bConfigured ? kMasterAddress : 0xFF), 0x0A,
                            0x35});
            case 61:
                m_bConfigured = false;
                return kShortAck;
            case 62:
                m_bConfigured = true;
                return kShortAck;
            default:
                return Sd1(kMasterAddress, kSlave, 0x03);
            }
        }
        if (!m_bConfigured)
            return Sd1(kMasterAddress, kSlave, 0x03);
        const Bytes abyInputs = {0x10, ++m_byCount};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_answered.insert(abyInputs);
        }
        return Sd2(kMasterAddress, kSlave, 0x08, -1, -1, abyInputs);
    }

    void Handle(const dp::STelegram& request)
    {
        const Bytes abyAnswer = Answer(request);
        const unsigned uDice = m_random() % 100;
        if (uDice < 8) // noise first, then the answer
        {
            Bytes abyBytes = Noise(1 + m_random() % 20);
            abyBytes.insert(abyBytes.end(), abyAnswer.begin(), abyAnswer.end());
            Write(abyBytes);
        }
        else if (uDice < 12) // out of its slot
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            Write(abyAnswer);
        }
        else if (uDice < 22) // a stray telegram right behind the answer
        {
            // (One that came later would meet the master's next request: on a real line a
            // collision that spoils both, on a pseudo-terminal, which has no collisions, an
            // answer nobody can tell from the slave's own.)
            Bytes abyBytes = abyAnswer;
            const Bytes abyStray = Sd2(kMasterAddress, kSlave, 0x08, -1, -1, {0xEE, 0xEE});
            abyBytes.insert(abyBytes.end(), abyStray.begin(), abyStray.end());
            Write(abyBytes);
        }
        else if (uDice < 25) // silence
        {
        }
        else if (uDice < 30) // a forged answer just ahead of the real one
        {
            // (In the same write: the master sees two answers in one window on any line.)
            Bytes abyBytes = Sd2(kMasterAddress, kSlave, 0x08, -1, -1, {0x99, 0x99});
            abyBytes.insert(abyBytes.end(), abyAnswer.begin(), abyAnswer.end());
            Write(abyBytes);
        }
        else
        {
            Write(abyAnswer);
        }
    }

    dp::CSerialPort& m_port;
    std::minstd_rand m_random;
    bool m_bConfigured = false;
    std::uint8_t m_byCount = 0;
    std::mutex m_mutex;
    std::set<Bytes> m_answered;
};

class DpBadLineTest : public simtest::CBoardTest
{
};

TEST_F(DpBadLineTest, TheHostNeverReadsAValueTheSlaveDidNotSendAndSigtermEndsTheMaster)
{
    dp::CSerialPort port;
    std::string strPeer, strError;
    ASSERT_TRUE(port.OpenPseudoTerminal(1500000, strPeer, strError)) << strError;
    CBadLineSlave slave(port);
    std::atomic<bool> bStop{false};
    std::thread line([&] { slave.Run(bStop); });

    const std::string strBus = WriteTempFile("badline.json", kBus);
    testsupport::CChildProcess master({DPMASTER, "--board", std::to_string(m_byBoard), "--port",
                                       strPeer, "--bus", strBus, "--cycle-us", "200"});
    std::string strLine;
    ASSERT_TRUE(master.ReadLine(strLine));
    simtest::SHandle handle = Register({kSlave});

    int nServed = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end)
    {
        const SBoardRequest read = Call(BoardReadInput, MakeRequest(handle, kSlave));
        ASSERT_EQ(read.wError, 0);
        if (read.byMasterState == 0xC0 && (read.bySlaveState == 2 || read.bySlaveState == 3))
        {
            const Bytes abyValue = {read.abyData[0], read.abyData[1]};
            ASSERT_THAT(slave.Answered(), testing::Contains(abyValue))
                << "a value the slave never sent in answer";
            ++nServed;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    EXPECT_GT(nServed, 0) << "the slave never reached data exchange";

    master.Kill(SIGTERM);
    EXPECT_EQ(master.Wait(), 0) << "the master did not end on SIGTERM";
    bStop = true;
    line.join();
    EXPECT_EQ(Call(BoardReadInput, MakeRequest(handle, kSlave)).byMasterState, 0x00);
}

} // namespace
} // namespace dptest
