// The board's vocabulary: the slave states and master modes a board reports in every request
// block, which of them let data through, and their words. The library, the simulated board,
// the DP master that serves a board and the tools all speak of them through this header; the
// words themselves are the ones hosts read in MovaResults.h.
#pragma once

#include "include/MovaResults.h"

#include <cstdint>

// A slave's state (SBoardRequest::bySlaveState and the state list).
enum teBoardSlaveState : std::uint8_t
{
    SlaveNotReachable = 0,
    SlaveParameterising = 1,
    SlaveDataExchange = 2,
    SlaveDiagnosisPending = 3, // exchanging data; new diagnosis waits
    SlaveConfigFault = 4,
    SlaveStopped = 5
};

// The master's mode (SBoardRequest::byMasterState).
enum teBoardMasterMode : std::uint8_t
{
    MasterOffline = 0x00,
    MasterStop = 0x40,
    MasterClear = 0x80,  // operational, outputs held at 0
    MasterOperate = 0xC0 // operational, outputs sent
};

// What a board shows when nobody has said otherwise: an operating master and slaves that
// exchange data.
inline constexpr teBoardMasterMode kDefaultMasterMode = MasterOperate;
inline constexpr teBoardSlaveState kDefaultSlaveState = SlaveDataExchange;

// Data are exchanged with a slave in states 2 and 3 only.
constexpr bool IsSlaveExchanging(std::uint8_t byState)
{
    return byState == SlaveDataExchange || byState == SlaveDiagnosisPending;
}

// Reads and writes go through a master in clear or operate mode only.
constexpr bool IsMasterOperational(std::uint8_t byMode)
{
    return byMode == MasterClear || byMode == MasterOperate;
}

// "data exchange", "configuration fault", ...; "unknown slave state" for other numbers.
inline const char* BoardSlaveStateText(std::uint8_t byState)
{
    return MovaSlaveStateText(byState);
}

// "offline", "stop", "clear", "operate"; "unknown master mode" for other numbers.
inline const char* BoardMasterModeText(std::uint8_t byMode)
{
    return MovaMasterModeText(byMode);
}
