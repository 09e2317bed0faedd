// The error words the simulated board answers of its own accord. Fault injection can make it
// answer any other word as well.
#pragma once

#include <cstdint>

namespace korix
{

enum teBoardError : std::uint16_t
{
    BoardOk = 0,
    BoardErrNoSuchBoard = 0x80,            // registration for board number 0
    BoardErrUnknownHandle = 0x81,          // never registered, closed, or reclaimed
    BoardErrNoFreeSlot = 0x82,             // all registrations of the board in use
    BoardErrBadRequest = 0x83,             // wrong tag, count or mode in the request
    BoardErrNoSlave = 0x84,                // no slave at the address
    BoardErrLength = 0x85,                 // write longer than the outputs, or read room too small
    BoardErrNotRegisteredForOutput = 0x86, // write to an address registered with mode 0, or
                                           // to a read-only slave (another master's)
    BoardErrUnavailable = 0x8F,            // the board's shared state cannot be opened, or a fault
    BoardErrWatchdogExpired = 0x95
};

} // namespace korix
