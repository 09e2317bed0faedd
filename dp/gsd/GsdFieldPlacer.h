// Places one user parameter's value into the user parameter bytes: multi-byte numbers high
// byte first (the bus's order), signed ones in two's complement, Bit and BitArea values into
// their bits of the byte without touching the byte's other bits.
#pragma once

#include "dp/gsd/GsdUserPrm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dp
{

// The value must fit the type (GsdTypeLimits); the bytes must reach nOffset + the type's size.
void PlaceGsdField(std::vector<std::uint8_t>& abyBytes, std::size_t nOffset, const SGsdUserPrm& prm,
                   std::int64_t nValue);

} // namespace dp
