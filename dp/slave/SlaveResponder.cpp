#include "dp/slave/SlaveResponder.h"

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/FunctionCodes.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cstring>

namespace dp
{

namespace
{

// The slaves' watchdogs and generators count milliseconds.
std::uint64_t NowMs()
{
    return platform::ReadMonotonicNs() / 1000000u;
}

} // namespace

CSlaveResponder::CSlaveResponder(IDpLine& line, std::vector<CSimulatedSlave>& slaves,
                                 std::uint32_t dwBaudRate)
    : m_line(line), m_slaves(slaves), m_dwBaudRate(dwBaudRate)
{
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
    const long nRead =
        m_line.Receive(abyBuffer, sizeof abyBuffer, platform::ReadMonotonicNs() + qwWaitNs);
    if (nRead < 0)
        return false;
    const std::uint64_t qwNowMs = NowMs();
    for (CSimulatedSlave& slave : m_slaves)
        slave.Tick(qwNowMs);
    bool bLineOk = true;
    auto handle = [&](const STelegram& request, std::size_t)
    {
        bLineOk = HandleTelegram(request);
        return !bLineOk;
    };
    if (nRead == 0)
    {
        // The line is idle: a telegram begun in the buffer will not be finished.
        m_parser.TakeEachOnIdle(handle);
    }
    else
    {
        if (!Echo(abyBuffer, static_cast<std::size_t>(nRead)))
            return false;
        m_parser.FeedEach(abyBuffer, static_cast<std::size_t>(nRead), handle);
    }
    // What came while answers waited follows on the line; handling it may hold more.
    std::uint8_t abyHeld[sizeof m_abyHeld];
    while (bLineOk && m_nHeld != 0)
    {
        const std::size_t nHeld = m_nHeld;
        std::memcpy(abyHeld, m_abyHeld, nHeld);
        m_nHeld = 0;
        m_parser.FeedEach(abyHeld, nHeld, handle);
    }
    return bLineOk;
}

bool CSlaveResponder::Echo(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    return !m_bEcho || m_line.Send(pbyBytes, nCount);
}

bool CSlaveResponder::WaitUntil(std::uint64_t qwAtNs)
{
    while (platform::ReadMonotonicNs() < qwAtNs)
    {
        std::uint8_t abyBuffer[512];
        const long nRead = m_line.Receive(abyBuffer, sizeof abyBuffer, qwAtNs);
        if (nRead < 0)
            return false;
        if (nRead == 0)
            continue;
        const std::size_t nCount = static_cast<std::size_t>(nRead);
        if (!Echo(abyBuffer, nCount))
            return false;
        const std::size_t nKept = std::min(nCount, sizeof m_abyHeld - m_nHeld);
        std::memcpy(m_abyHeld + m_nHeld, abyBuffer, nKept);
        m_nHeld += nKept;
        m_counters.dwOverrunBytes += static_cast<std::uint32_t>(nCount - nKept);
    }
    return true;
}

bool CSlaveResponder::HandleTelegram(const STelegram& request)
{
    // Tokens, acknowledgements and other stations' responses are no requests to anyone here.
    if (request.eFrame == teFrame::Sd4 || request.eFrame == teFrame::ShortAck ||
        !IsRequestFc(request.byFc))
        return true;
    const std::uint64_t qwNowMs = NowMs();
    STelegram answer;
    if (request.byDa == kBroadcastAddress)
    {
        for (CSimulatedSlave& slave : m_slaves)
        {
            if (!slave.Faults().bSilent)
                slave.Handle(request, qwNowMs, answer);
        }
        return true;
    }
    CSimulatedSlave* pSlave = FindSlave(request.byDa);
    if (pSlave == nullptr)
        return true;
    // The request has ended by now at the latest: the station delay runs from here.
    const std::uint64_t qwRequestEndNs = platform::ReadMonotonicNs();
    ++m_counters.dwRequests;
    SSlaveFaults& faults = pSlave->Faults();
    if (faults.bSilent)
    {
        // A slave that is gone sees nothing either.
        ++m_counters.dwSilenced;
        return true;
    }
    if (!pSlave->Handle(request, qwNowMs, answer))
        return true;
    std::uint8_t abyBytes[kMaxTelegramSize];
    std::size_t nSize = EncodeTelegram(answer, abyBytes, sizeof abyBytes);
    if (nSize == 0)
        return true;
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
    // On a line that passes bytes at once (a pseudo-terminal) the station delay has no wire
    // to keep apart, and waiting it out would only cost the answer a read.
    const std::uint64_t qwDelayNs =
        m_line.Paced() ? BitsToNanoseconds(pSlave->MinTsdrBits(), m_dwBaudRate) : 0;
    const std::uint64_t qwAnswerAtNs = qwRequestEndNs + qwDelayNs + faults.dwLateMs * 1000000ull;
    if (!WaitUntil(qwAnswerAtNs) || !m_line.Send(abyBytes, nSize))
        return false;
    ++m_counters.dwAnswers;
    return true;
}

} // namespace dp
