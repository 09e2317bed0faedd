// korixsim hold: keeps a board open until a stop request. Windows keeps a board's named
// mapping only while a process has it open, so faults and plants set up before a host starts
// need a holder; on Linux the board stays in /dev/shm and the command is not offered.
#pragma once

#include <cstdint>

namespace korixsim
{

// Returns the exit code: 0 when stopped, 1 when the board cannot be opened.
int RunHold(std::uint8_t byBoard);

} // namespace korixsim
