// The FDL station's token ring, in virtual time:
// - the station's CPU per token visit: a ring of one on the scripted line, the token passed to
//   itself, no application (what is measured includes the scripted line: an upper bound);
// - the real rotation time of a two-master ring at 1.5 Mbit/s on the multi-drop line (our
//   station polling two slaves, the tests' PLC master polling two), against its TTR;
// - the time from a master taking the token and falling silent to our claim, against TTO.
// The last two are virtual times, the same on every machine: they are counters, not CPU.
#include "tests/dp/MultiDropLine.h"
#include "tests/dp/ScriptedLine.h"
#include "tests/dp/TestPlcMaster.h"

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/FunctionCodes.h"
#include "dp/master/LineExchange.h"
#include "dp/station/FdlStation.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace
{

constexpr std::uint32_t kBaudRate = 1500000;
constexpr std::uint64_t kMs = 1000000;
constexpr std::uint32_t kTargetRotationBits = 20000;

dp::SStationConfig StationConfig(std::uint8_t byAddress)
{
    dp::SStationConfig config;
    config.byAddress = byAddress;
    dp::DefaultBusParameters(kBaudRate, config.bus);
    config.byHighestAddress = 10;
    config.dwTargetRotationBits = kTargetRotationBits;
    config.dwGapFactor = 10;
    return config;
}

// Data requests to the slaves, one round, more while the hold time lasts.
class CPoller : public dp::IFdlApplication
{
public:
    CPoller(dp::IDpLine& line, const dp::SBusParameters& bus, std::uint8_t byMaster,
            std::vector<std::uint8_t> abySlaves)
        : m_exchange(line, bus, 0, byMaster), m_byMaster(byMaster),
          m_abySlaves(std::move(abySlaves))
    {
    }
    bool UseToken(std::uint64_t qwHoldUntilNs) override
    {
        do
        {
            for (std::uint8_t bySlave : m_abySlaves)
            {
                dp::STelegram request;
                request.byDa = bySlave;
                request.bySa = m_byMaster;
                request.byFc = dp::RequestFc(dp::ReqSrdHigh, false, false);
                dp::STelegram answer;
                if (m_exchange.Transact(request, dp::SExpectation{false, 11}, answer) ==
                    dp::teOutcome::LineFailed)
                    return false;
            }
        } while (platform::ReadMonotonicNs() < qwHoldUntilNs);
        return true;
    }

private:
    dp::CLineExchange m_exchange;
    std::uint8_t m_byMaster;
    std::vector<std::uint8_t> m_abySlaves;
};

// Slaves that answer a data request with two bytes, whoever asks.
class CSlaves
{
public:
    CSlaves(dptest::CMultiDropLine& line, std::vector<std::uint8_t> abyAddresses) : m_line(line)
    {
        for (std::uint8_t byAddress : abyAddresses)
            m_endpoints[byAddress] = &line.AddResponder(
                [this, byAddress](const dp::STelegram& telegram, std::uint64_t qwEnd)
                { Answer(byAddress, telegram, qwEnd); });
    }

private:
    void Answer(std::uint8_t byAddress, const dp::STelegram& telegram, std::uint64_t qwEnd)
    {
        if (telegram.eFrame == dp::teFrame::Sd1 && telegram.byDa == byAddress &&
            dp::IsRequestFc(telegram.byFc))
            m_line.Put(*m_endpoints[byAddress], qwEnd + m_line.CharacterNs(),
                       dptest::Sd2(telegram.bySa, byAddress, 0x08, -1, -1, {1, 2}));
    }

    dptest::CMultiDropLine& m_line;
    std::map<std::uint8_t, dptest::CMultiDropLine::CEndpoint*> m_endpoints;
};

void BM_StationCpuPerTokenVisit(benchmark::State& state)
{
    dptest::CScriptedLine line(kBaudRate);
    dp::CFdlStation station(line, StationConfig(1));
    std::uint32_t dwUntil = 1;
    station.SetStopCheck([&] { return station.Counters().dwTokensReceived >= dwUntil; });
    station.Run(); // listens for the time-out, claims, and holds the first token
    for (auto _ : state)
    {
        ++dwUntil;
        station.Run();
    }
    state.counters["tokens"] = static_cast<double>(station.Counters().dwTokensReceived);
}
BENCHMARK(BM_StationCpuPerTokenVisit)->Unit(benchmark::kMicrosecond);

void BM_RotationOfTwoMastersAt1500k(benchmark::State& state)
{
    double dMeanUs = 0, dMaxUs = 0, dTargetUs = 0;
    for (auto _ : state)
    {
        dptest::CMultiDropLine line(kBaudRate);
        CSlaves slaves(line, {20, 21, 30, 31});
        auto& ours = line.AddEndpoint();
        dp::CFdlStation station(ours, StationConfig(2));
        CPoller poller(station.Line(), StationConfig(2).bus, 2, {20, 21});
        station.AddApplication(&poller);
        dptest::SPlcSettings plc;
        plc.byAddress = 5;
        plc.dwBaudRate = kBaudRate;
        plc.dwSlotBits = StationConfig(2).bus.dwSlotTime;
        plc.byHighestAddress = 10;
        plc.abySlaves = {30, 31};
        auto& theirs = line.AddEndpoint();
        dptest::CTestPlcMaster master(theirs, plc);
        line.Start(theirs, [&](dp::IDpLine&) { master.Run(); });
        line.Start(ours, [&](dp::IDpLine&) { station.Run(); });
        line.RunFor(200 * kMs); // the ring forms
        const std::uint32_t dwTokens = station.Counters().dwTokensReceived;
        line.RunFor(1000 * kMs);
        const std::uint32_t dwVisits = station.Counters().dwTokensReceived - dwTokens;
        dMeanUs = dwVisits == 0 ? 0 : 1000000.0 / dwVisits;
        dMaxUs = static_cast<double>(station.Counters().qwMaxRotationNs) / 1000.0;
        dTargetUs = static_cast<double>(station.TargetRotationNs()) / 1000.0;
        line.Stop(ours);
        line.Stop(theirs);
    }
    state.counters["rotation_mean_us"] = dMeanUs;
    state.counters["rotation_max_us"] = dMaxUs;
    state.counters["ttr_us"] = dTargetUs;
}
BENCHMARK(BM_RotationOfTwoMastersAt1500k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LostTokenRecoveryAt1500k(benchmark::State& state)
{
    double dRecoveryUs = 0, dTimeoutUs = 0;
    for (auto _ : state)
    {
        dptest::CMultiDropLine line(kBaudRate);
        CSlaves slaves(line, {20, 30});
        auto& ours = line.AddEndpoint();
        dp::CFdlStation station(ours, StationConfig(2));
        CPoller poller(station.Line(), StationConfig(2).bus, 2, {20});
        station.AddApplication(&poller);
        std::uint64_t qwClaimedNs = 0;
        station.SetEventHandler(
            [&](const std::string& strText)
            {
                if (strText.find("token is lost") != std::string::npos && qwClaimedNs == 0)
                    qwClaimedNs = platform::ReadMonotonicNs();
            });
        line.Start(ours, [&](dp::IDpLine&) { station.Run(); });
        line.RunFor(50 * kMs);
        dptest::SPlcSettings plc;
        plc.byAddress = 5;
        plc.dwBaudRate = kBaudRate;
        plc.dwSlotBits = StationConfig(2).bus.dwSlotTime;
        plc.byHighestAddress = 10;
        plc.dwGapFactor = 2;
        plc.abySlaves = {30};
        plc.bKeepToken = true;
        auto& theirs = line.AddEndpoint();
        dptest::CTestPlcMaster master(theirs, plc);
        line.Start(theirs, [&](dp::IDpLine&) { master.Run(); });
        line.RunFor(500 * kMs);
        // From the silent master's last telegram (its one poll) to our claim.
        dRecoveryUs = qwClaimedNs > master.LastTokenAt()
                          ? static_cast<double>(qwClaimedNs - master.LastTokenAt()) / 1000.0
                          : 0;
        dTimeoutUs = static_cast<double>(station.TokenTimeoutNs()) / 1000.0;
        line.Stop(ours);
        line.Stop(theirs);
    }
    state.counters["recovery_us"] = dRecoveryUs;
    state.counters["tto_us"] = dTimeoutUs;
}
BENCHMARK(BM_LostTokenRecoveryAt1500k)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
