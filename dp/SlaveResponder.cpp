#include "dp/SlaveResponder.h"

#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace dp
{

CSlaveResponder::CSlaveResponder(CSerialPort& port, std::vector<CSimulatedSlave>& slaves)
    : m_port(port), m_slaves(slaves)
{
}

std::uint64_t CSlaveResponder::NowMs()
{
    const std::uint32_t dwTick = platform::ReadTickCount();
    if (m_bTickSeen)
        m_qwNowMs += static_cast<std::uint32_t>(dwTick - m_dwLastTick);
    else
        m_qwNowMs = dwTick;
    m_bTickSeen = true;
    m_dwLastTick = dwTick;
    return m_qwNowMs;
}

CSimulatedSlave* CSlaveResponder::FindSlave(std::uint8_t byAddress)
{
    for (CSimulatedSlave& slave : m_slaves)
    {
        if (slave.Definition().byAddress == byAddress)
            return &slave;
    }
    return nullptr;
}

bool CSlaveResponder::Serve(std::uint64_t qwWaitNs)
{
    std::uint8_t abyBuffer[512];
    long nRead = m_port.Read(abyBuffer, sizeof abyBuffer, qwWaitNs);
    if (nRead < 0)
        return false;
    const std::uint64_t qwNowMs = NowMs();
    for (CSimulatedSlave& slave : m_slaves)
        slave.Tick(qwNowMs);
    STelegram telegram;
    if (nRead == 0)
    {
        // The line is idle: a telegram begun in the buffer will not be finished.
        while (m_parser.NoteIdle())
        {
            if (m_parser.Take(telegram))
                HandleTelegram(telegram);
        }
        return true;
    }
    if (m_bEcho && !m_port.Write(abyBuffer, static_cast<std::size_t>(nRead)))
        return false;
    std::size_t nAt = 0;
    while (nAt < static_cast<std::size_t>(nRead))
    {
        nAt += m_parser.Feed(abyBuffer + nAt, static_cast<std::size_t>(nRead) - nAt);
        while (m_parser.Take(telegram))
            HandleTelegram(telegram);
    }
    return true;
}

void CSlaveResponder::HandleTelegram(const STelegram& request)
{
    if (request.eFrame == teFrame::Sd4 || request.eFrame == teFrame::ShortAck)
        return;
    const std::uint64_t qwNowMs = NowMs();
    STelegram answer;
    if (request.byDa == kBroadcastAddress)
    {
        for (CSimulatedSlave& slave : m_slaves)
        {
            if (!slave.Faults().bSilent)
                slave.Handle(request, qwNowMs, answer);
        }
        return;
    }
    CSimulatedSlave* pSlave = FindSlave(request.byDa);
    if (pSlave == nullptr)
        return;
    ++m_counters.dwRequests;
    SSlaveFaults& faults = pSlave->Faults();
    if (faults.bSilent)
    {
        // A slave that is gone sees nothing either.
        ++m_counters.dwSilenced;
        return;
    }
    if (!pSlave->Handle(request, qwNowMs, answer))
        return;
    std::uint8_t abyBytes[kMaxTelegramSize];
    std::size_t nSize = EncodeTelegram(answer, abyBytes, sizeof abyBytes);
    if (nSize == 0)
        return;
    if (faults.dwCorruptCount != 0)
    {
        --faults.dwCorruptCount;
        ++m_counters.dwCorrupted;
        // The check sum is the byte before the end delimiter; a short acknowledgement has
        // none and becomes a byte that is no delimiter at all.
        if (nSize == 1)
            abyBytes[0] ^= 0xFF;
        else
            abyBytes[nSize - 2] ^= 0x5A;
    }
    if (faults.dwLateMs != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(faults.dwLateMs));
    if (m_port.Write(abyBytes, nSize))
        ++m_counters.dwAnswers;
}

} // namespace dp
