#include "dp/station/FdlStation.h"

#include "dp/fdl/FunctionCodes.h"
#include "dp/fdl/TelegramText.h"

#include "platform/Clock.h"

#include <algorithm>

namespace dp
{

namespace
{

// Characters of slack behind a telegram begun before a deadline: its characters follow each
// other without a gap, so one not over two characters after the last byte never comes.
constexpr std::uint64_t kGapCharacters = 2;

std::uint64_t Now()
{
    return platform::ReadMonotonicNs();
}

} // namespace

std::uint32_t TokenTimeoutBits(const SBusParameters& bus, std::uint8_t byAddress)
{
    return 6 * bus.dwSlotTime + 2u * byAddress * bus.dwSlotTime;
}

CFdlStation::CFdlStation(IDpLine& line, const SStationConfig& config)
    : m_config(config), m_line(line), m_tap(*this, line), m_las(config.byHighestAddress)
{
    const std::uint64_t qwAllowanceNs = config.dwResponseAllowanceUs * 1000ull;
    m_qwCharacterNs = Bits(kBitsPerCharacter);
    m_qwSlotNs = Bits(config.bus.dwSlotTime) + qwAllowanceNs;
    // TTO counts slot times, and every slot time here carries the allowance: a holder waiting
    // out an unanswered request leaves the line silent for a slot time and its own lateness,
    // and the rules keep TTO five slot times above that, and the stations' TTOs two slot
    // times apart, so that one station claims a lost token first. With the allowance added
    // once, that room would shrink to a few bit times, less than a PC's lateness.
    const std::uint64_t qwSlotsInTimeout = 6 + 2ull * config.byAddress;
    m_qwTokenTimeoutNs =
        Bits(TokenTimeoutBits(config.bus, config.byAddress)) + qwSlotsInTimeout * qwAllowanceNs;
    m_qwTargetRotationNs = Bits(config.dwTargetRotationBits);
    m_qwIdleNs = Bits(IdleTime1Bits(config.bus));
    m_qwSyncNs = Bits(kSyncBits);
}

std::uint64_t CFdlStation::Bits(std::uint64_t qwBits) const
{
    return BitsToNanoseconds(qwBits, m_config.bus.dwBaudRate);
}

// ---- the tap: every byte the station or its applications receive ------------------------

bool CFdlStation::CTap::Send(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    // A station that found its address taken, or a second token, sends nothing more.
    if (m_station.m_eFault != teStationFault::None)
        return false;
    if (!m_line.Send(pbyBytes, nCount))
        return false;
    m_station.NoteSent(pbyBytes, nCount);
    return true;
}

long CFdlStation::CTap::Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                                std::uint64_t qwDeadlineNs)
{
    const long nRead = m_line.Receive(pbyBuffer, nCapacity, qwDeadlineNs);
    if (nRead > 0)
        m_station.Observe(pbyBuffer, static_cast<std::size_t>(nRead));
    else if (nRead == 0)
        m_station.ConfirmSuspectToken();
    return nRead;
}

long CFdlStation::CTap::Drain()
{
    // What is dropped unread must still be seen: a token passed meanwhile is the station's.
    std::uint8_t abyBuffer[256];
    long nTotal = 0;
    for (;;)
    {
        const long nRead = m_line.Receive(abyBuffer, sizeof abyBuffer, 0);
        if (nRead < 0)
            return -1;
        if (nRead == 0)
        {
            m_station.ConfirmSuspectToken();
            return nTotal;
        }
        m_station.Observe(abyBuffer, static_cast<std::size_t>(nRead));
        nTotal += nRead;
    }
}

void CFdlStation::NoteSent(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    const std::uint64_t qwEnd = Now() + nCount * m_qwCharacterNs;
    m_qwLastActivityNs = std::max(m_qwLastActivityNs, qwEnd);
    CTelegramParser parser;
    if (parser.Feed(pbyBytes, nCount) == nCount && parser.Take(m_lastSent))
    {
        m_bSentAny = true;
        // A half-duplex adapter gives it back as it goes out.
        m_qwEchoUntilNs = qwEnd + kGapCharacters * m_qwCharacterNs + m_qwSlotNs;
    }
}

bool CFdlStation::IsEcho(const STelegram& telegram) const
{
    return m_bSentAny && Now() <= m_qwEchoUntilNs && SameTelegram(telegram, m_lastSent);
}

void CFdlStation::Observe(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    const std::uint64_t qwNow = Now();
    // When the first of these bytes came, at the latest: back to back with the last one.
    const std::uint64_t qwFirstAt = qwNow - std::min(qwNow, (nCount - 1) * m_qwCharacterNs);
    const std::uint64_t qwIdleBefore = qwFirstAt - std::min(qwFirstAt, m_qwLastByteNs);
    // A token telegram heard while we hold ours is a second token only if it stood alone with
    // the synchronisation idle around it; one inside noise is none (SD4 has no check sum).
    if (m_bSuspectToken && qwFirstAt < m_qwSuspectQuietAtNs)
    {
        m_bSuspectToken = false;
        ++m_counters.dwTokensInNoise;
    }
    ConfirmSuspectToken();
    // A gap inside a telegram ends it: what was begun is no telegram.
    if (qwIdleBefore > kGapCharacters * m_qwCharacterNs)
        m_parser.TakeEachOnIdle(
            [this](const STelegram& telegram, std::size_t)
            {
                ObserveTelegram(telegram, false);
                return false;
            });
    // Whether the telegram the parser is in (or the next one) began after an idle line.
    if (m_parser.BufferedBytes() == 0)
        m_bIdleBeforeCandidate = qwIdleBefore >= m_qwSyncNs;
    const bool bIdleBefore = m_bIdleBeforeCandidate;
    m_qwLastByteNs = qwNow;
    m_qwLastActivityNs = std::max(m_qwLastActivityNs, qwNow);
    const SParserCounters before = m_parser.Counters();
    std::size_t nTaken = 0;
    m_parser.FeedEach(pbyBytes, nCount,
                      [&](const STelegram& telegram, std::size_t nBehind)
                      {
                          // The last of the read, behind nothing but whole telegrams (or an idle
                          // line): it may be a token. Whether the line stays idle behind it
                          // tells.
                          const SParserCounters& now = m_parser.Counters();
                          const bool bClean = now.dwSkippedBytes == before.dwSkippedBytes &&
                                              now.dwBadCheckSums == before.dwBadCheckSums &&
                                              now.dwBadFrames == before.dwBadFrames &&
                                              now.dwTruncated == before.dwTruncated;
                          const bool bAlone = nBehind == 0 && bClean && (nTaken > 0 || bIdleBefore);
                          ++nTaken;
                          ObserveTelegram(telegram, bAlone);
                          return false;
                      });
    ConfirmSuspectToken();
}

void CFdlStation::ConfirmSuspectToken()
{
    if (m_bSuspectToken && Now() >= m_qwSuspectQuietAtNs)
    {
        m_bSuspectToken = false;
        SetFault(teStationFault::SecondToken, "station " + std::to_string(m_bySuspectFrom) +
                                                  " passed a token while this station held it");
    }
}

void CFdlStation::ObserveTelegram(const STelegram& telegram, bool bAlone)
{
    if (telegram.eFrame != teFrame::ShortAck && IsEcho(telegram))
        return;
    if (telegram.eFrame == teFrame::Sd4 && !bAlone && m_bHolding)
    {
        // A token telegram amid other bytes while we hold the token: noise that looks like one.
        ++m_counters.dwTokensInNoise;
        return;
    }
    if (telegram.eFrame != teFrame::ShortAck && telegram.bySa == m_config.byAddress)
    {
        SetFault(teStationFault::DuplicateAddress,
                 "another station sends with address " + std::to_string(m_config.byAddress));
        return;
    }
    if (telegram.eFrame == teFrame::Sd4)
    {
        ++m_counters.dwTokenTelegramsHeard;
        TraceToken("token heard", telegram);
        if (m_bHolding)
        {
            // Confirmed once the line stays idle behind it for the synchronisation time.
            m_bSuspectToken = true;
            m_bySuspectFrom = telegram.bySa;
            m_qwSuspectQuietAtNs = Now() + m_qwSyncNs;
            return;
        }
    }
    // What an application's request brought is the application's.
    if (m_bInApplication)
        return;
    // Bounded: a read brings at most its own bytes' telegrams, and Run takes them all after it.
    m_seen.push_back(SSeen{telegram, Now()});
}

// ---- the loop --------------------------------------------------------------------------

bool CFdlStation::Run()
{
    m_qwLastActivityNs = std::max(m_qwLastActivityNs, Now());
    std::uint8_t abyBuffer[256];
    for (;;)
    {
        if (m_pfnStop && m_pfnStop())
            return true;
        if (m_eFault != teStationFault::None || m_bLineFailed)
            return false;
        if (m_bHaveToken)
        {
            HoldToken();
            continue;
        }
        const std::uint64_t qwDeadline = Deadline();
        const long nRead = m_tap.Receive(abyBuffer, sizeof abyBuffer, qwDeadline);
        if (nRead < 0)
        {
            m_bLineFailed = true;
            return false;
        }
        while (!m_seen.empty() && m_eFault == teStationFault::None && !m_bHaveToken)
        {
            const SSeen seen = m_seen.front();
            m_seen.pop_front();
            Handle(seen);
        }
        if (m_bHaveToken)
            m_seen.clear();
        if (!m_bHaveToken && m_eFault == teStationFault::None && nRead == 0 && Now() >= Deadline())
            OnDeadline();
    }
}

std::uint64_t CFdlStation::Deadline() const
{
    std::uint64_t qwDeadline = m_qwLastActivityNs + m_qwTokenTimeoutNs;
    if (m_eAwait != teAwait::Nothing)
        qwDeadline = std::min(qwDeadline, m_qwAwaitUntilNs);
    // A telegram begun is waited for to its end.
    if (m_parser.BufferedBytes() > 0)
        qwDeadline = std::max(qwDeadline, m_qwLastByteNs + kGapCharacters * m_qwCharacterNs);
    return qwDeadline;
}

void CFdlStation::Handle(const SSeen& seen)
{
    const STelegram& telegram = seen.telegram;
    const std::uint8_t byTs = m_config.byAddress;
    // Any valid telegram after our pass: the successor uses the token.
    if (m_eAwait == teAwait::TokenUse)
        m_eAwait = teAwait::Nothing;
    if (m_eAwait == teAwait::GapAnswer)
    {
        HandleGapAnswer(telegram);
        return;
    }
    if (telegram.eFrame == teFrame::Sd4)
    {
        HandleToken(telegram);
        return;
    }
    m_nRefusedFrom = -1;
    if (telegram.eFrame != teFrame::ShortAck && telegram.byDa == byTs &&
        IsRequestFc(telegram.byFc) && (telegram.byFc & kFcReserved) == 0 &&
        FcCode(telegram.byFc) == ReqFdlStatus && telegram.eFrame == teFrame::Sd1)
        AnswerStatus(telegram);
}

void CFdlStation::HandleToken(const STelegram& telegram)
{
    const std::uint8_t byTs = m_config.byAddress;
    if (telegram.bySa > m_las.HighestAddress() || telegram.byDa > m_las.HighestAddress())
    {
        ++m_counters.dwTokensBeyondHsa;
        m_nRefusedFrom = -1;
        return;
    }
    if (telegram.byDa != byTs)
    {
        m_nRefusedFrom = -1;
        m_las.NoteTokenPass(telegram.bySa, telegram.byDa);
        if (m_eRing == teRingState::InRing && !m_las.Contains(byTs))
        {
            ++m_counters.dwDroppedFromRing;
            SetRing(teRingState::ReadyForRing, "station " + std::to_string(telegram.bySa) +
                                                   " passed the token past this station");
        }
        // Listening: the ring is known once a station has been heard passing twice.
        if (m_eRing == teRingState::Listening)
        {
            if (m_nFirstPasser < 0)
                m_nFirstPasser = telegram.bySa;
            else if (m_nFirstPasser == telegram.bySa)
                SetRing(teRingState::ReadyForRing, "has heard the token go round");
        }
        return;
    }
    // A token for us.
    const bool bFromPredecessor = m_las.Predecessor(byTs) == telegram.bySa;
    const bool bRepeated = m_nRefusedFrom == telegram.bySa;
    if (m_eRing == teRingState::Listening || (!bFromPredecessor && !bRepeated))
    {
        ++m_counters.dwTokensRefused;
        m_nRefusedFrom = telegram.bySa;
        TraceToken("token refused", telegram);
        return;
    }
    if (!bFromPredecessor)
        ++m_counters.dwTokensFromOutside;
    m_nRefusedFrom = -1;
    m_las.NoteTokenPass(telegram.bySa, byTs);
    m_bHaveToken = true;
}

void CFdlStation::AnswerStatus(const STelegram& request)
{
    std::uint8_t byType = kStationMasterNotReady;
    if (m_eRing == teRingState::ReadyForRing)
        byType = kStationMasterReady;
    else if (m_eRing == teRingState::InRing)
        byType = kStationMasterInRing;
    STelegram answer;
    answer.eFrame = teFrame::Sd1;
    answer.byDa = request.bySa;
    answer.bySa = m_config.byAddress;
    answer.byFc = ResponseFc(RespOk, byType);
    // No answer before the shortest station delay behind the request.
    m_tap.WaitUntil(m_qwLastByteNs + Bits(m_config.bus.dwMinTsdr));
    if (SendTelegram(answer))
        ++m_counters.dwStatusAnswered;
}

void CFdlStation::HandleGapAnswer(const STelegram& telegram)
{
    const std::uint8_t byAsked = m_byAwaitFrom;
    if (telegram.eFrame != teFrame::Sd1 || telegram.byDa != m_config.byAddress ||
        telegram.bySa != byAsked || IsRequestFc(telegram.byFc))
        return; // not the answer: the deadline decides
    m_eAwait = teAwait::Nothing;
    // Bit 7 is reserved; an FDL status is answered with OK alone. A station that says it is in
    // the ring while its predecessor (we) never passed it the token says what cannot be.
    const std::uint8_t byType = telegram.byFc & kFcStationTypeMask;
    if ((telegram.byFc & kFcReserved) != 0 || FcCode(telegram.byFc) != RespOk ||
        byType == kStationMasterInRing)
    {
        ++m_counters.dwBadStatusAnswers;
        m_aeGap[byAsked] = teStationKind::Unknown;
        PassToken(m_las.Successor(m_config.byAddress), false);
        return;
    }
    m_aeGap[byAsked] = StationKindOfFc(telegram.byFc);
    if (byType == kStationMasterReady)
    {
        ++m_counters.dwTakenIn;
        Event("station " + std::to_string(m_config.byAddress) + ": takes master " +
              std::to_string(byAsked) + " into the ring");
        m_aeGap[byAsked] = teStationKind::Unknown;
        m_las.Add(byAsked);
        PassToken(byAsked, false);
        return;
    }
    PassToken(m_las.Successor(m_config.byAddress), false);
}

void CFdlStation::OnDeadline()
{
    const std::uint8_t byTs = m_config.byAddress;
    switch (m_eAwait)
    {
    case teAwait::TokenUse:
        if (m_dwPassTries <= m_config.bus.dwRetryLimit)
        {
            ++m_counters.dwPassRepeats;
            PassToken(m_byAwaitFrom, true);
            return;
        }
        // Never used it: gone from the ring; the next one is tried.
        ++m_counters.dwStationsDropped;
        Event("station " + std::to_string(byTs) + ": master " + std::to_string(m_byAwaitFrom) +
              " does not take the token; dropped from the ring");
        m_las.Remove(m_byAwaitFrom);
        m_eAwait = teAwait::Nothing;
        PassToken(m_las.Successor(byTs), false);
        return;
    case teAwait::GapAnswer:
        m_aeGap[m_byAwaitFrom] = teStationKind::Unknown;
        m_eAwait = teAwait::Nothing;
        PassToken(m_las.Successor(byTs), false);
        return;
    case teAwait::Nothing:
        break;
    }
    if (m_eRing == teRingState::InRing)
    {
        ++m_counters.dwTokensLost;
        Claim("the token is lost: the line was silent for the time-out");
    }
    else
    {
        // A line that stayed silent: nobody else is there, or the ring died.
        m_las.Clear();
        Claim("the line is silent");
    }
}

// ---- holding and passing the token ------------------------------------------------------

void CFdlStation::Claim(const char* pszWhy)
{
    ++m_counters.dwTokensClaimed;
    Event("station " + std::to_string(m_config.byAddress) + ": claims the token: " + pszWhy);
    m_las.Add(m_config.byAddress);
    m_bHaveToken = true;
}

void CFdlStation::HoldToken()
{
    m_bHaveToken = false;
    m_bHolding = true;
    const std::uint8_t byTs = m_config.byAddress;
    const std::uint64_t qwNow = Now();
    ++m_counters.dwTokensReceived;
    std::uint64_t qwRotation = 0;
    if (m_qwLastTokenNs != 0)
    {
        qwRotation = qwNow - m_qwLastTokenNs;
        m_counters.qwLastRotationNs = qwRotation;
        m_counters.qwMaxRotationNs = std::max(m_counters.qwMaxRotationNs, qwRotation);
    }
    m_qwLastTokenNs = qwNow;
    m_las.Add(byTs);
    m_aeGap[byTs] = teStationKind::Unknown;
    if (m_eRing != teRingState::InRing)
        SetRing(teRingState::InRing, "holds the token");

    // The hold time: what the target rotation time leaves of the real rotation.
    const std::uint64_t qwHoldUntil =
        qwNow + (m_qwTargetRotationNs > qwRotation ? m_qwTargetRotationNs - qwRotation : 0);
    m_bInApplication = true;
    for (IFdlApplication* pApplication : m_apApplications)
    {
        if (!pApplication->UseToken(qwHoldUntil))
        {
            if (m_eFault == teStationFault::None)
                m_bLineFailed = true;
            break;
        }
        if (m_eFault != teStationFault::None)
            break;
    }
    m_bInApplication = false;
    // A token heard at the end of the last cycle is judged before ours goes on.
    if (m_bSuspectToken)
    {
        m_tap.WaitUntil(m_qwSuspectQuietAtNs);
        if (m_tap.Drain() < 0)
            m_bLineFailed = true;
    }
    if (m_eFault != teStationFault::None || m_bLineFailed)
    {
        m_bHolding = false;
        return;
    }

    const std::uint8_t bySuccessor = m_las.Successor(byTs);
    if (++m_dwRotationsSinceGap >= std::max<std::uint32_t>(1, m_config.dwGapFactor))
    {
        const std::uint8_t byAsk = NextGapAddress(bySuccessor);
        if (byAsk != byTs)
        {
            m_dwRotationsSinceGap = 0;
            AskGap(byAsk);
            return;
        }
    }
    PassToken(bySuccessor, false);
}

std::uint8_t CFdlStation::NextGapAddress(std::uint8_t bySuccessor)
{
    const std::uint8_t byTs = m_config.byAddress;
    // The gap: the addresses after ours up to the successor (all others when we are alone).
    auto inGap = [&](std::uint8_t by)
    {
        if (by == byTs || by == bySuccessor || by > m_las.HighestAddress())
            return false;
        for (std::uint8_t at = m_las.Next(byTs); at != bySuccessor && at != byTs;
             at = m_las.Next(at))
            if (at == by)
                return true;
        return false;
    };
    std::uint8_t byNext = m_las.Next(m_byGapCursor);
    if (!inGap(byNext))
        byNext = m_las.Next(byTs);
    if (!inGap(byNext))
        return byTs;
    m_byGapCursor = byNext;
    return byNext;
}

void CFdlStation::AskGap(std::uint8_t byAddress)
{
    STelegram request;
    request.eFrame = teFrame::Sd1;
    request.byDa = byAddress;
    request.bySa = m_config.byAddress;
    request.byFc = RequestFc(ReqFdlStatus, false, false);
    WaitForIdle();
    ++m_counters.dwGapPolls;
    if (!SendTelegram(request))
        return;
    m_eAwait = teAwait::GapAnswer;
    m_byAwaitFrom = byAddress;
    m_qwAwaitUntilNs = Now() + kSd1Size * m_qwCharacterNs + m_qwSlotNs;
}

void CFdlStation::PassToken(std::uint8_t byTo, bool bRepeat)
{
    const std::uint8_t byTs = m_config.byAddress;
    m_dwPassTries = bRepeat ? m_dwPassTries + 1 : 1;
    STelegram token;
    token.eFrame = teFrame::Sd4;
    token.byDa = byTo;
    token.bySa = byTs;
    WaitForIdle();
    TraceToken("token passed", token);
    const bool bSent = SendTelegram(token);
    m_bHolding = false;
    if (!bSent)
        return;
    ++m_counters.dwTokensPassed;
    if (byTo == byTs)
    {
        // Alone in the ring: the token comes straight back.
        m_bHaveToken = true;
        m_eAwait = teAwait::Nothing;
        return;
    }
    m_eAwait = teAwait::TokenUse;
    m_byAwaitFrom = byTo;
    m_qwAwaitUntilNs = Now() + kSd4Size * m_qwCharacterNs + m_qwSlotNs;
}

void CFdlStation::WaitForIdle()
{
    // Every telegram follows an idle line: the idle time behind what went before.
    const std::uint64_t qwFree = m_qwLastActivityNs + m_qwIdleNs;
    if (qwFree > Now())
        m_tap.WaitUntil(qwFree);
}

bool CFdlStation::SendTelegram(const STelegram& telegram)
{
    std::uint8_t abyBytes[kMaxTelegramSize];
    const std::size_t nBytes = EncodeTelegram(telegram, abyBytes, sizeof abyBytes);
    if (nBytes == 0)
        return false;
    if (!m_tap.Send(abyBytes, nBytes))
    {
        if (m_eFault == teStationFault::None)
            m_bLineFailed = true;
        return false;
    }
    return true;
}

// ---- saying so --------------------------------------------------------------------------

void CFdlStation::SetRing(teRingState eRing, const std::string& strWhy)
{
    if (m_eRing == eRing || m_eRing == teRingState::Stopped)
        return;
    m_eRing = eRing;
    static const char* const kapszRing[] = {"listening", "ready for the ring", "in the ring",
                                            "stopped"};
    Event("station " + std::to_string(m_config.byAddress) + ": " +
          kapszRing[static_cast<int>(eRing)] + ": " + strWhy);
}

void CFdlStation::SetFault(teStationFault eFault, const std::string& strWhy)
{
    if (m_eFault != teStationFault::None)
        return;
    m_eFault = eFault;
    m_eRing = teRingState::Stopped;
    m_bHaveToken = false;
    m_bHolding = false;
    m_eAwait = teAwait::Nothing;
    Event("station " + std::to_string(m_config.byAddress) + ": stops sending: " + strWhy);
}

void CFdlStation::Event(const std::string& strText)
{
    if (m_pfnEvent)
        m_pfnEvent(strText);
    if (m_pTrace != nullptr && m_pTrace->Wants(kTraceStates))
        m_pTrace->Line(kTraceStates, strText.c_str());
}

void CFdlStation::TraceToken(const char* pszWhat, const STelegram& telegram)
{
    if (m_pTrace == nullptr || !m_pTrace->Wants(kTraceTelegrams))
        return;
    const std::string strLine = std::string("station ") + std::to_string(m_config.byAddress) + " " +
                                pszWhat + ": " + TelegramDecode(telegram) + ": " +
                                TelegramHex(telegram);
    m_pTrace->Line(kTraceTelegrams, strLine.c_str());
}

} // namespace dp
