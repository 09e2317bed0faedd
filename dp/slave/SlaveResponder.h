// Puts simulated slaves on a line: reads the requests, lets the addressed slave (every slave
// for a broadcast) handle each, and sends the answers (on a line whose characters take their
// time, no earlier than the slave's min TSDR after the request), with the line faults of each
// slave (silence, lateness, a wrong check sum) applied here. Requests that nobody here holds, and
// answers of other stations, pass unanswered.
//
// Time comes from the platform's monotonic clock and every wait is a wait on the line, so the
// responder runs on a real port and on a line in virtual time alike.
#pragma once

#include "dp/fdl/TelegramParser.h"
#include "dp/line/DpLine.h"
#include "dp/slave/SimulatedSlave.h"

#include <cstdint>
#include <vector>

namespace dp
{

struct SResponderCounters
{
    std::uint32_t dwRequests = 0;
    std::uint32_t dwAnswers = 0;
    std::uint32_t dwSilenced = 0;
    std::uint32_t dwCorrupted = 0;
    // Bytes that came while an answer waited and found no room to be kept for later.
    std::uint32_t dwOverrunBytes = 0;
};

class CSlaveResponder
{
public:
    // dwBaudRate turns the slaves' station delays (bit times) into time.
    CSlaveResponder(IDpLine& line, std::vector<CSimulatedSlave>& slaves, std::uint32_t dwBaudRate);

    // Serves the line for at most qwWaitNs (longer only while an answer waits for its time);
    // false when the line failed.
    bool Serve(std::uint64_t qwWaitNs);

    CSimulatedSlave* FindSlave(std::uint8_t byAddress);

    // Sends every byte back as it comes, before any answer: the master then reads its own
    // telegrams, as behind a half-duplex adapter that echoes.
    void SetEcho(bool bEcho) { m_bEcho = bEcho; }
    const SResponderCounters& Counters() const { return m_counters; }
    const SParserCounters& ParserCounters() const { return m_parser.Counters(); }

private:
    // False when the line failed.
    bool HandleTelegram(const STelegram& request);
    // Reads the line until qwAtNs, keeping what comes for the parser; false when it failed.
    bool WaitUntil(std::uint64_t qwAtNs);
    bool Echo(const std::uint8_t* pbyBytes, std::size_t nCount);

    IDpLine& m_line;
    std::vector<CSimulatedSlave>& m_slaves;
    std::uint32_t m_dwBaudRate;
    CTelegramParser m_parser;
    SResponderCounters m_counters;
    bool m_bEcho = false;
    // What came off the line while an answer waited for its time, to be fed behind it.
    std::uint8_t m_abyHeld[4 * kMaxTelegramSize] = {};
    std::size_t m_nHeld = 0;
};

} // namespace dp
