// The passive monitor's own logic, on the tests' scripted line (no system calls, virtual time):
// the CPU per Data_Exchange heard (8 output and 8 input bytes, a request and its answer), beside
// that exchange's time on a 12 Mbit/s wire (about 20 us): the monitor must keep up with the
// fastest bus. What is measured includes the scripted line (a map of arriving bytes): an upper
// bound of the monitor's share.
#include "tests/dp/ScriptedLine.h"

#include "dp/fdl/BusTiming.h"
#include "dp/monitor/BusMonitor.h"

#include <benchmark/benchmark.h>

namespace
{

constexpr std::uint32_t kBaudRate = 12000000;
constexpr std::size_t kSlaves = 32;

void MonitorExchange(benchmark::State& state)
{
    dptest::CScriptedLine line(kBaudRate);
    dp::SMonitorConfig config;
    dp::DefaultBusParameters(kBaudRate, config.bus);
    config.dwResponseAllowanceUs = 100;
    dp::CBusMonitor monitor(line, config);
    const std::uint64_t qwCharacterNs = line.CharacterNs();
    std::uint64_t qwAt = line.Now() + 1000000;
    bool bFcb = false;
    std::uint8_t byValue = 0;
    for (auto _ : state)
    {
        bFcb = !bFcb;
        for (std::size_t i = 0; i < kSlaves; ++i)
        {
            const auto bySlave = static_cast<std::uint8_t>(3 + i);
            ++byValue;
            const dptest::Bytes abyRequest =
                dptest::Sd2(bySlave, 2, static_cast<std::uint8_t>(0x5D | (bFcb ? 0x20 : 0)), -1, -1,
                            dptest::Bytes(8, byValue));
            const dptest::Bytes abyAnswer =
                dptest::Sd2(2, bySlave, 0x08, -1, -1, dptest::Bytes(8, byValue));
            line.Put(qwAt, abyRequest);
            qwAt += abyRequest.size() * qwCharacterNs + line.BitNs(11);
            line.Put(qwAt, abyAnswer);
            qwAt += abyAnswer.size() * qwCharacterNs + line.BitNs(66);
        }
        if (!monitor.Listen(qwAt))
            state.SkipWithError("the line failed");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSlaves));
    state.counters["exchanges_taken"] =
        static_cast<double>(monitor.SlaveState(0).counters.dwExchanges);
    state.counters["in_doubt"] = monitor.Counters().dwAnswersInDoubt;
}
BENCHMARK(MonitorExchange)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
