#include "tests/dp/ScriptedLine.h"

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/TelegramParser.h"

#include <algorithm>

namespace dptest
{

namespace
{

CScriptedLine* g_pLine = nullptr;

std::uint8_t Sum(const Bytes& abyBytes, std::size_t nFrom, std::size_t nTo)
{
    std::uint32_t dwSum = 0;
    for (std::size_t i = nFrom; i < nTo; ++i)
        dwSum += abyBytes[i];
    return static_cast<std::uint8_t>(dwSum);
}

} // namespace

CScriptedLine::CScriptedLine(std::uint32_t dwBaudRate)
    : m_dwBaudRate(dwBaudRate),
      m_qwCharacterNs(dp::BitsToNanoseconds(dp::kBitsPerCharacter, dwBaudRate))
{
    g_pLine = this;
    m_clock = platform::SClockSource{nullptr, nullptr, &CScriptedLine::ReadNow};
    m_pPreviousClock = platform::SetClockSource(&m_clock);
}

CScriptedLine::~CScriptedLine()
{
    platform::SetClockSource(m_pPreviousClock);
    g_pLine = nullptr;
}

std::uint64_t CScriptedLine::ReadNow()
{
    return g_pLine->m_qwNow;
}

std::uint64_t CScriptedLine::BitNs(std::uint64_t qwBits) const
{
    return dp::BitsToNanoseconds(qwBits, m_dwBaudRate);
}

void CScriptedLine::Put(std::uint64_t qwAtNs, const Bytes& abyBytes)
{
    // A character can be read once its last bit has come.
    for (std::size_t i = 0; i < abyBytes.size(); ++i)
        m_pending.emplace(qwAtNs + (i + 1) * m_qwCharacterNs, abyBytes[i]);
}

void CScriptedLine::PutNoise(std::uint64_t qwFromNs, std::uint64_t qwToNs, std::uint32_t dwSeed,
                             int nOnlyByte)
{
    std::uint32_t dwState = dwSeed != 0 ? dwSeed : 1;
    for (std::uint64_t qwAt = qwFromNs; qwAt < qwToNs; qwAt += m_qwCharacterNs)
    {
        dwState ^= dwState << 13;
        dwState ^= dwState >> 17;
        dwState ^= dwState << 5;
        m_pending.emplace(qwAt, nOnlyByte >= 0 ? static_cast<std::uint8_t>(nOnlyByte)
                                               : static_cast<std::uint8_t>(dwState));
    }
}

void CScriptedLine::SkipTo(std::uint64_t qwNs)
{
    m_qwNow = std::max(m_qwNow, qwNs);
    Drain();
}

bool CScriptedLine::Send(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    if (m_bFailed)
        return false;
    const Bytes abySent(pbyBytes, pbyBytes + nCount);
    m_aSent.push_back(abySent);
    m_aqwSentAt.push_back(m_qwNow);
    const std::uint64_t qwEnd = m_qwNow + nCount * m_qwCharacterNs;
    if (m_bEcho)
        Put(m_qwNow, abySent);
    dp::CTelegramParser parser;
    dp::STelegram request;
    if (parser.Feed(pbyBytes, nCount) == nCount && parser.Take(request) && m_pfnRespond)
        m_pfnRespond(request, qwEnd);
    return true;
}

long CScriptedLine::Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                            std::uint64_t qwDeadlineNs)
{
    if (m_bFailed)
        return -1;
    if (m_pending.empty() || m_pending.begin()->first > qwDeadlineNs)
    {
        m_qwNow = std::max(m_qwNow, qwDeadlineNs);
        return 0;
    }
    // What has arrived, and the rest of a burst that goes on without a gap: a driver hands
    // those over together.
    m_qwNow = std::max(m_qwNow, m_pending.begin()->first);
    std::size_t nCount = 0;
    std::uint64_t qwLast = m_pending.begin()->first;
    while (!m_pending.empty() && nCount < nCapacity)
    {
        const auto it = m_pending.begin();
        if (it->first > qwDeadlineNs ||
            (it->first > m_qwNow && it->first > qwLast + m_qwCharacterNs))
            break;
        pbyBuffer[nCount++] = it->second;
        qwLast = it->first;
        m_pending.erase(it);
    }
    m_qwNow = std::max(m_qwNow, qwLast);
    return static_cast<long>(nCount);
}

void CScriptedLine::WaitUntil(std::uint64_t qwNs)
{
    // What arrives meanwhile stays pending for the next Receive.
    m_qwNow = std::max(m_qwNow, qwNs);
}

long CScriptedLine::Drain()
{
    if (m_bFailed)
        return -1;
    long nDropped = 0;
    while (!m_pending.empty() && m_pending.begin()->first <= m_qwNow)
    {
        m_pending.erase(m_pending.begin());
        ++nDropped;
    }
    return nDropped;
}

Bytes Sd1(std::uint8_t byDa, std::uint8_t bySa, std::uint8_t byFc)
{
    Bytes abyBytes = {0x10, byDa, bySa, byFc};
    abyBytes.push_back(Sum(abyBytes, 1, 4));
    abyBytes.push_back(0x16);
    return abyBytes;
}

Bytes Sd2(std::uint8_t byDa, std::uint8_t bySa, std::uint8_t byFc, int nDsap, int nSsap,
          const Bytes& abyData)
{
    Bytes abyUnits = {static_cast<std::uint8_t>(byDa | (nDsap >= 0 ? 0x80 : 0)),
                      static_cast<std::uint8_t>(bySa | (nSsap >= 0 ? 0x80 : 0)), byFc};
    if (nDsap >= 0)
        abyUnits.push_back(static_cast<std::uint8_t>(nDsap));
    if (nSsap >= 0)
        abyUnits.push_back(static_cast<std::uint8_t>(nSsap));
    abyUnits.insert(abyUnits.end(), abyData.begin(), abyData.end());
    const auto byLength = static_cast<std::uint8_t>(abyUnits.size());
    Bytes abyBytes;
    abyBytes.reserve(abyUnits.size() + 6);
    for (std::uint8_t by : {std::uint8_t{0x68}, byLength, byLength, std::uint8_t{0x68}})
        abyBytes.push_back(by);
    for (std::uint8_t by : abyUnits)
        abyBytes.push_back(by);
    abyBytes.push_back(Sum(abyUnits, 0, abyUnits.size()));
    abyBytes.push_back(0x16);
    return abyBytes;
}

} // namespace dptest
