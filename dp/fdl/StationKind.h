// What a station is, as the station type bits of its FDL status answer say: one meaning for the
// FDL station's GAP maintenance, the scanner and whatever else names the stations of a bus.
#pragma once

#include "dp/fdl/FunctionCodes.h"

#include <cstdint>

namespace dp
{

enum class teStationKind : std::uint8_t
{
    Unknown = 0, // not asked, or no answer
    Slave,
    MasterNotReady,
    MasterReady, // ready to enter the token ring
    MasterInRing
};

// The kind a response's function code names (bits 5-4).
constexpr teStationKind StationKindOfFc(std::uint8_t byFc)
{
    switch (byFc & kFcStationTypeMask)
    {
    case kStationMasterNotReady:
        return teStationKind::MasterNotReady;
    case kStationMasterReady:
        return teStationKind::MasterReady;
    case kStationMasterInRing:
        return teStationKind::MasterInRing;
    default:
        return teStationKind::Slave;
    }
}

// "slave", "master not ready", "master ready for the ring", "master in the ring", "unknown".
constexpr const char* StationKindText(teStationKind eKind)
{
    switch (eKind)
    {
    case teStationKind::Slave:
        return "slave";
    case teStationKind::MasterNotReady:
        return "master not ready";
    case teStationKind::MasterReady:
        return "master ready for the ring";
    case teStationKind::MasterInRing:
        return "master in the ring";
    case teStationKind::Unknown:
        break;
    }
    return "unknown";
}

} // namespace dp
