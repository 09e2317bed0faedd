#include "sim/ServedBoard.h"

#include "sim/Registrations.h"
#include "sim/common/ProcessIdentity.h"

#include <cstdio>
#include <cstring>

namespace korix
{

void TakeBoardOffline(SBoardState& state)
{
    state.sPlant.byMasterMode = MasterOffline;
    for (SBoardSlave& slave : state.sPlant.aSlaves)
    {
        if (slave.byPresent == 0)
            continue;
        // Nobody refreshes the inputs any more: none of them may pass for a slave's.
        slave.byState = SlaveNotReachable;
        std::memset(slave.abyInput, 0, sizeof slave.abyInput);
    }
    std::memset(&state.sFreshness, 0, sizeof state.sFreshness);
}

bool HasServingMaster(const SBoardState& state)
{
    for (const SRegistration& registration : state.aRegistrations)
    {
        if (IsServingRegistration(registration) && IsProcessAlive(OwnerOf(registration)))
            return true;
    }
    return false;
}

void InstallMasterlessPlant(SPlant& plant, std::uint32_t dwNow)
{
    std::memset(&plant, 0, sizeof plant);
    plant.byMasterMode = MasterOffline;
    plant.dwEpoch = dwNow;
    std::snprintf(plant.szSource, sizeof plant.szSource, "%s",
                  "declared for a DP master, none serving yet");
}

bool NoticeEndedServingMaster(SBoardState& state)
{
    bool bEnded = false;
    for (SRegistration& registration : state.aRegistrations)
    {
        if (!IsServingRegistration(registration))
            continue;
        // The master itself locks the board every cycle: it needs no proof that it lives.
        if (registration.nPid == CurrentProcessId() || IsProcessAlive(OwnerOf(registration)))
            continue;
        TakeBoardOffline(state);
        registration.byServesBoard = 0;
        CloseRegistration(registration);
        bEnded = true;
    }
    return bEnded;
}

} // namespace korix
