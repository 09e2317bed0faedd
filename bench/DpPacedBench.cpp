// The DP master's CPU per Data_Exchange of 8 output and 8 input bytes on a pseudo-terminal
// whose other end answers as a real line delivers: a character per character time at the bus
// rate, or in a few chunks as a USB adapter passes them on (bench/PacedDpSlave.h). The time a
// paced answer takes is the peer's; what counts here is what the master's thread spends
// meanwhile, however the answer trickles in:
// - cpu_us: the master thread's CPU per exchange (CLOCK_THREAD_CPUTIME_ID around each cycle);
// - receives, waits, drains: the line calls per exchange, each a wake-up or a read at most;
// - send_cpu_us, receive_cpu_us, wait_cpu_us: where the CPU goes, per exchange.
// Arguments: the bus rate, and the pace (0 at once, 1 per character, 2 in three chunks).
#include "bench/PacedDpSlave.h"

#include "dp/line/SerialPort.h"
#include "dp/master/DpMaster.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <string>

namespace
{

std::uint64_t ThreadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

// The master's line with every call counted, and the CPU spent in it.
class CCountingLine : public dp::IDpLine
{
public:
    explicit CCountingLine(dp::IDpLine& line) : m_line(line) {}

    bool Send(const std::uint8_t* pbyBytes, std::size_t nCount) override
    {
        const std::uint64_t qwStart = ThreadCpuNs();
        const bool bSent = m_line.Send(pbyBytes, nCount);
        m_qwSendCpuNs += ThreadCpuNs() - qwStart;
        return bSent;
    }
    long Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                 std::uint64_t qwDeadlineNs) override
    {
        ++m_qwReceives;
        const std::uint64_t qwStart = ThreadCpuNs();
        const long nRead = m_line.Receive(pbyBuffer, nCapacity, qwDeadlineNs);
        m_qwReceiveCpuNs += ThreadCpuNs() - qwStart;
        return nRead;
    }
    void WaitUntil(std::uint64_t qwNs) override
    {
        ++m_qwWaits;
        const std::uint64_t qwStart = ThreadCpuNs();
        m_line.WaitUntil(qwNs);
        m_qwWaitCpuNs += ThreadCpuNs() - qwStart;
    }
    long Drain() override
    {
        ++m_qwDrains;
        return m_line.Drain();
    }
    bool Paced() const override { return m_line.Paced(); }

    std::uint64_t m_qwReceives = 0;
    std::uint64_t m_qwDrains = 0;
    std::uint64_t m_qwWaits = 0;
    std::uint64_t m_qwSendCpuNs = 0;
    std::uint64_t m_qwReceiveCpuNs = 0;
    std::uint64_t m_qwWaitCpuNs = 0;

private:
    dp::IDpLine& m_line;
};

dp::SMasterConfig BusOfOneSlave(std::uint32_t dwBaudRate)
{
    dp::SMasterConfig config;
    config.byMasterAddress = 2;
    dp::DefaultBusParameters(dwBaudRate, config.bus);
    config.dwResponseAllowanceUs = 100000;
    config.dwGlobalControlIntervalMs = 0;
    dp::SSlaveConfig slave;
    slave.byAddress = 3;
    slave.wIdent = 0x1234;
    slave.abyConfig = {0x17, 0x27}; // 8 bytes in, 8 bytes out
    slave.byInputLength = 8;
    slave.byOutputLength = 8;
    config.slaves.push_back(slave);
    return config;
}

void BM_MasterCpuAgainstPacedPeer8x8(benchmark::State& state)
{
    const auto dwBaudRate = static_cast<std::uint32_t>(state.range(0));
    const auto ePace = static_cast<bench::tePace>(state.range(1));
    bench::CPacedDpSlave peer(3, 0x1234, dwBaudRate, ePace);
    dp::CSerialPort port;
    std::string strError;
    if (peer.PeerPath().empty() ||
        !port.Open(peer.PeerPath(), dwBaudRate, dp::teRs485::Off, strError))
    {
        state.SkipWithError(("no pseudo-terminal: " + strError).c_str());
        return;
    }
    CCountingLine line(port);
    dp::CDpMaster master(line, BusOfOneSlave(dwBaudRate));
    master.SetMode(MasterOperate);
    for (int i = 0; i < 200 && master.Slave(0).eState != SlaveDataExchange; ++i)
        master.RunCycle();
    if (master.Slave(0).eState != SlaveDataExchange)
    {
        state.SkipWithError("the slave did not start");
        return;
    }
    const CCountingLine before = line;
    const std::uint32_t dwNoAnswerBefore = master.Slave(0).counters.dwNoAnswer;
    std::uint64_t qwCpuNs = 0;
    std::uint8_t abyOut[8] = {};
    for (auto _ : state)
    {
        ++abyOut[0];
        master.SetOutputs(0, abyOut, 8);
        const std::uint64_t qwStart = ThreadCpuNs();
        master.RunCycle();
        qwCpuNs += ThreadCpuNs() - qwStart;
    }
    if (master.Slave(0).eState != SlaveDataExchange)
        state.SkipWithError("the slave left data exchange");
    const double dExchanges = static_cast<double>(state.iterations());
    state.counters["cpu_us"] = static_cast<double>(qwCpuNs) / 1000.0 / dExchanges;
    state.counters["receives"] =
        static_cast<double>(line.m_qwReceives - before.m_qwReceives) / dExchanges;
    state.counters["waits"] = static_cast<double>(line.m_qwWaits - before.m_qwWaits) / dExchanges;
    state.counters["drains"] =
        static_cast<double>(line.m_qwDrains - before.m_qwDrains) / dExchanges;
    state.counters["send_cpu_us"] =
        static_cast<double>(line.m_qwSendCpuNs - before.m_qwSendCpuNs) / 1000.0 / dExchanges;
    state.counters["receive_cpu_us"] =
        static_cast<double>(line.m_qwReceiveCpuNs - before.m_qwReceiveCpuNs) / 1000.0 / dExchanges;
    state.counters["wait_cpu_us"] =
        static_cast<double>(line.m_qwWaitCpuNs - before.m_qwWaitCpuNs) / 1000.0 / dExchanges;
    state.counters["no_answer"] = master.Slave(0).counters.dwNoAnswer - dwNoAnswerBefore;
}
BENCHMARK(BM_MasterCpuAgainstPacedPeer8x8)
    ->ArgNames({"baud", "pace"})
    ->Args({12000000, 0})
    ->Args({1500000, 1})
    ->Args({500000, 1})
    ->Args({187500, 1})
    ->Args({500000, 2})
    ->Args({187500, 2})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
