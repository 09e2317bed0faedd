#include "sim/BoardLock.h"

#include "sim/DefaultPlant.h"
#include "sim/Generators.h"
#include "sim/ServedBoard.h"

#include "platform/Clock.h"

#include <cstring>

namespace korix
{

namespace
{

// The first 16 bytes are the same in every version of the layout.
bool HasBoardHeader(const SBoardState& state, std::uint8_t byBoard)
{
    return state.dwMagic == kBoardMagic && state.byBoard == byBoard;
}

bool IsInitialised(const SBoardState& state, std::uint8_t byBoard)
{
    return HasBoardHeader(state, byBoard) && state.dwVersion == kBoardVersion &&
           state.dwSize == sizeof(SBoardState);
}

bool IsSlaveConsistent(const SBoardSlave& slave)
{
    if (slave.byPresent == 0)
        return true;
    if (slave.byInputLength > kMaxDataLength || slave.byOutputLength > kMaxDataLength ||
        slave.byGeneratorCount > kMaxGenerators)
        return false;
    for (std::uint8_t i = 0; i < slave.byGeneratorCount; ++i)
    {
        if (!IsGeneratorInside(slave.aGenerators[i], slave))
            return false;
    }
    return true;
}

} // namespace

void InitialiseBoard(SBoardState& state, std::uint8_t byBoard, std::uint32_t dwNow)
{
    std::memset(&state, 0, sizeof state);
    state.dwVersion = kBoardVersion;
    state.dwSize = sizeof(SBoardState);
    state.byBoard = byBoard;
    InstallDefaultPlant(state.sPlant, dwNow);
    state.dwMagic = kBoardMagic;
}

bool IsStateConsistent(const SBoardState& state)
{
    for (const SRegistration& registration : state.aRegistrations)
    {
        if (registration.byInUse > 1 || registration.byGeneration > kMaxGeneration)
            return false;
    }
    for (const SBoardSlave& slave : state.sPlant.aSlaves)
    {
        if (!IsSlaveConsistent(slave))
            return false;
    }
    return true;
}

CBoardLock::CBoardLock(std::uint8_t byBoard)
{
    m_pBoard = OpenSharedBoard(byBoard);
    SBoardState* pState = LockSharedBoard(m_pBoard);
    if (pState == nullptr)
        return;
    // A holder that died half-way may have left a state that no longer adds up; only then is
    // the board's plant lost.
    if (!IsInitialised(*pState, byBoard) || (pState->byInside != 0 && !IsStateConsistent(*pState)))
    {
        // A board declared for a DP master stays so: started afresh, also in a new layout, it
        // still waits for its master rather than showing the default plant.
        const bool bDeclared = HasBoardHeader(*pState, byBoard) && IsDeclaredServed(*pState);
        // Installing the default plant allocates; a failure must not leave the board locked
        // for every other process.
        try
        {
            InitialiseBoard(*pState, byBoard, platform::ReadTickCount());
            if (bDeclared)
            {
                pState->byDeclaredServed = kBoardDeclaredServed;
                InstallMasterlessPlant(pState->sPlant, platform::ReadTickCount());
            }
        }
        catch (...)
        {
            UnlockSharedBoard(m_pBoard);
            return;
        }
    }
    pState->byInside = 1;
    NoticeEndedServingMaster(*pState);
    m_pState = pState;
}

CBoardLock::~CBoardLock()
{
    if (m_pState != nullptr)
    {
        m_pState->byInside = 0;
        UnlockSharedBoard(m_pBoard);
    }
}

} // namespace korix
