// Reads a board's master status block (MasterStatusBlock.h) as hostile input: whatever lies
// under the name (a FIFO, a folder, a file too short or shrinking, wrong magic or version,
// counts beyond their maximum, strings without their NUL) is refused with a reason and never
// read past. A consistent copy is taken with the block's sequence count; a block that keeps
// changing is reported as such. A block whose master has ended, or no longer runs (pid and
// start time), or is not the process that serves the board by the board's own state, is Gone:
// its age is told, its contents are not for showing as live.
#pragma once

#include "dp/status/MasterStatusBlock.h"
#include "dp/status/MasterStatusFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

enum class teMasterStatus
{
    Live,    // a running master's status
    Gone,    // its master has ended, no longer runs or does not serve the board
    None,    // no master has served the board
    Refused, // something under the name that is no status block of ours
    Changing // the writer was busy every time it was read, and it still runs
};

// Why a block's master is Gone.
enum class teMasterGone
{
    Ended,      // it marked its end
    NotRunning, // its process no longer runs
    NotServing  // its process runs, but does not serve the board
};

struct SMasterStatus
{
    teMasterStatus eStatus = teMasterStatus::None;
    std::string strWhy;                       // None, Refused, Changing: why, for people
    std::string strName;                      // the shared memory name read
    SStatusHeader header{};                   // Live and Gone: checked
    std::vector<SStatusSlave> aSlaves;        // Live and Gone: checked, header.dwSlaveCount of them
    std::uint64_t qwAgeMs = 0;                // Live and Gone: since the last update
    teMasterGone eGone = teMasterGone::Ended; // Gone: why
    // Live and Gone: a passive monitor's block (korix-dpmaster --listen), with its section.
    bool bMonitor = false;
    SStatusMonitor monitor{};
};

// Reads the block of the board, trying a few times while the writer is busy with it, and
// takes the board's serving process from the board's shared state (ReadBoardServer).
SMasterStatus ReadMasterStatus(std::uint8_t byBoard);

// The same with the board's serving process as the caller read it.
SMasterStatus ReadMasterStatus(std::uint8_t byBoard, const SBoardServer& server);

// Checks a copy of a block for the board: false with the reason when it is no block the
// reader may take. On success, status.header and status.aSlaves hold it.
bool CheckStatusBlock(const std::uint8_t* pbyBlock, std::size_t nSize, std::uint8_t byBoard,
                      SMasterStatus& status, std::string& strWhy);

// Milliseconds since 1970 by the wall clock, as the writer stamps its updates.
std::uint64_t WallClockMs();

} // namespace dp
