// The times a scan keeps to, from the bus parameters alone.
//
//   TTO   the time-out after which a station takes a silent line for its own:
//         6 TSL + 2 n TSL bit times (n: the station's address), so that stations never claim
//         a line at the same moment. A scan listens this long before its first request.
//   pass  the longest one pass can take: for every address asked, FDL status with all its
//         repetitions; for every slave found, Slave_Diag and Get_Cfg with their longest
//         answers and all their repetitions. Each request is bounded as CLineExchange bounds
//         it (the idle time before it, the slot time, the answer, the idle time behind it),
//         but for the wait for a quiet line: that is counted once, since a line that does not
//         go quiet in time ends the pass (another station sends).
#pragma once

#include "dp/fdl/BusTiming.h"

#include <cstdint>

namespace dp
{

std::uint64_t TimeOutBits(const SBusParameters& bus, std::uint8_t byAddress);

// A pass's bound in ns: nAddresses asked, nSlaves of them slaves.
std::uint64_t ScanPassBoundNs(const SBusParameters& bus, std::uint32_t dwResponseAllowanceUs,
                              std::uint32_t nAddresses, std::uint32_t nSlaves);

// The scanner's target rotation time as a station of a ring, in bit times: twice one visit of
// nRequests FDL status cycles (the idle time, request, max TSDR, answer) and the token pass.
// It only caps the scanner's own visits: each carries nRequests at most anyway.
std::uint32_t RingScanTargetRotationBits(const SBusParameters& bus, std::uint32_t nRequests);

} // namespace dp
