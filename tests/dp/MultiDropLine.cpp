#include "tests/dp/MultiDropLine.h"

#include "dp/fdl/BusTiming.h"

#include <algorithm>
#include <limits>

namespace dptest
{

namespace
{

CMultiDropLine* g_pLine = nullptr;
// The thread that runs a responder's callback holds the line's lock already.
thread_local bool t_bInCallback = false;

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

} // namespace

CMultiDropLine::CMultiDropLine(std::uint32_t dwBaudRate)
    : m_dwBaudRate(dwBaudRate),
      m_qwCharacterNs(dp::BitsToNanoseconds(dp::kBitsPerCharacter, dwBaudRate))
{
    g_pLine = this;
    m_clock = platform::SClockSource{nullptr, nullptr, &CMultiDropLine::ReadNow};
    m_pPreviousClock = platform::SetClockSource(&m_clock);
}

CMultiDropLine::~CMultiDropLine()
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (auto& pEndpoint : m_endpoints)
        {
            pEndpoint->m_bFailed = true;
            if (pEndpoint->m_bWaiting)
                Release(*pEndpoint);
        }
        // The clock stands from here: the responders' owners may be gone already.
        m_bClosing = true;
        --m_nParticipants;
        m_wake.notify_all();
    }
    for (auto& [pEndpoint, thread] : m_threads)
        if (thread.joinable())
            thread.join();
    platform::SetClockSource(m_pPreviousClock);
    g_pLine = nullptr;
}

std::uint64_t CMultiDropLine::ReadNow()
{
    return g_pLine->m_qwNow.load();
}

std::uint64_t CMultiDropLine::BitNs(std::uint64_t qwBits) const
{
    return dp::BitsToNanoseconds(qwBits, m_dwBaudRate);
}

std::uint64_t CMultiDropLine::GarbledCharacters() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_qwGarbled;
}

CMultiDropLine::CEndpoint& CMultiDropLine::AddEndpoint(bool bEcho)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_endpoints.push_back(std::unique_ptr<CEndpoint>(new CEndpoint(*this)));
    CEndpoint& endpoint = *m_endpoints.back();
    endpoint.m_nIndex = m_endpoints.size() - 1;
    endpoint.m_bEcho = bEcho;
    return endpoint;
}

CMultiDropLine::CEndpoint& CMultiDropLine::AddResponder(PFN_TELEGRAM pfnTelegram)
{
    CEndpoint& endpoint = AddEndpoint(false);
    std::lock_guard<std::mutex> lock(m_mutex);
    endpoint.m_pfnTelegram = std::move(pfnTelegram);
    return endpoint;
}

void CMultiDropLine::Put(CEndpoint& endpoint, std::uint64_t qwAtNs, const Bytes& abyBytes)
{
    if (t_bInCallback)
    {
        Transmit(endpoint, qwAtNs, abyBytes.data(), abyBytes.size());
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    Transmit(endpoint, qwAtNs, abyBytes.data(), abyBytes.size());
}

void CMultiDropLine::Start(CEndpoint& endpoint, std::function<void(dp::IDpLine& line)> pfnBody)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nParticipants;
    }
    m_threads[&endpoint] = std::thread(
        [this, &endpoint, pfnBody = std::move(pfnBody)]()
        {
            pfnBody(endpoint);
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_nParticipants;
            Settle();
        });
}

void CMultiDropLine::Kill(CEndpoint& endpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    endpoint.m_bFailed = true;
    if (endpoint.m_bWaiting)
        Release(endpoint);
    m_wake.notify_all();
}

void CMultiDropLine::Stop(CEndpoint& endpoint)
{
    Kill(endpoint);
    const auto it = m_threads.find(&endpoint);
    if (it != m_threads.end() && it->second.joinable())
        it->second.join();
}

void CMultiDropLine::RunUntil(std::uint64_t qwNs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_bTestWaiting = true;
    m_qwTestUntilNs = qwNs;
    ++m_nWaiting;
    Settle();
    m_wake.wait(lock, [this] { return !m_bTestWaiting; });
}

void CMultiDropLine::Transmit(CEndpoint& source, std::uint64_t qwAtNs, const std::uint8_t* pbyBytes,
                              std::size_t nCount)
{
    const std::uint64_t qwNow = m_qwNow.load();
    // A UART sends what it was given after what it still has to send.
    std::uint64_t qwStart = std::max({qwAtNs, qwNow, source.m_qwTransmitEndNs});
    // Characters over by now cannot meet a new one.
    std::erase_if(m_onAir,
                  [qwNow](const auto& pCharacter) { return pCharacter->qwEndNs <= qwNow; });
    for (std::size_t i = 0; i < nCount; ++i)
    {
        auto pCharacter = std::make_shared<SCharacter>();
        pCharacter->qwStartNs = qwStart;
        pCharacter->qwEndNs = qwStart + m_qwCharacterNs;
        pCharacter->nSource = source.m_nIndex;
        pCharacter->byValue = pbyBytes[i];
        for (const auto& pOther : m_onAir)
        {
            if (pOther->nSource == source.m_nIndex || pOther->qwStartNs >= pCharacter->qwEndNs ||
                pCharacter->qwStartNs >= pOther->qwEndNs)
                continue;
            m_qwGarbled += (pOther->bGarbled ? 0 : 1) + (pCharacter->bGarbled ? 0 : 1);
            pOther->bGarbled = true;
            pCharacter->bGarbled = true;
        }
        m_onAir.push_back(pCharacter);
        for (auto& pEndpoint : m_endpoints)
            if (pEndpoint.get() != &source || source.m_bEcho)
                pEndpoint->m_arrivals.emplace(pCharacter->qwEndNs, pCharacter);
        qwStart += m_qwCharacterNs;
    }
    source.m_qwTransmitEndNs = qwStart;
    source.m_qwBytesSent += nCount;
}

std::uint8_t CMultiDropLine::Delivered(const SCharacter& character)
{
    // Two drivers on the pair at once: what a receiver makes of it has nothing in common with
    // either character.
    return character.bGarbled ? static_cast<std::uint8_t>(~character.byValue) : character.byValue;
}

bool CMultiDropLine::Satisfied(const CEndpoint& endpoint) const
{
    const std::uint64_t qwNow = m_qwNow.load();
    return endpoint.m_bFailed || qwNow >= endpoint.m_qwWakeAtNs ||
           (endpoint.m_bWakeOnByte && !endpoint.m_arrivals.empty() &&
            endpoint.m_arrivals.begin()->first <= qwNow);
}

void CMultiDropLine::Release(CEndpoint& endpoint)
{
    endpoint.m_bWaiting = false;
    --m_nWaiting;
}

void CMultiDropLine::Block(std::unique_lock<std::mutex>& lock, CEndpoint& endpoint,
                           std::uint64_t qwUntilNs, bool bWakeOnByte)
{
    endpoint.m_bWaiting = true;
    endpoint.m_bWakeOnByte = bWakeOnByte;
    endpoint.m_qwWakeAtNs = qwUntilNs;
    ++m_nWaiting;
    Settle();
    m_wake.wait(lock, [&endpoint] { return !endpoint.m_bWaiting; });
}

void CMultiDropLine::DeliverToResponders()
{
    const std::uint64_t qwNow = m_qwNow.load();
    t_bInCallback = true;
    for (auto& pEndpoint : m_endpoints)
    {
        CEndpoint& endpoint = *pEndpoint;
        if (!endpoint.m_pfnTelegram)
            continue;
        while (!endpoint.m_arrivals.empty() && endpoint.m_arrivals.begin()->first <= qwNow)
        {
            const auto it = endpoint.m_arrivals.begin();
            const std::uint64_t qwAt = it->first;
            const std::uint8_t byValue = Delivered(*it->second);
            endpoint.m_arrivals.erase(it);
            // Characters of a telegram follow without a gap: after one, a slave starts afresh.
            if (qwAt > endpoint.m_qwLastByteNs + 2 * m_qwCharacterNs)
                endpoint.m_parser.Reset();
            endpoint.m_qwLastByteNs = qwAt;
            endpoint.m_parser.FeedEach(&byValue, 1,
                                       [&](const dp::STelegram& telegram, std::size_t)
                                       {
                                           endpoint.m_pfnTelegram(telegram, qwAt);
                                           return false;
                                       });
        }
    }
    t_bInCallback = false;
}

void CMultiDropLine::Settle()
{
    for (;;)
    {
        if (m_bClosing)
            break;
        for (auto& pEndpoint : m_endpoints)
            if (pEndpoint->m_bWaiting && Satisfied(*pEndpoint))
                Release(*pEndpoint);
        if (m_nWaiting < m_nParticipants)
            break;
        const std::uint64_t qwNow = m_qwNow.load();
        if (m_bTestWaiting && qwNow >= m_qwTestUntilNs)
        {
            m_bTestWaiting = false;
            --m_nWaiting;
            break;
        }
        // Everybody waits: on to the first thing any of them waits for.
        std::uint64_t qwNext = m_bTestWaiting ? m_qwTestUntilNs : kNever;
        for (const auto& pEndpoint : m_endpoints)
        {
            const CEndpoint& endpoint = *pEndpoint;
            if (endpoint.m_bWaiting)
                qwNext = std::min(qwNext, endpoint.m_qwWakeAtNs);
            if ((endpoint.m_bWaiting && endpoint.m_bWakeOnByte) || endpoint.m_pfnTelegram)
                if (!endpoint.m_arrivals.empty())
                    qwNext = std::min(qwNext, endpoint.m_arrivals.begin()->first);
        }
        if (qwNext == kNever || qwNext <= qwNow)
            break; // nothing will ever happen; cannot be while the test's thread waits
        m_qwNow.store(qwNext);
        DeliverToResponders();
    }
    m_wake.notify_all();
}

bool CMultiDropLine::CEndpoint::Send(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    std::lock_guard<std::mutex> lock(m_line.m_mutex);
    if (m_bFailed)
        return false;
    m_line.Transmit(*this, m_line.m_qwNow.load(), pbyBytes, nCount);
    return true;
}

long CMultiDropLine::CEndpoint::Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                                        std::uint64_t qwDeadlineNs)
{
    std::unique_lock<std::mutex> lock(m_line.m_mutex);
    for (;;)
    {
        if (m_bFailed)
            return -1;
        const std::uint64_t qwNow = m_line.m_qwNow.load();
        std::size_t nCount = 0;
        while (nCount < nCapacity && !m_arrivals.empty() && m_arrivals.begin()->first <= qwNow)
        {
            pbyBuffer[nCount++] = Delivered(*m_arrivals.begin()->second);
            m_arrivals.erase(m_arrivals.begin());
        }
        if (nCount > 0)
            return static_cast<long>(nCount);
        if (qwNow >= qwDeadlineNs)
            return 0;
        m_line.Block(lock, *this, qwDeadlineNs, true);
    }
}

void CMultiDropLine::CEndpoint::WaitUntil(std::uint64_t qwNs)
{
    std::unique_lock<std::mutex> lock(m_line.m_mutex);
    if (m_bFailed || m_line.m_qwNow.load() >= qwNs)
        return;
    m_line.Block(lock, *this, qwNs, false);
}

long CMultiDropLine::CEndpoint::Drain()
{
    std::lock_guard<std::mutex> lock(m_line.m_mutex);
    if (m_bFailed)
        return -1;
    const std::uint64_t qwNow = m_line.m_qwNow.load();
    long nDropped = 0;
    while (!m_arrivals.empty() && m_arrivals.begin()->first <= qwNow)
    {
        m_arrivals.erase(m_arrivals.begin());
        ++nDropped;
    }
    return nDropped;
}

std::uint64_t CMultiDropLine::CEndpoint::BytesSent() const
{
    std::lock_guard<std::mutex> lock(m_line.m_mutex);
    return m_qwBytesSent;
}

} // namespace dptest
