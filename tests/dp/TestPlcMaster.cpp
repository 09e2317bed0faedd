#include "tests/dp/TestPlcMaster.h"

#include "platform/Clock.h"

#include <algorithm>

namespace dptest
{

CTestPlcMaster::CTestPlcMaster(dp::IDpLine& line, const SPlcSettings& settings)
    : m_line(line), m_settings(settings), m_qwCharNs(Ns(11))
{
}

std::uint64_t CTestPlcMaster::Ns(std::uint64_t qwBits) const
{
    return (qwBits * 1000000000ull + m_settings.dwBaudRate - 1) / m_settings.dwBaudRate;
}

std::uint64_t CTestPlcMaster::Now() const
{
    return platform::ReadMonotonicNs();
}

std::uint32_t CTestPlcMaster::Answers(std::uint8_t bySlave) const
{
    const auto it = m_answers.find(bySlave);
    return it == m_answers.end() ? 0 : it->second;
}

bool CTestPlcMaster::TryParse(SFrame& frame)
{
    // Drops bytes until the buffer starts with a complete, valid frame or may still become one.
    for (;;)
    {
        if (m_abyBuffer.empty())
            return false;
        const std::uint8_t bySd = m_abyBuffer[0];
        std::size_t nNeed = 0;
        if (bySd == 0xE5)
        {
            frame = SFrame{0xE5, 0, 0, 0};
            m_abyBuffer.erase(m_abyBuffer.begin());
            return true;
        }
        if (bySd == 0xDC)
            nNeed = 3;
        else if (bySd == 0x10)
            nNeed = 6;
        else if (bySd == 0x68)
            nNeed = m_abyBuffer.size() >= 2 ? m_abyBuffer[1] + 6u : 4u;
        if (nNeed == 0)
        {
            m_abyBuffer.erase(m_abyBuffer.begin());
            continue;
        }
        if (m_abyBuffer.size() < nNeed)
            return false;
        bool bGood = false;
        if (bySd == 0xDC)
        {
            bGood = m_abyBuffer[1] < 128 && m_abyBuffer[2] < 128;
            frame = SFrame{0xDC, m_abyBuffer[1], m_abyBuffer[2], 0};
        }
        else
        {
            const std::size_t nFrom = bySd == 0x10 ? 1 : 4;
            const std::size_t nEnd = nNeed - 2; // the FCS
            std::uint8_t bySum = 0;
            for (std::size_t i = nFrom; i < nEnd; ++i)
                bySum = static_cast<std::uint8_t>(bySum + m_abyBuffer[i]);
            bGood = m_abyBuffer[nEnd] == bySum && m_abyBuffer[nNeed - 1] == 0x16 &&
                    (bySd == 0x10 || (m_abyBuffer[1] == m_abyBuffer[2] && m_abyBuffer[3] == 0x68 &&
                                      m_abyBuffer[1] >= 3));
            frame = SFrame{bySd, static_cast<std::uint8_t>(m_abyBuffer[nFrom] & 0x7F),
                           static_cast<std::uint8_t>(m_abyBuffer[nFrom + 1] & 0x7F),
                           m_abyBuffer[nFrom + 2]};
        }
        if (!bGood)
        {
            m_abyBuffer.erase(m_abyBuffer.begin());
            continue;
        }
        m_abyBuffer.erase(m_abyBuffer.begin(), m_abyBuffer.begin() + static_cast<long>(nNeed));
        return true;
    }
}

bool CTestPlcMaster::ReadFrame(std::uint64_t qwDeadline, SFrame& frame)
{
    std::uint8_t abyRead[256];
    for (;;)
    {
        if (TryParse(frame))
            return true;
        std::uint64_t qwUntil = qwDeadline;
        if (!m_abyBuffer.empty())
            qwUntil = std::max(qwUntil, m_qwLastByte + 2 * m_qwCharNs);
        if (Now() >= qwUntil)
        {
            m_abyBuffer.clear();
            return false;
        }
        const long nRead = m_line.Receive(abyRead, sizeof abyRead, qwUntil);
        if (nRead < 0)
        {
            m_bDead = true;
            return false;
        }
        if (nRead == 0)
        {
            // A gap ends whatever was begun.
            if (!m_abyBuffer.empty() && Now() >= m_qwLastByte + 2 * m_qwCharNs)
                m_abyBuffer.clear();
            continue;
        }
        if (!m_abyBuffer.empty() &&
            Now() > m_qwLastByte + (static_cast<std::uint64_t>(nRead) + 2) * m_qwCharNs)
            m_abyBuffer.clear();
        m_qwLastByte = Now();
        m_qwLastActivity = m_qwLastByte;
        m_abyBuffer.insert(m_abyBuffer.end(), abyRead, abyRead + nRead);
    }
}

void CTestPlcMaster::SendBytes(const std::vector<std::uint8_t>& abyBytes)
{
    if (!m_line.Send(abyBytes.data(), abyBytes.size()))
        m_bDead = true;
    m_qwLastActivity = Now() + abyBytes.size() * m_qwCharNs;
}

void CTestPlcMaster::SendSd1(std::uint8_t byDa, std::uint8_t byFc)
{
    const std::uint8_t bySa = m_settings.byAddress;
    SendBytes({0x10, byDa, bySa, byFc, static_cast<std::uint8_t>(byDa + bySa + byFc), 0x16});
}

void CTestPlcMaster::SendToken(std::uint8_t byDa)
{
    SendBytes({0xDC, byDa, m_settings.byAddress});
}

void CTestPlcMaster::WaitIdle()
{
    // 33 bits of sync plus a little setup before anything we send.
    const std::uint64_t qwFree = m_qwLastActivity + Ns(33 + 11);
    if (qwFree > Now())
        m_line.WaitUntil(qwFree);
}

std::uint8_t CTestPlcMaster::NextAddress(std::uint8_t by) const
{
    return by >= m_settings.byHighestAddress ? 0 : static_cast<std::uint8_t>(by + 1);
}

std::uint8_t CTestPlcMaster::Successor() const
{
    const std::uint8_t byMe = m_settings.byAddress;
    for (std::uint8_t by = NextAddress(byMe); by != byMe; by = NextAddress(by))
        if (m_abInLas[by])
            return by;
    return byMe;
}

std::uint8_t CTestPlcMaster::Predecessor() const
{
    const std::uint8_t byMe = m_settings.byAddress;
    std::uint8_t byLast = byMe;
    for (std::uint8_t by = NextAddress(byMe); by != byMe; by = NextAddress(by))
        if (m_abInLas[by])
            byLast = by;
    return byLast;
}

bool CTestPlcMaster::Heard(const SFrame& frame)
{
    const std::uint8_t byMe = m_settings.byAddress;
    if (frame.bySd == 0xDC)
    {
        // Addresses beyond the ring's are nobody's.
        if (frame.bySa > m_settings.byHighestAddress || frame.byDa > m_settings.byHighestAddress)
            return false;
        if (frame.byDa == byMe)
        {
            const bool bTake =
                m_bReady && (frame.bySa == Predecessor() || m_nRefused == frame.bySa);
            if (!bTake)
            {
                m_nRefused = frame.bySa;
                return false;
            }
            m_nRefused = -1;
            // The stations between the passer and us are gone.
            for (std::uint8_t by = NextAddress(frame.bySa); by != byMe; by = NextAddress(by))
                m_abInLas[by] = false;
            m_abInLas[frame.bySa] = true;
            return true;
        }
        m_nRefused = -1;
        // The pass skips everybody between.
        for (std::uint8_t by = NextAddress(frame.bySa); by != frame.byDa && by != frame.bySa;
             by = NextAddress(by))
            m_abInLas[by] = false;
        m_abInLas[frame.bySa] = true;
        if (m_bInRing && !m_abInLas[byMe])
            m_bInRing = false;
        if (m_nFirstHeard < 0)
            m_nFirstHeard = frame.bySa;
        else if (m_nFirstHeard == frame.bySa)
            m_bReady = true;
        return false;
    }
    m_nRefused = -1;
    // Request FDL status to us: SD1, request bit, code 9.
    if (frame.bySd == 0x10 && frame.byDa == byMe && (frame.byFc & 0xCF) == 0x49)
    {
        const std::uint8_t byType = m_bInRing ? 0x30 : (m_bReady ? 0x20 : 0x10);
        m_line.WaitUntil(m_qwLastByte + Ns(m_settings.dwMinTsdrBits));
        SendSd1(frame.bySa, byType);
    }
    return false;
}

void CTestPlcMaster::PollSlaves()
{
    for (std::uint8_t bySlave : m_settings.abySlaves)
    {
        WaitIdle();
        // SRD high without data: the slave answers with its inputs.
        SendSd1(bySlave, 0x4D);
        const std::uint64_t qwDeadline = Now() + 6 * m_qwCharNs + Ns(m_settings.dwSlotBits);
        SFrame frame;
        while (!m_bDead && ReadFrame(qwDeadline, frame))
        {
            if (frame.bySa == bySlave && frame.byDa == m_settings.byAddress &&
                (frame.byFc & 0x40) == 0)
            {
                ++m_answers[bySlave];
                break;
            }
        }
        if (m_bDead)
            return;
    }
}

void CTestPlcMaster::HoldToken()
{
    const std::uint8_t byMe = m_settings.byAddress;
    ++m_dwTokens;
    m_qwLastTokenAt = Now();
    m_bInRing = true;
    m_bReady = true;
    m_abInLas[byMe] = true;
    if (m_settings.bKeepToken)
    {
        // Uses it once, then falls silent with it for good.
        PollSlaves();
        while (!m_bDead)
        {
            SFrame frame;
            ReadFrame(Now() + Ns(1000000), frame);
        }
        return;
    }
    PollSlaves();
    std::uint8_t byNext = Successor();
    if (++m_dwVisits % m_settings.dwGapFactor == 0)
    {
        // One gap address: the one after the last asked, within our gap.
        std::uint8_t byAsk = NextAddress(m_byGapAt);
        bool bInGap = false;
        for (std::uint8_t by = NextAddress(byMe); by != byNext && by != byMe; by = NextAddress(by))
            bInGap = bInGap || by == byAsk;
        if (!bInGap)
            byAsk = NextAddress(byMe);
        if (byAsk != byNext && byAsk != byMe)
        {
            m_byGapAt = byAsk;
            WaitIdle();
            SendSd1(byAsk, 0x49);
            const std::uint64_t qwDeadline = Now() + 6 * m_qwCharNs + Ns(m_settings.dwSlotBits);
            SFrame frame;
            if (ReadFrame(qwDeadline, frame) && frame.bySd == 0x10 && frame.bySa == byAsk &&
                frame.byDa == byMe && (frame.byFc & 0x30) == 0x20)
            {
                m_abInLas[byAsk] = true;
                byNext = byAsk;
            }
        }
    }
    // Pass, and watch the successor start within the slot time; once more, then the next one.
    for (;;)
    {
        for (int nTry = 0; nTry < 2 && !m_bDead; ++nTry)
        {
            WaitIdle();
            SendToken(byNext);
            if (byNext == byMe)
            {
                // Alone: the token comes straight back.
                m_bTokenPending = !m_bDead;
                return;
            }
            SFrame frame;
            if (ReadFrame(Now() + 3 * m_qwCharNs + Ns(m_settings.dwSlotBits), frame))
            {
                m_bTokenPending = Heard(frame);
                return;
            }
        }
        if (m_bDead)
            return;
        m_abInLas[byNext] = false;
        byNext = Successor();
    }
}

void CTestPlcMaster::Run()
{
    const std::uint64_t qwTimeout = Ns((6 + 2ull * m_settings.byAddress) * m_settings.dwSlotBits);
    m_qwLastActivity = Now();
    while (!m_bDead)
    {
        if (m_bTokenPending)
        {
            m_bTokenPending = false;
            HoldToken();
            continue;
        }
        SFrame frame;
        if (ReadFrame(m_qwLastActivity + qwTimeout, frame))
        {
            m_bTokenPending = Heard(frame);
            continue;
        }
        if (m_bDead)
            return;
        // Silent for the time-out: the token is lost, or there never was one.
        if (Now() >= m_qwLastActivity + qwTimeout)
        {
            if (!m_bInRing)
                std::fill(std::begin(m_abInLas), std::end(m_abInLas), false);
            ++m_dwClaims;
            HoldToken();
        }
    }
}

} // namespace dptest
