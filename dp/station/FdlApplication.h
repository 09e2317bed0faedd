// What runs on the station while it holds the token: the DP master, the reads of a class-2
// master. The station hands the token to each application in turn and passes it on when they
// return.
#pragma once

#include <cstdint>

namespace dp
{

class IFdlApplication
{
public:
    virtual ~IFdlApplication() = default;

    // Runs message cycles on the station's line (CFdlStation::Line()) until qwHoldUntilNs, a
    // point of platform::ReadMonotonicNs(): at least one even when that has passed, so that a
    // late token still carries one cycle. False when the line failed.
    virtual bool UseToken(std::uint64_t qwHoldUntilNs) = 0;
};

} // namespace dp
