// The master's only way to the bus: send, receive with a deadline, drop what has arrived. The
// serial port implements it on a real line (or a pseudo-terminal); the tests implement it with a
// scripted line in virtual time. Every deadline is a point of platform::ReadMonotonicNs(), the
// clock that a scripted line moves on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dp
{

class IDpLine
{
public:
    virtual ~IDpLine() = default;

    // Puts every byte on the line; false when the line failed.
    virtual bool Send(const std::uint8_t* pbyBytes, std::size_t nCount) = 0;

    // Returns what has arrived, as soon as anything has, waiting at most until qwDeadlineNs:
    // the byte count, 0 when nothing came by the deadline, -1 when the line failed (hung up,
    // removed).
    virtual long Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                         std::uint64_t qwDeadlineNs) = 0;

    // Lets the clock run on until qwNs without looking at the line: what arrives meanwhile
    // waits to be received. Where the time bytes can be complete is known (an answer's length
    // is in its first bytes), one look then takes them all, instead of a wake-up for every
    // character as they trickle in.
    virtual void WaitUntil(std::uint64_t qwNs) = 0;

    // Drops what has arrived and not been read, without waiting; the count dropped, or -1.
    virtual long Drain() = 0;

    // Whether characters take their time on this line, as on a UART: an answer then cannot
    // be complete before the request and its own characters have passed. A pseudo-terminal
    // passes bytes at once.
    virtual bool Paced() const = 0;
};

} // namespace dp
