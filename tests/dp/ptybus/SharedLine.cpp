#include "tests/dp/ptybus/SharedLine.h"

#include <algorithm>
#include <limits>

namespace ptybus
{

namespace
{

constexpr std::uint64_t kBitsPerCharacter = 11;

} // namespace

CSharedLine::CSharedLine(std::size_t nEndpoints, std::uint32_t dwBaudRate, bool bEcho,
                         std::size_t nQueueLimit)
    : m_endpoints(nEndpoints),
      m_qwCharacterNs(std::max<std::uint64_t>(
          1, (kBitsPerCharacter * 1000000000u + dwBaudRate / 2) / std::max(dwBaudRate, 1u))),
      m_bEcho(bEcho), m_nQueueLimit(nQueueLimit)
{
}

std::size_t CSharedLine::Room(std::size_t nFrom) const
{
    const std::size_t nQueued = m_endpoints[nFrom].queue.size();
    return nQueued < m_nQueueLimit ? m_nQueueLimit - nQueued : 0;
}

std::size_t CSharedLine::Write(std::size_t nFrom, const std::uint8_t* pbyBytes, std::size_t nCount,
                               std::uint64_t qwNowNs)
{
    SEndpoint& endpoint = m_endpoints[nFrom];
    const std::size_t nTaken = std::min(nCount, Room(nFrom));
    for (std::size_t i = 0; i < nTaken; ++i)
    {
        SCharacter character;
        character.byValue = pbyBytes[i];
        character.qwStartNs = std::max(qwNowNs, endpoint.qwTailNs);
        endpoint.qwTailNs = character.qwStartNs + m_qwCharacterNs;
        endpoint.queue.push_back(character);
    }
    endpoint.counts.qwBytesSent += nTaken;
    return nTaken;
}

bool CSharedLine::Overlaps(const SCharacter& a, const SCharacter& b) const
{
    return a.qwStartNs < b.qwStartNs + m_qwCharacterNs &&
           b.qwStartNs < a.qwStartNs + m_qwCharacterNs;
}

std::uint64_t CSharedLine::NextEndNs() const
{
    std::uint64_t qwNext = std::numeric_limits<std::uint64_t>::max();
    for (const SEndpoint& endpoint : m_endpoints)
    {
        if (!endpoint.queue.empty())
            qwNext = std::min(qwNext, endpoint.queue.front().qwStartNs + m_qwCharacterNs);
    }
    return qwNext;
}

void CSharedLine::Advance(std::uint64_t qwNowNs, std::vector<std::vector<std::uint8_t>>& aReceived)
{
    for (;;)
    {
        // The character that ends first; on a tie the lower station, which changes nothing:
        // characters that end together started together and garble each other either way.
        std::size_t nFrom = m_endpoints.size();
        std::uint64_t qwEarliest = std::numeric_limits<std::uint64_t>::max();
        for (std::size_t n = 0; n < m_endpoints.size(); ++n)
        {
            const std::deque<SCharacter>& queue = m_endpoints[n].queue;
            if (!queue.empty() && queue.front().qwStartNs < qwEarliest)
            {
                qwEarliest = queue.front().qwStartNs;
                nFrom = n;
            }
        }
        if (nFrom == m_endpoints.size() || qwEarliest + m_qwCharacterNs > qwNowNs)
            return;
        Deliver(nFrom, aReceived);
    }
}

void CSharedLine::Deliver(std::size_t nFrom, std::vector<std::vector<std::uint8_t>>& aReceived)
{
    SEndpoint& sender = m_endpoints[nFrom];
    const SCharacter character = sender.queue.front();
    sender.queue.pop_front();
    // Characters are delivered in the order they end and all last as long, so of another
    // station only its latest ended character and the first still on its way can overlap
    // this one: an earlier one ended before this one started, a later one starts after it ends.
    std::uint8_t byOnLine = character.byValue;
    bool bGarbled = false;
    for (std::size_t n = 0; n < m_endpoints.size(); ++n)
    {
        const SEndpoint& other = m_endpoints[n];
        if (n == nFrom)
            continue;
        if (other.bHasLast && Overlaps(other.lastEnded, character))
        {
            byOnLine |= other.lastEnded.byValue;
            bGarbled = true;
        }
        if (!other.queue.empty() && Overlaps(other.queue.front(), character))
        {
            byOnLine |= other.queue.front().byValue;
            bGarbled = true;
        }
    }
    sender.lastEnded = character;
    sender.bHasLast = true;
    if (bGarbled)
    {
        ++sender.counts.qwCharactersGarbled;
        ++m_qwGarbled;
    }
    for (std::size_t n = 0; n < m_endpoints.size(); ++n)
    {
        if (n != nFrom || m_bEcho)
            aReceived[n].push_back(byOnLine);
    }
}

void CSharedLine::CountReceived(std::size_t n, std::size_t nCount)
{
    m_endpoints[n].counts.qwBytesReceived += nCount;
}

void CSharedLine::CountDropped(std::size_t n, std::size_t nCount)
{
    m_endpoints[n].counts.qwBytesDropped += nCount;
}

} // namespace ptybus
