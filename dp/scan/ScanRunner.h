// A scan as the bus's only master: listen for the time-out TTO first; a silent line is ours
// for one pass of the scan sequence, request after request through CLineExchange. A line
// where another master is heard is not scanned: joining its token ring is the FDL station's
// job, and the sequence (ScanSequence.h) is what such a station would drive instead.
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
};

enum class teScanEnd : std::uint8_t
{
    Done,       // one whole pass
    LiveLine,   // another master sends on the line: nothing was sent
    NotQuiet,   // the line never went quiet for TTO: nothing was sent
    LineBusy,   // the line stopped going quiet during the pass: another station sends
    LineFailed, // the port failed
    OutOfTime   // the pass passed its bound: a line that keeps each request waiting for quiet
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
};

SScanReport ScanAlone(IDpLine& line, const SScanSettings& settings);

} // namespace dp
