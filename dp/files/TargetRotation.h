// The target rotation time (TTR) a bus file gets when it names none: what one token visit of
// this master needs, twice over, so that another master of the same size fits the ring too.
#pragma once

#include "dp/files/MasterConfig.h"

#include <cstdint>

namespace dp
{

// The longest TTR a station may be given (24 bits of bit times).
inline constexpr std::uint32_t kMaxTargetRotationBits = 16777215;
// Below this no token visit carries a message cycle: a token pass and one exchange.
inline constexpr std::uint32_t kMinTargetRotationBits = 256;

// Twice the bit times of: every slave's Data_Exchange (the idle time, the request with its
// outputs, max TSDR, the answer with its inputs), one Global_Control (with TID2 behind it), one
// FDL status request of the GAP maintenance waiting out the slot time, and the token pass (TID1
// and three characters). At least kMinTargetRotationBits, at most kMaxTargetRotationBits.
std::uint32_t DefaultTargetRotationBits(const SMasterConfig& config);

} // namespace dp
