// Holds one board's lock for a scope and hands out its state, initialised: a board that
// nothing was loaded for starts from the default plant, and one whose last holder died while
// changing it is checked and, when it no longer makes sense, started afresh.
#pragma once

#include "sim/SharedBoard.h"
#include "sim/SharedBoardLayout.h"

#include <cstdint>

namespace korix
{

class CBoardLock
{
public:
    explicit CBoardLock(std::uint8_t byBoard);
    ~CBoardLock();
    CBoardLock(const CBoardLock&) = delete;
    CBoardLock& operator=(const CBoardLock&) = delete;

    // Null when the board's shared state could not be opened or locked.
    SBoardState* State() const { return m_pState; }
    // Whether the state was opened: with State() null, another holder kept the lock past the
    // wait (kBoardLockWaitMs), which may pass.
    bool Opened() const { return m_pBoard != nullptr; }

private:
    CSharedBoard* m_pBoard = nullptr;
    SBoardState* m_pState = nullptr;
};

// Puts a board into its first state: the default plant, no registrations, no faults.
void InitialiseBoard(SBoardState& state, std::uint8_t byBoard, std::uint32_t dwNow);

// Whether every length, count and range in the state lies where the code relies on it.
bool IsStateConsistent(const SBoardState& state);

} // namespace korix
