#include "dp/status/MasterStatusFile.h"

#include "sim/ServedBoard.h"

#include <cstddef>
#include <cstring>

namespace dp
{

SBoardServer ReadBoardServerFrom(CStatusFile& file, std::uint8_t byBoard)
{
    SBoardServer server;
    // Without the board's lock: a reader must not wait on a holder that hangs, and the
    // serving registration's owner is written once, before its mark, and stays while it
    // serves. A reading amid a master's coming or going may miss it, as a reading a moment
    // earlier or later would.
    constexpr std::size_t nRegistrationsAt = offsetof(korix::SBoardState, aRegistrations);
    constexpr std::size_t nWanted =
        nRegistrationsAt + korix::kMaxRegistrations * sizeof(korix::SRegistration);
    std::uint8_t abyHead[nWanted];
    if (file.ReadAt(0, abyHead, nWanted) != static_cast<long long>(nWanted))
        return server;
    std::uint32_t dwMagic = 0, dwVersion = 0;
    std::memcpy(&dwMagic, abyHead + offsetof(korix::SBoardState, dwMagic), sizeof dwMagic);
    std::memcpy(&dwVersion, abyHead + offsetof(korix::SBoardState, dwVersion), sizeof dwVersion);
    if (dwMagic != korix::kBoardMagic || dwVersion != korix::kBoardVersion ||
        abyHead[offsetof(korix::SBoardState, byBoard)] != byBoard)
        return server;
    for (std::size_t i = 0; i < korix::kMaxRegistrations; ++i)
    {
        korix::SRegistration registration;
        std::memcpy(&registration, abyHead + nRegistrationsAt + i * sizeof registration,
                    sizeof registration);
        if (!korix::IsServingRegistration(registration))
            continue;
        server.bServed = true;
        server.nPid = registration.nPid;
        server.qwStartTime =
            static_cast<std::uint64_t>(registration.dwStartHigh) << 32 | registration.dwStartLow;
        break;
    }
    return server;
}

} // namespace dp
