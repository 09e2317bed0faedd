// Puts simulated slaves on a line: reads the requests, lets the addressed slave (every slave
// for a broadcast) handle each, and sends the answers, with the line faults of each slave
// (silence, lateness, a wrong check sum) applied here. Requests that nobody here holds, and
// answers of other stations, pass unanswered.
#pragma once

#include "dp/SerialPort.h"
#include "dp/SimulatedSlave.h"
#include "dp/TelegramParser.h"

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
};

class CSlaveResponder
{
public:
    CSlaveResponder(CSerialPort& port, std::vector<CSimulatedSlave>& slaves);

    // Serves the line for at most qwWaitNs; false when the port failed.
    bool Serve(std::uint64_t qwWaitNs);

    CSimulatedSlave* FindSlave(std::uint8_t byAddress);

    // Sends every byte back as it comes, before any answer: the master then reads its own
    // telegrams, as behind a half-duplex adapter that echoes.
    void SetEcho(bool bEcho) { m_bEcho = bEcho; }
    const SResponderCounters& Counters() const { return m_counters; }
    const SParserCounters& ParserCounters() const { return m_parser.Counters(); }

private:
    void HandleTelegram(const STelegram& request);
    // Milliseconds of the project's clock (platform/Clock.h), widened past its 32-bit wrap.
    std::uint64_t NowMs();

    CSerialPort& m_port;
    std::vector<CSimulatedSlave>& m_slaves;
    CTelegramParser m_parser;
    SResponderCounters m_counters;
    bool m_bEcho = false;
    std::uint64_t m_qwNowMs = 0;
    std::uint32_t m_dwLastTick = 0;
    bool m_bTickSeen = false;
};

} // namespace dp
