// What the master's status block costs the bus cycle: one update of the block for a full bus
// (125 slaves beside the master), with every slave's diagnosis put into words before; and
// the words themselves, which an update adds only for diagnoses that changed. The master
// updates at most every 100 ms (kStatusIntervalMs), between cycles.
#include "tests/dp/ScriptedSlave.h"

#include "dp/fdl/BusTiming.h"
#include "dp/master/DpMaster.h"
#include "dp/master/MasterStatusWriter.h"
#include "dp/services/DiagnosisText.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr std::uint32_t kBaudRate = 12000000;
constexpr std::size_t kAddresses = 126;

// 125 slaves (master 0, slaves 1-125) of 8 bytes each way in data exchange on the tests' scripted
// line, each with the diagnosis read at its start-up.
struct SFullBus
{
    SFullBus()
    {
        config.byMasterAddress = 0;
        dp::DefaultBusParameters(kBaudRate, config.bus);
        config.dwResponseAllowanceUs = 100;
        config.dwGlobalControlIntervalMs = 0;
        for (std::size_t i = 0; i < kAddresses; ++i)
        {
            const auto byAddress = static_cast<std::uint8_t>(i);
            if (byAddress == config.byMasterAddress)
                continue;
            dp::SSlaveConfig slave;
            slave.byAddress = byAddress;
            slave.wIdent = 0x0A35;
            slave.abyConfig = {0x17, 0x27};
            slave.byInputLength = 8;
            slave.byOutputLength = 8;
            config.slaves.push_back(slave);
            slaves.push_back(
                std::make_unique<dptest::CScriptedSlave>(line, byAddress, 0x0A35, 8, 8));
        }
        line.SetResponder(
            [this](const dp::STelegram& request, std::uint64_t qwEndNs)
            {
                for (auto& pSlave : slaves)
                    pSlave->Respond(request, qwEndNs);
            });
        master = std::make_unique<dp::CDpMaster>(line, config);
        master->SetMode(MasterOperate);
        for (int i = 0; i < 20; ++i)
            master->RunCycle();
    }

    dptest::CScriptedLine line{kBaudRate};
    dp::SMasterConfig config;
    std::vector<std::unique_ptr<dptest::CScriptedSlave>> slaves;
    std::unique_ptr<dp::CDpMaster> master;
};

// The block lives under a prefix of the benchmark's own, removed at the end.
struct SOwnPrefix
{
    SOwnPrefix()
    {
        strPrefix = "korixbench" + std::to_string(getpid());
        setenv("KORIXSIM_PREFIX", strPrefix.c_str(), 1);
    }
    ~SOwnPrefix()
    {
        std::string strName;
        if (dp::MakeStatusName(1, strName))
            unlink(("/dev/shm" + strName).c_str());
    }
    std::string strPrefix;
};

void BM_StatusUpdateFullBus(benchmark::State& state)
{
    SOwnPrefix prefix;
    SFullBus bus;
    dp::CMasterStatusWriter writer;
    std::string strError;
    if (!writer.Open(1, *bus.master, "/dev/ttyUSB0", kBaudRate, strError))
    {
        state.SkipWithError(strError.c_str());
        return;
    }
    std::size_t nWithDiagnosis = 0;
    for (std::size_t i = 0; i < bus.master->SlaveCount(); ++i)
        nWithDiagnosis += bus.master->Slave(i).byDiagLength != 0;
    for (auto _ : state)
        writer.Update(*bus.master);
    state.counters["slaves"] = static_cast<double>(bus.master->SlaveCount());
    state.counters["with_diagnosis"] = static_cast<double>(nWithDiagnosis);
}
BENCHMARK(BM_StatusUpdateFullBus)->Unit(benchmark::kMicrosecond);

void BM_DiagnosisWordsFullBus(benchmark::State& state)
{
    SFullBus bus;
    for (auto _ : state)
    {
        for (std::size_t i = 0; i < bus.master->SlaveCount(); ++i)
        {
            const dp::SMasterSlaveState& slave = bus.master->Slave(i);
            dp::SSlaveDiag diag;
            if (dp::DecodeSlaveDiag(dp::ByteView(slave.abyDiag, slave.byDiagLength), diag))
                benchmark::DoNotOptimize(dp::DiagnosisText(diag));
        }
    }
}
BENCHMARK(BM_DiagnosisWordsFullBus)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
