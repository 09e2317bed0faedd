#include "sim/ServedBoard.h"

#include "sim/ProcessIdentity.h"
#include "sim/Registrations.h"

#include <cstring>

namespace korix
{

void TakeBoardOffline(SBoardState& state)
{
    state.sPlant.byMasterMode = 0x00;
    for (SSlave& slave : state.sPlant.aSlaves)
    {
        if (slave.byPresent == 0)
            continue;
        // Nobody refreshes the inputs any more: none of them may pass for a slave's.
        slave.byState = 0;
        std::memset(slave.abyInput, 0, sizeof slave.abyInput);
    }
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
        registration.abyReserved[0] = 0;
        CloseRegistration(registration);
        bEnded = true;
    }
    return bEnded;
}

} // namespace korix
