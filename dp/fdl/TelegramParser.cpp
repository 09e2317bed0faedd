#include "dp/fdl/TelegramParser.h"

#include <cstring>

namespace dp
{

namespace
{

bool IsStartDelimiter(std::uint8_t byByte)
{
    return byByte == kSd1 || byByte == kSd2 || byByte == kSd3 || byByte == kSd4 ||
           byByte == kShortAck;
}

unsigned SapBytes(std::uint8_t byDa, std::uint8_t bySa)
{
    return ((byDa & kAddressExtension) != 0 ? 1u : 0u) +
           ((bySa & kAddressExtension) != 0 ? 1u : 0u);
}

} // namespace

std::size_t CTelegramParser::Feed(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    std::size_t nConsumed = 0;
    while (nConsumed < nCount && !m_bReady)
    {
        m_abyBuffer[m_nBuffered++] = pbyBytes[nConsumed++];
        Scan(false);
    }
    return nConsumed;
}

bool CTelegramParser::NoteIdle()
{
    if (!m_bReady)
        Scan(true);
    return m_bReady;
}

void CTelegramParser::Scan(bool bIdle)
{
    for (;;)
    {
        SkipToDelimiter();
        if (m_nBuffered == 0)
            return;
        std::size_t nSize = 0;
        teCheck eCheck = CheckCandidate(nSize);
        if (eCheck == teCheck::NeedMore && !bIdle)
            return;
        if (eCheck != teCheck::Complete)
        {
            // Only the delimiter is known to be wrong (or, after an idle line, cut short); a
            // telegram may start in what follows.
            if (eCheck == teCheck::NeedMore)
                ++m_counters.dwTruncated;
            DropFront(1);
            ++m_counters.dwSkippedBytes;
            continue;
        }
        Decode(nSize);
        DropFront(nSize);
        ++m_counters.dwTelegrams;
        m_bReady = true;
        return;
    }
}

bool CTelegramParser::Take(STelegram& telegram)
{
    if (!m_bReady)
        return false;
    telegram = m_telegram;
    m_bReady = false;
    return true;
}

void CTelegramParser::Reset()
{
    m_nBuffered = 0;
    m_bReady = false;
}

void CTelegramParser::DropFront(std::size_t nCount)
{
    std::memmove(m_abyBuffer, m_abyBuffer + nCount, m_nBuffered - nCount);
    m_nBuffered -= nCount;
}

void CTelegramParser::SkipToDelimiter()
{
    std::size_t nSkip = 0;
    while (nSkip < m_nBuffered && !IsStartDelimiter(m_abyBuffer[nSkip]))
        ++nSkip;
    if (nSkip != 0)
    {
        DropFront(nSkip);
        m_counters.dwSkippedBytes += static_cast<std::uint32_t>(nSkip);
    }
}

CTelegramParser::teCheck CTelegramParser::CheckCandidate(std::size_t& nSize)
{
    const std::uint8_t* pby = m_abyBuffer;
    const std::size_t n = m_nBuffered;
    switch (pby[0])
    {
    case kShortAck:
        nSize = kShortAckSize;
        return teCheck::Complete;
    case kSd4:
        nSize = kSd4Size;
        if (n < nSize)
            return teCheck::NeedMore;
        if (pby[1] > kBroadcastAddress || pby[2] > kBroadcastAddress)
        {
            ++m_counters.dwBadFrames;
            return teCheck::Invalid;
        }
        return teCheck::Complete;
    case kSd1:
    case kSd3:
    {
        const std::size_t nUnits = pby[0] == kSd1 ? 0 : kSd3DataUnits;
        nSize = TelegramSize(pby[0] == kSd1 ? teFrame::Sd1 : teFrame::Sd3, nUnits);
        if (n < nSize)
            return teCheck::NeedMore;
        if (pby[nSize - 1] != kEndDelimiter || SapBytes(pby[1], pby[2]) > nUnits)
        {
            ++m_counters.dwBadFrames;
            return teCheck::Invalid;
        }
        if (FrameCheckSum(pby + 1, kAddressFcBytes + nUnits) != pby[nSize - 2])
        {
            ++m_counters.dwBadCheckSums;
            return teCheck::Invalid;
        }
        return teCheck::Complete;
    }
    case kSd2:
    {
        if (n < kSd2HeaderBytes)
            return teCheck::NeedMore;
        const std::uint8_t byLe = pby[1];
        if (pby[2] != byLe || pby[3] != kSd2 || byLe < kAddressFcBytes || byLe > kMaxLe)
        {
            ++m_counters.dwBadFrames;
            return teCheck::Invalid;
        }
        const std::size_t nUnits = byLe - kAddressFcBytes;
        nSize = TelegramSize(teFrame::Sd2, nUnits);
        if (n < nSize)
            return teCheck::NeedMore;
        if (pby[nSize - 1] != kEndDelimiter || SapBytes(pby[4], pby[5]) > nUnits)
        {
            ++m_counters.dwBadFrames;
            return teCheck::Invalid;
        }
        if (FrameCheckSum(pby + kSd2HeaderBytes, byLe) != pby[nSize - 2])
        {
            ++m_counters.dwBadCheckSums;
            return teCheck::Invalid;
        }
        return teCheck::Complete;
    }
    default:
        return teCheck::Invalid;
    }
}

void CTelegramParser::Decode(std::size_t nSize)
{
    const std::uint8_t* pby = m_abyBuffer;
    STelegram& t = m_telegram;
    t = STelegram{};
    switch (pby[0])
    {
    case kShortAck:
        t.eFrame = teFrame::ShortAck;
        return;
    case kSd4:
        t.eFrame = teFrame::Sd4;
        t.byDa = pby[1];
        t.bySa = pby[2];
        return;
    default:
        break;
    }
    std::size_t nBody = 1; // DA's position
    if (pby[0] == kSd1)
        t.eFrame = teFrame::Sd1;
    else if (pby[0] == kSd3)
        t.eFrame = teFrame::Sd3;
    else
    {
        t.eFrame = teFrame::Sd2;
        nBody = kSd2HeaderBytes;
    }
    const std::size_t nUnits = nSize - nBody - kAddressFcBytes - kTrailerBytes;
    const std::uint8_t byDa = pby[nBody];
    const std::uint8_t bySa = pby[nBody + 1];
    t.byDa = byDa & kAddressMask;
    t.bySa = bySa & kAddressMask;
    t.byFc = pby[nBody + 2];
    std::size_t nAt = nBody + kAddressFcBytes;
    if ((byDa & kAddressExtension) != 0)
    {
        t.bHasDsap = true;
        t.byDsap = pby[nAt++];
    }
    if ((bySa & kAddressExtension) != 0)
    {
        t.bHasSsap = true;
        t.bySsap = pby[nAt++];
    }
    t.byDataLength = static_cast<std::uint8_t>(nUnits - SapBytes(byDa, bySa));
    std::memcpy(t.abyData, pby + nAt, t.byDataLength);
}

} // namespace dp
