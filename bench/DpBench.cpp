// The DP master over a pseudo-terminal with slaves answering at once, so that only the
// software counts:
// - the master's own CPU time per Data_Exchange of 8 output and 8 input bytes, beside the
//   time that exchange takes on the wire at 12 Mbit/s (the "wire_12M_us" counter);
// - the cycle of 32 such slaves (real time), beside its wire time at 12 Mbit/s;
// - the time from a host's PutJob of a write (the MovaJob library on a board served by the
//   master) to the output telegram that carries the value arriving at the slave.
#include "bench/BenchBoards.h"
#include "bench/BenchSink.h"
#include "dp/fdl/BusTiming.h"
#include "dp/fdl/TelegramParser.h"
#include "dp/line/SerialPort.h"
#include "dp/master/BoardLink.h"
#include "dp/master/DpMaster.h"
#include "dp/slave/SlaveResponder.h"

#include "include/MovaJob.h"

#include "platform/Clock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

dp::SSlaveDefinition LoopbackSlave(std::uint8_t byAddress)
{
    dp::SSlaveDefinition slave;
    slave.byAddress = byAddress;
    slave.wIdent = 0x1234;
    slave.abyConfig = {0x17, 0x27}; // 8 bytes in, 8 bytes out
    slave.byInputLength = 8;
    slave.byOutputLength = 8;
    korix::SGenerator loopback{};
    loopback.byKind = korix::GenLoopback;
    loopback.byLength = 8;
    slave.aGenerators.push_back(loopback);
    return slave;
}

dp::SMasterConfig BusOf(const std::vector<dp::SSlaveDefinition>& slaves)
{
    dp::SMasterConfig config;
    config.byMasterAddress = 2;
    dp::DefaultBusParameters(12000000, config.bus);
    config.dwResponseAllowanceUs = 100000;
    config.dwGlobalControlIntervalMs = 0;
    for (const dp::SSlaveDefinition& definition : slaves)
    {
        dp::SSlaveConfig slave;
        slave.byAddress = definition.byAddress;
        slave.wIdent = definition.wIdent;
        slave.abyConfig = definition.abyConfig;
        slave.byInputLength = definition.byInputLength;
        slave.byOutputLength = definition.byOutputLength;
        config.slaves.push_back(slave);
    }
    return config;
}

// Slaves on the controlling end of a pseudo-terminal pair, served by a thread of their own;
// the master opens the other end.
class CBusPair
{
public:
    explicit CBusPair(const std::vector<dp::SSlaveDefinition>& definitions)
    {
        for (const dp::SSlaveDefinition& definition : definitions)
            m_slaves.emplace_back(definition);
        std::string strError;
        m_bOk = m_slaveSide.OpenPseudoTerminal(12000000, m_strPeer, strError) &&
                m_masterSide.Open(m_strPeer, 12000000, dp::teRs485::Off, strError);
        if (!m_bOk)
            std::fprintf(stderr, "%s\n", strError.c_str());
        m_thread = std::thread(
            [this]
            {
                dp::CSlaveResponder responder(m_slaveSide, m_slaves, 12000000);
                while (!m_bStop.load())
                    responder.Serve(20000000);
            });
    }
    ~CBusPair()
    {
        m_bStop.store(true);
        m_thread.join();
    }
    bool Ok() const { return m_bOk; }
    dp::CSerialPort& MasterSide() { return m_masterSide; }

private:
    std::vector<dp::CSimulatedSlave> m_slaves;
    dp::CSerialPort m_slaveSide;
    dp::CSerialPort m_masterSide;
    std::string m_strPeer;
    bool m_bOk = false;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

bool StartUp(dp::CDpMaster& master)
{
    master.SetMode(MasterOperate);
    for (int i = 0; i < 10000; ++i)
    {
        if (!master.RunCycle())
            return false;
        bool bAll = true;
        for (std::size_t s = 0; s < master.SlaveCount(); ++s)
            bAll = bAll && master.Slave(s).eState == SlaveDataExchange;
        if (bAll)
            return true;
    }
    return false;
}

double WireMicroseconds12M(std::size_t nSlaves)
{
    dp::SBusParameters bus;
    dp::DefaultBusParameters(12000000, bus);
    // SD2 with 8 data bytes each way: 17 characters.
    return nSlaves * dp::BitsToNanoseconds(dp::ExchangeBits(bus, 17, 17), 12000000) / 1000.0;
}

// The CPU column is the master's thread only: the slaves answer on a thread of their own.
void BM_MasterCpuPerDataExchange8x8(benchmark::State& state)
{
    std::vector<dp::SSlaveDefinition> slaves = {LoopbackSlave(3)};
    CBusPair bus(slaves);
    dp::CDpMaster master(bus.MasterSide(), BusOf(slaves));
    if (!bus.Ok() || !StartUp(master))
    {
        state.SkipWithError("the bus did not start");
        return;
    }
    std::uint8_t abyOut[8] = {};
    for (auto _ : state)
    {
        ++abyOut[0];
        master.SetOutputs(0, abyOut, 8);
        master.RunCycle();
    }
    if (master.Slave(0).counters.dwNoAnswer != 0 || master.Slave(0).eState != SlaveDataExchange)
        state.SkipWithError("exchanges failed");
    state.counters["wire_12M_us"] = WireMicroseconds12M(1);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MasterCpuPerDataExchange8x8)->Unit(benchmark::kMicrosecond);

void BM_CycleOf32Slaves8x8(benchmark::State& state)
{
    std::vector<dp::SSlaveDefinition> slaves;
    for (std::uint8_t by = 3; by < 3 + 32; ++by)
        slaves.push_back(LoopbackSlave(by));
    CBusPair bus(slaves);
    dp::CDpMaster master(bus.MasterSide(), BusOf(slaves));
    if (!bus.Ok() || !StartUp(master))
    {
        state.SkipWithError("the bus did not start");
        return;
    }
    for (auto _ : state)
        master.RunCycle();
    state.counters["wire_12M_us"] = WireMicroseconds12M(32);
}
BENCHMARK(BM_CycleOf32Slaves8x8)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Sees the output telegrams at the slave's end and notes when a value first arrives.
class CWatchingSlave
{
public:
    explicit CWatchingSlave(dp::CSerialPort& port) : m_port(port), m_slave(LoopbackSlave(3))
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~CWatchingSlave()
    {
        m_bStop.store(true);
        m_thread.join();
    }
    // Waits until a Data_Exchange carries byValue in output byte 0; the time it came.
    Clock::time_point WaitFor(std::uint8_t byValue)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_seen.wait(lock, [&] { return m_bySeen == byValue; });
        return m_seenAt;
    }

private:
    void Run()
    {
        dp::CTelegramParser parser;
        std::uint8_t abyBuffer[512];
        while (!m_bStop.load())
        {
            long nRead = m_port.Read(abyBuffer, sizeof abyBuffer, 20000000);
            const Clock::time_point arrived = Clock::now();
            std::size_t nAt = 0;
            while (nRead > 0 && nAt < static_cast<std::size_t>(nRead))
            {
                nAt += parser.Feed(abyBuffer + nAt, static_cast<std::size_t>(nRead) - nAt);
                dp::STelegram request, answer;
                while (parser.Take(request))
                {
                    if (request.byDa == 3 && !request.bHasDsap && request.byDataLength == 8)
                        Note(request.abyData[0], arrived);
                    if (request.byDa != 3 ||
                        !m_slave.Handle(request, platform::ReadMonotonicNs() / 1000000u, answer))
                        continue;
                    std::uint8_t abyBytes[dp::kMaxTelegramSize];
                    m_port.Write(abyBytes, dp::EncodeTelegram(answer, abyBytes, sizeof abyBytes));
                }
            }
        }
    }
    void Note(std::uint8_t byValue, Clock::time_point at)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (byValue == m_bySeen)
            return;
        m_bySeen = byValue;
        m_seenAt = at;
        m_seen.notify_all();
    }

    dp::CSerialPort& m_port;
    dp::CSimulatedSlave m_slave;
    std::mutex m_mutex;
    std::condition_variable m_seen;
    std::uint8_t m_bySeen = 0;
    Clock::time_point m_seenAt;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

// Argument: the master's shortest cycle in microseconds, as korix-dpmaster --cycle-us.
void BM_PutJobWriteToOutputTelegram(benchmark::State& state)
{
    const std::uint8_t byBoard = 1;
    dp::CSerialPort slaveSide, masterSide;
    std::string strPeer, strError;
    if (!slaveSide.OpenPseudoTerminal(12000000, strPeer, strError) ||
        !masterSide.Open(strPeer, 12000000, dp::teRs485::Off, strError))
    {
        state.SkipWithError(strError.c_str());
        return;
    }
    CWatchingSlave watcher(slaveSide);
    std::vector<dp::SSlaveDefinition> slaves = {LoopbackSlave(3)};
    dp::CDpMaster master(masterSide, BusOf(slaves));
    dp::CBoardLink link(byBoard, master, "dp bench");
    if (!link.Attach(strError))
    {
        state.SkipWithError(strError.c_str());
        return;
    }
    std::atomic<bool> bStop{false};
    const auto cycle = std::chrono::microseconds(state.range(0));
    std::thread masterThread(
        [&]
        {
            std::string strWhy;
            while (!bStop.load())
            {
                const auto start = Clock::now();
                if (!link.Exchange(strWhy) || !master.RunCycle())
                    return;
                std::this_thread::sleep_until(start + cycle);
            }
        });

    SProtoParams protoParams{5, 0};
    SCommParams params{};
    params.Board = byBoard;
    params.aSlaves[params.ucNumberOfDPSlaves++].byL2Addr = 3;
    IMovaJob* pJob = nullptr;
    bench::CBenchSink sink;
    // The slave must be exchanging data before the job opens, or the open reports it.
    for (int i = 0; i < 2000 && master.Slave(0).eState != SlaveDataExchange; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    bool bOpen = CreateIMovaJob(&pJob) == 1 && pJob->OpenJob(&protoParams, &params, 0) == 0 &&
                 pJob->SetJobNotification(&sink) == 0;
    std::uint8_t abyOut[8] = {};
    std::uint8_t byValue = 0;
    std::vector<double> samples;
    if (bOpen)
    {
        SJobParam record{};
        record.dwCommand = JobWrite;
        record.tsConSpec = params.aSlaves[0];
        record.tsConSpec.lpvBufferOut = abyOut;
        record.wBitLength = 8;
        record.pData = &byValue;
        for (auto _ : state)
        {
            byValue = static_cast<std::uint8_t>(byValue % 255 + 1);
            const auto start = Clock::now();
            pJob->PutJob(1, &record, 0);
            const Clock::time_point seen = watcher.WaitFor(byValue);
            const double dUs = std::chrono::duration<double, std::micro>(seen - start).count();
            samples.push_back(dUs);
            state.SetIterationTime(dUs / 1e6);
        }
        pJob->CloseJob();
    }
    else
    {
        state.SkipWithError("cannot open the job on the served board");
    }
    if (pJob)
        pJob->Release();
    bStop.store(true);
    masterThread.join();
    link.Detach();
    if (!samples.empty())
    {
        std::sort(samples.begin(), samples.end());
        state.counters["p50_us"] = samples[samples.size() / 2];
        state.counters["p99_us"] = samples[samples.size() * 99 / 100];
    }
}
BENCHMARK(BM_PutJobWriteToOutputTelegram)
    ->Arg(0)
    ->Arg(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::RunOnPrivateBoards(argc, argv);
}
