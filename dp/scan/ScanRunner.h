// A scan as the bus's only master: listen for the time-out TTO first; a silent line is ours
// for one pass of the scan sequence, request after request through CLineExchange. A line
// where another master is heard is left to ScanBus (RingScan.h), which joins its token ring.
#pragma once

#include "dp/fdl/BusTiming.h"
#include "dp/line/DpLine.h"
#include "dp/master/LineExchange.h"
#include "dp/scan/LineListener.h"
#include "dp/scan/ScannedStation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

struct SScanSettings
{
    SBusParameters bus;
    std::uint32_t dwResponseAllowanceUs = 5000;
    std::uint8_t byOwnAddress = 1;
    std::uint8_t byHighestAddress = 126;
    // On a live line, as a station of the ring (RingScan.h): the most requests a token visit
    // carries, the scanner's target rotation time (0: RingScanTargetRotationBits), and the gap
    // factor G the ring's masters are assumed to keep (the wait to be taken in counts on it).
    std::uint32_t dwRequestsPerVisit = 4;
    std::uint32_t dwTargetRotationBits = 0;
    std::uint32_t dwRingGapFactor = 10;
};

enum class teScanEnd : std::uint8_t
{
    Done,          // one whole pass
    LiveLine,      // another master sends on the line: nothing was sent
    NotQuiet,      // the line never went quiet for TTO: nothing was sent
    LineBusy,      // the line stopped going quiet during the pass: another station sends
    LineFailed,    // the port failed
    OutOfTime,     // the pass passed its bound: a line that keeps each request waiting for quiet
                   // (alone), or a token that stays away (on a ring)
    NotTakenIn,    // a live line whose ring never took the scanner in: nothing of the scan was sent
    StationStopped // another station sends with the scanner's address, or a second token
};

struct SScanReport
{
    teScanEnd eEnd = teScanEnd::Done;
    SLineHeard heard;             // what the listening before the pass heard
    int nActiveMaster = -1;       // LiveLine: the master heard, where its address was seen
    std::uint8_t byStoppedAt = 0; // LineBusy, LineFailed, OutOfTime: the address asked then
    std::vector<SScannedStation> stations;
    std::uint32_t dwRequests = 0;
    std::uint64_t qwListenNs = 0;
    std::uint64_t qwPassNs = 0;
    std::uint64_t qwPassBoundNs = 0;
    SLineCounters counters;

    // On a live line (ScanBus).
    bool bOnRing = false;               // the scanner ran as a station of the ring
    bool bHeardRing = false;            // it heard the token go round
    std::uint64_t qwJoinNs = 0;         // from the station's start to its first token, or giving up
    std::uint32_t dwStatusAnswered = 0; // FDL status requests of the ring's masters answered
    std::uint32_t dwRotationsWaited = 0; // token rotations heard before it (about)
    std::uint32_t dwRotationsBound = 0;  // the most it waits for
    std::uint32_t dwVisits = 0;          // token visits that carried the pass
    bool bLeftRing = false;              // the token passed on and used by the successor
    std::vector<std::string> ringEvents; // what the station said of the ring, the first few
    std::string strStationTrouble;       // StationStopped: why
};

SScanReport ScanAlone(IDpLine& line, const SScanSettings& settings);

} // namespace dp
