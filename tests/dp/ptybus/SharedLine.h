// One multi-drop RS-485 line in time, without any I/O: what each station writes goes on the
// line a character after another (11 bit times each: start, 8 data, parity, stop), and every
// character reaches all the other stations when its stop bit has gone. Nothing on the line
// decides who may send: like a UART, a station's character starts as soon as it is written, so
// two stations whose characters overlap in time garble each other. A garbled character reaches
// the receivers as the OR of its own byte and every other station's byte on the line while it
// was (an idle RS-485 line and the stop bit are ones; what two fighting drivers give is not
// defined, and a receiver must not make sense of it). The time is the caller's, in ns, so the
// same rules run on the real clock in dp_ptybus and on a test's clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace ptybus
{

struct SEndpointCounts
{
    std::uint64_t qwBytesSent = 0;         // characters the station put on the line
    std::uint64_t qwBytesReceived = 0;     // characters handed to it (by the caller's count)
    std::uint64_t qwBytesDropped = 0;      // characters it did not take (nobody reading)
    std::uint64_t qwCharactersGarbled = 0; // of its own characters, those another one overlapped
};

class CSharedLine
{
public:
    // nQueueLimit: characters of one station on their way at most; the caller reads no more
    // from the station than Room() says, so a station that writes faster than the line carries
    // waits in its own driver, as on a real port.
    CSharedLine(std::size_t nEndpoints, std::uint32_t dwBaudRate, bool bEcho,
                std::size_t nQueueLimit = 4096);

    std::size_t EndpointCount() const { return m_endpoints.size(); }
    std::uint64_t CharacterNs() const { return m_qwCharacterNs; }

    // How many more characters station nFrom may write now.
    std::size_t Room(std::size_t nFrom) const;

    // Bytes station nFrom wrote, seen at qwNowNs: they go on the line one after another, the
    // first when the line's character before it from the same station has ended, or at qwNowNs.
    // More than Room() are not taken (the return says how many were).
    std::size_t Write(std::size_t nFrom, const std::uint8_t* pbyBytes, std::size_t nCount,
                      std::uint64_t qwNowNs);

    // Every character that has ended by qwNowNs, in the order they ended, appended to
    // aReceived[n] for each station n that hears it (all but the sender, and the sender too
    // with echo). aReceived has one buffer per station.
    void Advance(std::uint64_t qwNowNs, std::vector<std::vector<std::uint8_t>>& aReceived);

    // When the next character ends; UINT64_MAX while nothing is on its way.
    std::uint64_t NextEndNs() const;

    // The caller's word on what happened to characters handed to station n.
    void CountReceived(std::size_t n, std::size_t nCount);
    void CountDropped(std::size_t n, std::size_t nCount);

    const SEndpointCounts& Counts(std::size_t n) const { return m_endpoints[n].counts; }
    std::uint64_t GarbledCharacters() const { return m_qwGarbled; }

private:
    struct SCharacter
    {
        std::uint8_t byValue = 0;
        std::uint64_t qwStartNs = 0; // its start bit begins; it ends CharacterNs() later
    };
    struct SEndpoint
    {
        std::deque<SCharacter> queue; // written, not yet ended, in order
        bool bHasLast = false;        // lastEnded is one of its characters
        SCharacter lastEnded;         // the latest that ended: it may overlap one still on
        std::uint64_t qwTailNs = 0;   // when its latest written character ends
        SEndpointCounts counts;
    };

    bool Overlaps(const SCharacter& a, const SCharacter& b) const;
    void Deliver(std::size_t nFrom, std::vector<std::vector<std::uint8_t>>& aReceived);

    std::vector<SEndpoint> m_endpoints;
    std::uint64_t m_qwCharacterNs;
    bool m_bEcho;
    std::size_t m_nQueueLimit;
    std::uint64_t m_qwGarbled = 0;
};

} // namespace ptybus
