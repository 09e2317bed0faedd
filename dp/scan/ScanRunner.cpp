#include "dp/scan/ScanRunner.h"

#include "dp/scan/ScanSequence.h"
#include "dp/scan/ScanTiming.h"

#include "platform/Clock.h"

namespace dp
{

namespace
{

// The line must go quiet for TTO within this many TTOs, else it carries something that is
// not a bus we may take (noise, or a rate not its own).
constexpr std::uint64_t kListenTimeOuts = 8;

void Listen(IDpLine& line, const SScanSettings& settings, SScanReport& report)
{
    const std::uint64_t qwStart = platform::ReadMonotonicNs();
    // The allowance covers what the port adds before a byte on the line reaches us.
    const std::uint64_t qwTimeOutNs =
        BitsToNanoseconds(TimeOutBits(settings.bus, settings.byOwnAddress),
                          settings.bus.dwBaudRate) +
        settings.dwResponseAllowanceUs * 1000ull;
    report.heard = ListenToLine(line, qwTimeOutNs, kListenTimeOuts * qwTimeOutNs);
    report.qwListenNs = platform::ReadMonotonicNs() - qwStart;
    const SLineHeard& heard = report.heard;
    // Garbage forms a telegram now and then (a token telegram has no check sum): telegrams
    // among bytes that mostly begin none name no master.
    const bool bMostlyGarbage = heard.parser.dwSkippedBytes * 2 > heard.dwBytes;
    if (heard.bFailed)
        report.eEnd = teScanEnd::LineFailed;
    else if (!bMostlyGarbage && (heard.dwTokens > 0 || heard.dwRequests > 0))
    {
        report.eEnd = teScanEnd::LiveLine;
        report.nActiveMaster = heard.dwTokens > 0 ? heard.nTokenHolder : heard.nRequester;
    }
    else if (!bMostlyGarbage && heard.dwChecked > 0)
        report.eEnd = teScanEnd::LiveLine; // answers: whoever asked was not heard
    else if (!heard.bQuiet)
        report.eEnd = teScanEnd::NotQuiet;
}

} // namespace

SScanReport ScanAlone(IDpLine& line, const SScanSettings& settings)
{
    SScanReport report;
    Listen(line, settings, report);
    if (report.eEnd != teScanEnd::Done)
        return report;

    CScanSequence sequence(settings.byOwnAddress, settings.byHighestAddress,
                           settings.bus.dwRetryLimit);
    CLineExchange exchange(line, settings.bus, settings.dwResponseAllowanceUs,
                           settings.byOwnAddress);
    const std::uint32_t nAddresses = settings.byHighestAddress + 1u;
    // The bound grows with each slave found (the one asked now counted already).
    auto bound = [&]
    {
        std::uint32_t nSlaves = 1;
        for (const SScannedStation& station : sequence.Stations())
            nSlaves += station.IsMaster() ? 0 : 1;
        return ScanPassBoundNs(settings.bus, settings.dwResponseAllowanceUs, nAddresses, nSlaves);
    };
    const std::uint64_t qwStart = platform::ReadMonotonicNs();
    SScanRequest next;
    STelegram answer;
    while (sequence.Next(next))
    {
        report.qwPassBoundNs = bound();
        if (platform::ReadMonotonicNs() - qwStart > report.qwPassBoundNs)
        {
            report.eEnd = teScanEnd::OutOfTime;
            break;
        }
        const teOutcome eOutcome = exchange.Transact(next.request, next.expectation, answer);
        if (eOutcome == teOutcome::LineBusy || eOutcome == teOutcome::LineFailed)
        {
            report.eEnd =
                eOutcome == teOutcome::LineBusy ? teScanEnd::LineBusy : teScanEnd::LineFailed;
            break;
        }
        sequence.Take(eOutcome, answer);
    }
    report.byStoppedAt = sequence.Address();
    report.qwPassNs = platform::ReadMonotonicNs() - qwStart;
    report.stations = sequence.Stations();
    report.dwRequests = sequence.Requests();
    report.counters = exchange.Counters();
    return report;
}

} // namespace dp
