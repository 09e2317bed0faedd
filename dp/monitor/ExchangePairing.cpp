#include "dp/monitor/ExchangePairing.h"

#include "dp/fdl/FunctionCodes.h"

namespace dp
{

CExchangePairing::CExchangePairing(const SBusParameters& bus, std::uint32_t dwResponseAllowanceUs,
                                   IPairingSink& sink)
    : m_sink(sink)
{
    const std::uint64_t qwCharacterNs = BitsToNanoseconds(kBitsPerCharacter, bus.dwBaudRate);
    // A character shows only once it is over: an answer that begins at the end of the slot
    // time shows a character later.
    m_qwWindowNs = BitsToNanoseconds(bus.dwSlotTime, bus.dwBaudRate) +
                   dwResponseAllowanceUs * 1000ull + qwCharacterNs;
    m_qwLongestNs = kMaxTelegramSize * qwCharacterNs;
    m_qwQuietNs = BitsToNanoseconds(kSyncBits, bus.dwBaudRate);
}

bool CExchangePairing::ExpectsAnswer(const STelegram& request)
{
    if (request.eFrame == teFrame::Sd4 || request.eFrame == teFrame::ShortAck ||
        !IsRequestFc(request.byFc) || request.byDa == kBroadcastAddress)
        return false;
    switch (FcCode(request.byFc))
    {
    case ReqSdaLow:
    case ReqSdaHigh:
    case ReqMsrd:
    case ReqFdlStatus:
    case ReqSrdLow:
    case ReqSrdHigh:
    case ReqIdent:
    case ReqLsapStatus:
        return true;
    default:
        return false;
    }
}

namespace
{

bool IsRequestOrToken(const STelegram& telegram)
{
    return telegram.eFrame == teFrame::Sd4 ||
           (telegram.eFrame != teFrame::ShortAck && IsRequestFc(telegram.byFc));
}

// The requests a station may acknowledge with E5 alone.
bool MayTakeShortAck(const STelegram& request)
{
    const std::uint8_t byCode = FcCode(request.byFc);
    return byCode == ReqSdaLow || byCode == ReqSdaHigh || byCode == ReqSrdLow ||
           byCode == ReqSrdHigh;
}

} // namespace

bool CExchangePairing::Acceptable(const STimedTelegram& timed) const
{
    const STelegram& telegram = timed.telegram;
    const STelegram& request = m_request.telegram;
    // Complete before the request was: it was on the line while the request was (a collision).
    if (timed.qwStartNs < m_request.qwEndNs || timed.qwStartNs > m_request.qwEndNs + m_qwWindowNs)
        return false;
    if (telegram.eFrame == teFrame::ShortAck)
        return MayTakeShortAck(request) && !m_bSomethingAhead;
    if (telegram.eFrame == teFrame::Sd4)
        return false;
    return (telegram.byFc & (kFcReserved | kFcRequest)) == 0 && telegram.byDa == request.bySa &&
           telegram.bySa == request.byDa;
}

bool CExchangePairing::InWindow(std::uint64_t qwNs) const
{
    if (!m_bPending)
        return false;
    if (m_bHaveAnswer)
        return qwNs <= m_answer.qwEndNs + m_qwQuietNs;
    return qwNs <= m_request.qwEndNs + m_qwWindowNs + m_qwLongestNs;
}

void CExchangePairing::Begin(const STimedTelegram& request)
{
    m_bPending = true;
    m_request = request;
    m_bHaveAnswer = false;
    m_bSomethingAhead = false;
    m_bDoubt = false;
}

void CExchangePairing::Resolve()
{
    m_bPending = false;
    if (m_bHaveAnswer && !m_bDoubt)
        m_sink.OnAnswered(m_request, m_answer);
    else if (m_bHaveAnswer || m_bDoubt)
        m_sink.OnInDoubt(m_request);
    else
        m_sink.OnUnanswered(m_request);
}

void CExchangePairing::Telegram(const STimedTelegram& timed)
{
    const STelegram& telegram = timed.telegram;
    if (m_bPending)
    {
        if (m_bHaveAnswer)
        {
            // Sooner behind the answer than any station may send, or a second response before
            // the next request: which was the answer is not known.
            const bool bRightBehind =
                !timed.bSameRead && timed.qwStartNs < m_answer.qwEndNs + m_qwQuietNs;
            if (bRightBehind || !IsRequestOrToken(telegram))
                m_bDoubt = true;
            Resolve();
        }
        else if (Acceptable(timed))
        {
            m_bHaveAnswer = true;
            m_answer = timed;
            m_bDoubt = m_bDoubt || m_bSomethingAhead;
            return;
        }
        else if (IsRequestOrToken(telegram))
            Resolve();
        else
        {
            // A response that is none to the request: had it been garbled, it might have been
            // the answer; past the window, the request has gone unanswered.
            if (timed.qwStartNs <= m_request.qwEndNs + m_qwWindowNs)
                m_bSomethingAhead = true;
            else
                Resolve();
            m_sink.OnStrayAnswer(timed);
            return;
        }
    }
    if (!IsRequestOrToken(telegram))
    {
        m_sink.OnStrayAnswer(timed);
        return;
    }
    m_sink.OnRequest(timed);
    if (ExpectsAnswer(telegram))
        Begin(timed);
}

void CExchangePairing::Trouble(std::uint64_t qwNs)
{
    if (!m_bPending)
        return;
    if (m_bHaveAnswer)
        m_bDoubt = true;
    else if (qwNs <= m_request.qwEndNs + m_qwWindowNs + m_qwLongestNs)
        m_bSomethingAhead = true;
}

void CExchangePairing::Quiet(std::uint64_t qwLastByteNs, std::uint64_t qwNowNs)
{
    if (!m_bPending)
        return;
    if (m_bHaveAnswer)
    {
        if (qwLastByteNs > m_answer.qwEndNs)
            m_bDoubt = true;
        if (m_bDoubt || qwNowNs >= m_answer.qwEndNs + m_qwQuietNs)
            Resolve();
        return;
    }
    if (qwNowNs > m_request.qwEndNs + m_qwWindowNs)
        Resolve();
}

} // namespace dp
