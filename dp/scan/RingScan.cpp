#include "dp/scan/RingScan.h"

#include "dp/scan/ScanApplication.h"
#include "dp/scan/ScanTiming.h"
#include "dp/station/FdlStation.h"

#include "platform/Clock.h"

#include <algorithm>

namespace dp
{

namespace
{

// The station's events kept for the report: ring changes are few; a flood is cut.
constexpr std::size_t kMostEvents = 32;
// Rotations of the ring's GAP maintenance beyond one whole walk of a gap.
constexpr std::uint32_t kSpareRotations = 2;
constexpr std::uint64_t kNoRingLeastNs = 2000000000ull;
constexpr std::uint64_t kNoRingTimeOuts = 50;

std::uint64_t Now()
{
    return platform::ReadMonotonicNs();
}

} // namespace

SScanReport ScanBus(IDpLine& line, const SScanSettings& settings)
{
    SScanReport report = ScanAlone(line, settings);
    if (report.eEnd == teScanEnd::LiveLine)
        ScanOnRing(line, settings, report);
    return report;
}

void ScanOnRing(IDpLine& line, const SScanSettings& settings, SScanReport& report)
{
    SStationConfig config;
    config.byAddress = settings.byOwnAddress;
    config.bus = settings.bus;
    config.dwResponseAllowanceUs = settings.dwResponseAllowanceUs;
    config.byHighestAddress = settings.byHighestAddress;
    config.dwTargetRotationBits =
        settings.dwTargetRotationBits != 0
            ? settings.dwTargetRotationBits
            : RingScanTargetRotationBits(settings.bus, settings.dwRequestsPerVisit);
    config.dwGapFactor = settings.dwRingGapFactor;
    CFdlStation station(line, config);
    CScanApplication application(station.Line(), settings);
    station.AddApplication(&application);
    station.SetEventHandler(
        [&](const std::string& strEvent)
        {
            if (report.ringEvents.size() < kMostEvents)
                report.ringEvents.push_back(strEvent);
        });

    report.bOnRing = true;
    report.dwRotationsBound =
        settings.dwRingGapFactor * (settings.byHighestAddress + 1u) + kSpareRotations;
    const std::uint64_t qwStart = Now();
    const std::uint64_t qwNoRingNs =
        std::max(kNoRingLeastNs, kNoRingTimeOuts * station.TokenTimeoutNs());
    bool bNotTakenIn = false;
    station.SetStopCheck(
        [&]
        {
            if (application.Ended())
                return !station.AwaitsAnswer();
            if (!application.Begun())
            {
                const std::size_t nMembers =
                    std::max<std::size_t>(1, station.ActiveStations().Members().size());
                report.dwRotationsWaited =
                    static_cast<std::uint32_t>(station.Counters().dwTokenTelegramsHeard / nMembers);
                report.bHeardRing = station.RingState() != teRingState::Listening;
                bNotTakenIn = report.dwRotationsWaited > report.dwRotationsBound ||
                              (!report.bHeardRing && Now() - qwStart > qwNoRingNs);
                return bNotTakenIn;
            }
            // The token's absence allowed between visits follows the rotations the ring makes.
            const std::uint64_t qwRotation =
                std::max(station.TargetRotationNs(), station.Counters().qwMaxRotationNs);
            application.SetAbsenceBoundNs(2 * qwRotation + station.TokenTimeoutNs());
            if (Now() - application.BeganAtNs() > application.PassBoundNs())
            {
                // The token stays away: the pass ends where it is, and the station with it.
                application.Abandon(teScanEnd::OutOfTime);
                return !station.AwaitsAnswer();
            }
            return false;
        });
    const bool bStopped = station.Run();

    report.qwJoinNs = (application.Begun() ? application.BeganAtNs() : Now()) - qwStart;
    report.dwStatusAnswered = station.Counters().dwStatusAnswered;
    report.dwVisits = application.Visits();
    report.qwPassBoundNs = application.PassBoundNs();
    if (application.Begun())
        report.qwPassNs = Now() - application.BeganAtNs();
    const CScanSequence& sequence = application.Sequence();
    report.byStoppedAt = sequence.Address();
    report.stations = sequence.Stations();
    report.dwRequests = sequence.Requests();
    report.counters = application.Exchange().Counters();
    if (station.Fault() != teStationFault::None)
    {
        report.eEnd = teScanEnd::StationStopped;
        report.strStationTrouble =
            station.Fault() == teStationFault::DuplicateAddress
                ? "another station sends with address " + std::to_string(settings.byOwnAddress)
                : std::string("another station passed a token while the scanner held it");
        return;
    }
    if (!bStopped)
    {
        report.eEnd = teScanEnd::LineFailed;
        return;
    }
    if (bNotTakenIn)
    {
        report.eEnd = teScanEnd::NotTakenIn;
        return;
    }
    report.eEnd = application.End();
    report.bLeftRing = true;
}

} // namespace dp
