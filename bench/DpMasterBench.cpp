// The DP master's own logic, on the tests' scripted line (no system calls, virtual time):
// - the CPU per Data_Exchange of 8 output and 8 input bytes (aim: under 5 us);
// - the CPU of a cycle of 32 such slaves, beside that cycle's time on a 12 Mbit/s wire (aim:
//   below it).
// - the same exchange with the master's trace session open at level 0 (nobody raised it),
//   which must cost nothing measurable;
// - the CPU of one cycle's reads of a slave another master owns (Slave_Diag, RD_Inp, RD_Outp
//   of 8 bytes each), beside their time on the wire.
// What is measured includes the scripted line and its slaves (a map of arriving bytes, a
// parser of the requests): an upper bound of the master's share.
#include "tests/dp/ScriptedSlave.h"

#include "dp/fdl/BusTiming.h"
#include "dp/master/DpMaster.h"

#include "tools/dpmaster/BusTraceSession.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace
{

constexpr std::uint32_t kBaudRate = 12000000;

struct SBus
{
    explicit SBus(std::size_t nSlaves, bool bObserve = false)
    {
        config.byMasterAddress = 2;
        dp::DefaultBusParameters(kBaudRate, config.bus);
        config.dwResponseAllowanceUs = 100;
        config.dwGlobalControlIntervalMs = 0;
        for (std::size_t i = 0; i < nSlaves; ++i)
        {
            const auto byAddress = static_cast<std::uint8_t>(3 + i);
            dp::SSlaveConfig slave;
            slave.byAddress = byAddress;
            slave.wIdent = 0x0A35;
            slave.abyConfig = {0x17, 0x27}; // 8 bytes in, 8 bytes out
            slave.byInputLength = 8;
            slave.byOutputLength = 8;
            slave.bObserve = bObserve;
            config.slaves.push_back(slave);
            slaves.push_back(
                std::make_unique<dptest::CScriptedSlave>(line, byAddress, 0x0A35, 8, 8));
            if (bObserve)
            {
                // As its owner, master 1, left it.
                slaves.back()->SetState(dptest::CScriptedSlave::teState::DataExchange);
                slaves.back()->SetMasterInDiagnosis(1);
            }
        }
        line.SetResponder(
            [this](const dp::STelegram& request, std::uint64_t qwEndNs)
            {
                for (auto& pSlave : slaves)
                    pSlave->Respond(request, qwEndNs);
            });
        master = std::make_unique<dp::CDpMaster>(line, config);
        master->SetMode(MasterOperate);
    }

    bool StartUp()
    {
        for (int i = 0; i < 100; ++i)
        {
            if (!master->RunCycle())
                return false;
        }
        for (std::size_t s = 0; s < master->SlaveCount(); ++s)
        {
            if (master->Slave(s).eState != SlaveDataExchange)
                return false;
        }
        return true;
    }

    dptest::CScriptedLine line{kBaudRate};
    dp::SMasterConfig config;
    std::vector<std::unique_ptr<dptest::CScriptedSlave>> slaves;
    std::unique_ptr<dp::CDpMaster> master;
};

double WireMicroseconds12M(std::size_t nSlaves)
{
    dp::SBusParameters bus;
    dp::DefaultBusParameters(kBaudRate, bus);
    // SD2 with 8 data bytes each way: 17 characters.
    return nSlaves * dp::BitsToNanoseconds(dp::ExchangeBits(bus, 17, 17), kBaudRate) / 1000.0;
}

// Argument 1: with the master's trace session open, at level 0.
void BM_MasterLogicPerDataExchange8x8(benchmark::State& state)
{
    SBus bus(1);
    std::unique_ptr<dpmaster::CBusTraceSession> pTrace;
    if (state.range(0) != 0)
    {
        pTrace = std::make_unique<dpmaster::CBusTraceSession>(std::uint8_t{251}, 0);
        if (!pTrace->IsOpen())
        {
            state.SkipWithError("no trace session");
            return;
        }
        bus.master->SetTrace(pTrace.get());
    }
    if (!bus.StartUp())
    {
        state.SkipWithError("the bus did not start");
        return;
    }
    std::uint8_t abyOut[8] = {};
    for (auto _ : state)
    {
        ++abyOut[0];
        bus.master->SetOutputs(0, abyOut, 8);
        bus.master->RunCycle();
    }
    if (bus.master->Slave(0).counters.dwNoAnswer != 0)
        state.SkipWithError("exchanges failed");
    state.counters["wire_12M_us"] = WireMicroseconds12M(1);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MasterLogicPerDataExchange8x8)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_MasterLogicCycleOf32Slaves8x8(benchmark::State& state)
{
    SBus bus(32);
    if (!bus.StartUp())
    {
        state.SkipWithError("the bus did not start");
        return;
    }
    for (auto _ : state)
        bus.master->RunCycle();
    state.counters["wire_12M_us"] = WireMicroseconds12M(32);
}
BENCHMARK(BM_MasterLogicCycleOf32Slaves8x8)->Unit(benchmark::kMicrosecond);

void BM_MasterLogicPerObservedSlave8x8(benchmark::State& state)
{
    SBus bus(1, true);
    if (!bus.StartUp())
    {
        state.SkipWithError("the observed slave is not shown exchanging");
        return;
    }
    for (auto _ : state)
        bus.master->RunCycle();
    if (bus.master->Slave(0).counters.dwNoAnswer != 0)
        state.SkipWithError("reads failed");
    // Each request SD2 with the two SAPs (11 characters); the answers SD2 with the SAPs and 6
    // diagnosis bytes (17), or 8 image bytes (19).
    dp::SBusParameters wire;
    dp::DefaultBusParameters(kBaudRate, wire);
    state.counters["wire_12M_us"] =
        dp::BitsToNanoseconds(dp::ExchangeBits(wire, 11, 17) + 2 * dp::ExchangeBits(wire, 11, 19),
                              kBaudRate) /
        1000.0;
}
BENCHMARK(BM_MasterLogicPerObservedSlave8x8)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
