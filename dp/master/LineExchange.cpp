#include "dp/master/LineExchange.h"

#include "dp/fdl/FunctionCodes.h"
#include "dp/fdl/TelegramText.h"

#include "platform/Clock.h"

#include <algorithm>
#include <string>

namespace dp
{

namespace
{

// Characters of slack after an answer's last expected character: the line's own gap rule (the
// characters of a telegram follow without a gap) with one character to spare.
constexpr std::uint64_t kSlackCharacters = 2;

// A wake-up costs more CPU than the exchange's own work, so an answer is not read character by
// character as a real line delivers it: the first look goes when the usual answer (or, where
// that is not known, the shortest the request allows) could be complete, and a telegram begun
// is looked at again only when its header says it could be complete. Neither look goes past
// the end of an answer that came at the line's pace: the quiet behind it is timed from there.
// Below this a wait would be waited out on the clock: a look then costs more than it saves.
constexpr std::uint64_t kShortestFirstLookNs = 20000;

// The characters of a telegram still to come behind the nHave bytes of it seen (byFirst and
// bySecond its first two, the second only when nHave > 1); 0 when its start says nothing of
// its length.
std::size_t CharactersToCome(std::uint8_t byFirst, std::uint8_t bySecond, std::size_t nHave)
{
    std::size_t nSize = 0;
    switch (byFirst)
    {
    case kSd1:
        nSize = TelegramSize(teFrame::Sd1, 0);
        break;
    case kSd3:
        nSize = TelegramSize(teFrame::Sd3, kSd3DataUnits);
        break;
    case kSd4:
        nSize = TelegramSize(teFrame::Sd4, 0);
        break;
    case kSd2:
        // Until its length byte has come, an SD2 is at least as long as one without data.
        if (nHave < 2)
            nSize = TelegramSize(teFrame::Sd2, 0);
        else if (bySecond >= 3 && bySecond <= 3 + kMaxDataUnits)
            nSize = TelegramSize(teFrame::Sd2, bySecond - 3u);
        break;
    default:
        break;
    }
    return nSize > nHave ? nSize - nHave : 0;
}

std::uint32_t ParserTroubles(const SParserCounters& counters)
{
    return counters.dwSkippedBytes + counters.dwBadCheckSums + counters.dwBadFrames +
           counters.dwTruncated;
}

bool IsSlaveResponseFc(std::uint8_t byFc)
{
    // Bit 7 is reserved and bit 6 marks a request; bits 5-4 give the answering station's type.
    return (byFc & (kFcReserved | kFcRequest)) == 0 && (byFc & kFcStationTypeMask) == kStationSlave;
}

bool IsResponseFc(std::uint8_t byFc, bool bAnyStationType)
{
    return bAnyStationType ? (byFc & (kFcReserved | kFcRequest)) == 0 : IsSlaveResponseFc(byFc);
}

} // namespace

CLineExchange::CLineExchange(IDpLine& line, const SBusParameters& bus,
                             std::uint32_t dwResponseAllowanceUs, std::uint8_t byMasterAddress)
    : m_line(line), m_bus(bus), m_qwAllowanceNs(dwResponseAllowanceUs * 1000ull),
      m_byMasterAddress(byMasterAddress)
{
    m_qwCharacterNs = Bits(kBitsPerCharacter);
    m_qwSyncNs = Bits(kSyncBits);
    // A byte shows only once its character is over: what begins within the idle time behind an
    // answer shows within the idle time and a character (and one to spare).
    m_qwAnswerQuietNs = Bits(IdleTime1Bits(m_bus) + kSlackCharacters * kBitsPerCharacter);
    // Long enough for any other station's longest telegram and its answer to pass.
    m_qwQuietBoundNs = Bits((kMaxTelegramSize + kSlackCharacters) * kBitsPerCharacter +
                            m_bus.dwSlotTime + IdleTime2Bits(m_bus)) +
                       m_qwAllowanceNs;
}

std::uint64_t CLineExchange::Bits(std::uint64_t qwBits) const
{
    return BitsToNanoseconds(qwBits, m_bus.dwBaudRate);
}

std::uint64_t CLineExchange::TransactBoundNs(std::size_t nRequestBytes,
                                             std::size_t nLongestAnswer) const
{
    return m_qwQuietBoundNs + m_qwSyncNs +
           Bits(nRequestBytes * kBitsPerCharacter + m_bus.dwSlotTime) + m_qwAllowanceNs +
           Bits((nLongestAnswer + kSlackCharacters) * kBitsPerCharacter) + m_qwAllowanceNs +
           m_qwAnswerQuietNs;
}

// Answered here means: the line is quiet, a request may go.
teOutcome CLineExchange::WaitForQuietLine()
{
    const std::uint64_t qwBound = platform::ReadMonotonicNs() + m_qwQuietBoundNs;
    std::uint8_t abyBuffer[256];
    for (;;)
    {
        const std::uint64_t qwNow = platform::ReadMonotonicNs();
        const std::uint64_t qwQuietAt = std::max(m_qwLineFreeAtNs, m_qwLastByteNs + m_qwSyncNs);
        long nRead = 0;
        if (qwQuietAt <= qwNow)
        {
            // Quiet as far as we watched; what came while nobody watched is dropped (read,
            // while an answer is watched), and then the line must be quiet for the
            // synchronisation time once more.
            nRead =
                Watching() ? m_line.Receive(abyBuffer, sizeof abyBuffer, qwNow) : m_line.Drain();
            if (nRead == 0)
                return teOutcome::Answered;
        }
        else
        {
            nRead = m_line.Receive(abyBuffer, sizeof abyBuffer, std::min(qwQuietAt, qwBound));
            if (nRead == 0 && platform::ReadMonotonicNs() >= qwQuietAt)
                return teOutcome::Answered;
        }
        if (nRead < 0)
            return teOutcome::LineFailed;
        if (nRead > 0)
        {
            m_counters.dwDroppedBytes += static_cast<std::uint32_t>(nRead);
            m_qwLastByteNs = platform::ReadMonotonicNs();
            WatchBytes(abyBuffer, static_cast<std::size_t>(nRead));
        }
        if (platform::ReadMonotonicNs() >= qwBound)
        {
            ++m_counters.dwBusyLine;
            return teOutcome::LineBusy;
        }
    }
}

teOutcome CLineExchange::Send(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    const teOutcome eQuiet = WaitForQuietLine();
    if (Watching())
    {
        // A telegram begun in the parser has ended by now (or the line is busy).
        m_parser.TakeEachOnIdle(
            [this](const STelegram& telegram, std::size_t)
            {
                Watch(telegram);
                return false;
            });
        if (m_bCloseWatchAtSend)
            CloseWatch();
    }
    if (eQuiet != teOutcome::Answered)
        return eQuiet;
    m_parser.Reset();
    // The request leaves the line no earlier than its characters after this.
    m_qwSendStartNs = platform::ReadMonotonicNs();
    return m_line.Send(pbyBytes, nCount) ? teOutcome::Answered : teOutcome::LineFailed;
}

teOutcome CLineExchange::SendUnanswered(const STelegram& telegram)
{
    std::uint8_t abyBytes[kMaxTelegramSize];
    const std::size_t nBytes = EncodeTelegram(telegram, abyBytes, sizeof abyBytes);
    if (nBytes == 0)
        return teOutcome::LineFailed;
    TraceTelegram("request", telegram, telegram.byDa);
    const teOutcome eSent = Send(abyBytes, nBytes);
    if (eSent != teOutcome::Answered)
        return eSent;
    // Nobody answers: the line is free after the telegram and TID2.
    m_qwLineFreeAtNs =
        platform::ReadMonotonicNs() + Bits(nBytes * kBitsPerCharacter + IdleTime2Bits(m_bus));
    return teOutcome::NoAnswer;
}

teOutcome CLineExchange::Transact(const STelegram& request, const SExpectation& expectation,
                                  STelegram& answer)
{
    std::uint8_t abyBytes[kMaxTelegramSize];
    const std::size_t nBytes = EncodeTelegram(request, abyBytes, sizeof abyBytes);
    if (nBytes == 0)
        return teOutcome::LineFailed;
    ++m_counters.dwRequests;
    TraceTelegram("request", request, request.byDa);
    const teOutcome eSent = Send(abyBytes, nBytes);
    if (eSent != teOutcome::Answered)
        return eSent;
    const teOutcome eOutcome = Receive(nBytes, request, expectation, answer);
    // A telegram begun in the window is watched to its end, which the next wait for a quiet
    // line reads.
    if (Watching() && eOutcome != teOutcome::Answered && m_parser.BufferedBytes() > 0)
        m_bCloseWatchAtSend = true;
    else
        CloseWatch();
    // The answer is watched from here until the next request's window has closed.
    if (eOutcome == teOutcome::Answered)
        m_byWatched = request.byDa;
    return eOutcome;
}

teWatch CLineExchange::TakeWatchVerdict()
{
    const teWatch eVerdict = m_eVerdict;
    m_eVerdict = teWatch::None;
    return eVerdict;
}

void CLineExchange::Watch(const STelegram& telegram)
{
    // E5 names no station; a token or a request is no answer of a slave's.
    if (telegram.eFrame == teFrame::ShortAck || telegram.eFrame == teFrame::Sd4)
        return;
    if (telegram.bySa == m_byWatched && telegram.byDa == m_byMasterAddress)
        m_bWatchedInDoubt = true;
}

void CLineExchange::WatchBytes(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    if (!Watching())
        return;
    m_parser.FeedEach(pbyBytes, nCount,
                      [this](const STelegram& telegram, std::size_t)
                      {
                          Watch(telegram);
                          return false;
                      });
}

void CLineExchange::CloseWatch()
{
    if (!Watching())
        return;
    m_eVerdict = m_bWatchedInDoubt ? teWatch::Doubted : teWatch::Confirmed;
    if (m_bWatchedInDoubt)
        ++m_counters.dwAnswersInDoubt;
    m_byWatched = kNoStation;
    m_bWatchedInDoubt = false;
    m_bCloseWatchAtSend = false;
}

// The trace's word for what a telegram off the line was to the request.
const char* CLineExchange::VerdictText(teVerdict eVerdict)
{
    switch (eVerdict)
    {
    case teVerdict::Answer:
        return "answer";
    case teVerdict::Echo:
        return "echo";
    case teVerdict::Foreign:
        return "other station";
    case teVerdict::Invalid:
        return "invalid answer";
    case teVerdict::StrayAck:
        return "stray E5";
    case teVerdict::TooEarly:
        return "before any answer could be";
    }
    return "?";
}

CLineExchange::teVerdict CLineExchange::Judge(const STelegram& telegram, const STelegram& request,
                                              const SExpectation& expectation, bool bFirstOnLine,
                                              bool bLastByte, bool bTooEarly)
{
    const bool bEcho = (telegram.eFrame == teFrame::Sd4 ||
                        (telegram.eFrame != teFrame::ShortAck && IsRequestFc(telegram.byFc))) &&
                       SameTelegram(telegram, request);
    teVerdict eVerdict = teVerdict::Answer;
    if (bEcho)
        eVerdict = teVerdict::Echo;
    else if (bTooEarly)
        eVerdict = teVerdict::TooEarly;
    else if (telegram.eFrame == teFrame::ShortAck)
        eVerdict = expectation.bShortAck && bFirstOnLine && bLastByte ? teVerdict::Answer
                                                                      : teVerdict::StrayAck;
    else if (telegram.eFrame == teFrame::Sd4 || IsRequestFc(telegram.byFc) ||
             telegram.byDa != m_byMasterAddress || telegram.bySa != request.byDa)
        eVerdict = teVerdict::Foreign;
    else if (!IsResponseFc(telegram.byFc, expectation.bAnyStationType))
        eVerdict = teVerdict::Invalid;

    TraceTelegram(VerdictText(eVerdict), telegram, request.byDa);
    if (eVerdict != teVerdict::Answer)
        Watch(telegram);
    switch (eVerdict)
    {
    case teVerdict::Answer:
        break;
    case teVerdict::Echo:
        ++m_counters.dwEchoes;
        break;
    case teVerdict::Foreign:
    case teVerdict::TooEarly:
        ++m_counters.dwForeign;
        break;
    case teVerdict::Invalid:
        ++m_counters.dwInvalidAnswers;
        break;
    case teVerdict::StrayAck:
        ++m_counters.dwStrayShortAcks;
        break;
    }
    return eVerdict;
}

void CLineExchange::TraceTelegram(const char* pszWhat, const STelegram& telegram,
                                  std::uint8_t byStation)
{
    if (m_pTrace == nullptr || !m_pTrace->Wants(kTraceTelegrams))
        return;
    // A window takes 255 characters a line, its time stamp and word included: the bytes go 32
    // to a line, which leaves room for the longest head.
    const std::string strStation =
        byStation == kBroadcastAddress ? "all slaves" : "slave " + std::to_string(byStation);
    const std::string strHead = strStation + " " + pszWhat + ": " + TelegramDecode(telegram) + ":";
    const std::string strHex = TelegramHex(telegram);
    const std::size_t nPerLine = 32 * 3;
    for (std::size_t nAt = 0; nAt == 0 || nAt < strHex.size(); nAt += nPerLine)
    {
        const std::string strLine =
            (nAt == 0 ? strHead : strStation + " ... +" + std::to_string(nAt / 3) + ":") + " " +
            strHex.substr(nAt, nPerLine - 1);
        m_pTrace->Line(kTraceTelegrams, strLine.c_str());
    }
}

// One answer window: what the request lets its answer be, the window's times, and what the line
// has brought so far.
struct CLineExchange::SWindow
{
    SWindow(const STelegram& requestSent, const SExpectation& expected)
        : request(requestSent), expectation(expected)
    {
    }

    const STelegram& request;
    const SExpectation& expectation;
    std::uint64_t qwBeginBy = 0;    // no answer begins later
    std::uint64_t qwEndBy = 0;      // nor ends later
    std::uint64_t qwGapNs = 0;      // the longest gap between an answer's characters
    std::uint64_t qwAnswerFrom = 0; // no answer is complete before its characters after this
    std::uint64_t qwFirstLook = 0;  // when the usual answer could be complete
    bool bFirstLook = true;
    std::uint32_t dwTroublesBefore = 0;   // the parser's troubles when the window opened
    std::uint32_t dwTroublesAtAnswer = 0; // and when the answer was taken
    bool bOnlyEchoes = true;              // nothing but our own request has come back so far
    // Nothing in the window yet but our own request and what was on the line while we sent
    // it: anything else ahead of an answer (a telegram, noise, a telegram spoilt) may have been
    // the answer, so which one answers the request is not known.
    bool bNothingAhead = true;
    bool bHaveAnswer = false;
    bool bIdle = false; // the line has gone quiet behind what the parser holds
    STelegram candidate;
    // The last read.
    std::uint8_t abyRead[512] = {};
    std::size_t nRead = 0;
    // The bytes fed to the parser, as far back as a telegram reaches: what it holds is their
    // tail, and its first bytes say how much of it is still to come.
    std::uint8_t abyFed[256] = {};
    std::size_t nFed = 0;
    static_assert(sizeof abyFed >= kMaxTelegramSize);
};

void CLineExchange::OpenWindow(SWindow& window, std::size_t nRequestBytes) const
{
    const std::uint64_t qwSent = platform::ReadMonotonicNs();
    // The request is on the wire until its last character; then the slot time runs.
    window.qwBeginBy =
        qwSent + Bits(nRequestBytes * kBitsPerCharacter + m_bus.dwSlotTime) + m_qwAllowanceNs;
    window.qwEndBy =
        window.qwBeginBy +
        Bits((window.expectation.nLongestAnswer + kSlackCharacters) * kBitsPerCharacter) +
        m_qwAllowanceNs;
    window.qwGapNs = kSlackCharacters * m_qwCharacterNs + m_qwAllowanceNs;
    window.dwTroublesBefore = ParserTroubles(m_parser.Counters());
    // An answer follows the whole request and the slave's shortest station delay: a telegram
    // already complete before its own characters could have followed is none (it was on the
    // line while we sent, a collision).
    window.qwAnswerFrom =
        m_qwSendStartNs + Bits(nRequestBytes * kBitsPerCharacter + m_bus.dwMinTsdr);
    const std::size_t nShortest = window.expectation.bShortAck ? 1 : TelegramSize(teFrame::Sd1, 0);
    window.qwFirstLook =
        (m_line.Paced() ? window.qwAnswerFrom : m_qwSendStartNs + Bits(m_bus.dwMinTsdr)) +
        std::max(nShortest, window.expectation.nUsualAnswer) * m_qwCharacterNs;
}

// Bytes read together with a telegram, behind it, came after it: on a line where characters
// take their time it was complete that many characters before they were read.
bool CLineExchange::TooEarly(const SWindow& window, const STelegram& telegram,
                             std::size_t nBehind) const
{
    const std::size_t nSize = telegram.eFrame == teFrame::ShortAck
                                  ? 1
                                  : TelegramSize(telegram.eFrame, telegram.DataUnits());
    const std::uint64_t qwNow = platform::ReadMonotonicNs();
    const std::uint64_t qwComplete =
        qwNow - std::min<std::uint64_t>(qwNow, nBehind * m_qwCharacterNs);
    return qwComplete < window.qwAnswerFrom + Bits(nSize * kBitsPerCharacter);
}

// Judges each telegram the parser takes (nBehind: the bytes of the read not fed yet); true when
// the answer is in doubt. On a line gone idle, what is left is judged when it is taken.
bool CLineExchange::TakeTelegram(SWindow& window, const STelegram& telegram, std::size_t nBehind)
{
    if (window.bHaveAnswer)
    {
        Watch(telegram);
        return true; // a telegram right behind the answer
    }
    const bool bClean = ParserTroubles(m_parser.Counters()) == window.dwTroublesBefore;
    const bool bLast = nBehind == 0 && m_parser.BufferedBytes() == 0;
    const bool bTooEarly = m_line.Paced() && TooEarly(window, telegram, nBehind);
    const teVerdict eVerdict = Judge(telegram, window.request, window.expectation,
                                     window.bOnlyEchoes && bClean, bLast, bTooEarly);
    if (eVerdict == teVerdict::Answer)
    {
        window.candidate = telegram;
        window.bHaveAnswer = true;
        window.dwTroublesAtAnswer = ParserTroubles(m_parser.Counters());
        // Something ahead of it in the window, or bytes right behind it in the same read.
        return !window.bNothingAhead || !bClean || (!window.bIdle && !bLast);
    }
    window.bOnlyEchoes = window.bOnlyEchoes && eVerdict == teVerdict::Echo;
    window.bNothingAhead =
        window.bNothingAhead && (eVerdict == teVerdict::Echo || eVerdict == teVerdict::TooEarly);
    return false;
}

// Whatever else is on the line is dropped as the line's (nBehind: the last read's bytes not
// fed); the line is free after the idle time behind the last byte, which the answer has already
// waited out.
void CLineExchange::CloseWindow(SWindow& window, std::size_t nBehind)
{
    m_counters.dwDroppedBytes += static_cast<std::uint32_t>(nBehind + m_parser.BufferedBytes());
    WatchBytes(window.abyRead + (window.nRead - nBehind), nBehind);
    // A telegram begun is watched to its end (see Transact); otherwise the search for the next
    // request's answer starts afresh.
    if (!Watching())
        m_parser.Reset();
    m_qwLineFreeAtNs = m_qwLastByteNs + Bits(IdleTime1Bits(m_bus));
}

// Two answers, or bytes right behind one: whichever is taken may be the wrong one, so none is;
// the request counts as unanswered and is repeated like any other.
teOutcome CLineExchange::CloseInDoubt(SWindow& window, std::size_t nBehind)
{
    ++m_counters.dwAnswersInDoubt;
    TraceTelegram("answer in doubt", window.candidate, window.request.byDa);
    CloseWindow(window, nBehind);
    return teOutcome::NoAnswer;
}

// What the time says before the next look at the line: true with the outcome when the window
// is over.
bool CLineExchange::WindowOver(SWindow& window, std::uint64_t qwNow, STelegram& answer,
                               teOutcome& eOutcome)
{
    if (window.bHaveAnswer)
    {
        // Bytes the parser gave up behind the answer came right behind it, too.
        if (m_parser.BufferedBytes() > 0 ||
            ParserTroubles(m_parser.Counters()) != window.dwTroublesAtAnswer)
        {
            eOutcome = CloseInDoubt(window, 0);
            return true;
        }
        // An answer counts once the line has stayed quiet behind it for the idle time: the
        // same wait the next request needs, so it costs the bus nothing.
        if (qwNow < m_qwLastByteNs + m_qwAnswerQuietNs)
            return false;
        answer = window.candidate;
        CloseWindow(window, 0);
        eOutcome = teOutcome::Answered;
        return true;
    }
    // No answer begins after its time; one begun must go on without a gap.
    if (m_parser.BufferedBytes() == 0 && qwNow >= window.qwBeginBy)
    {
        eOutcome = teOutcome::NoAnswer;
        return true;
    }
    return false;
}

// The end of the next look: the quiet behind the answer, the gap allowed within a telegram
// begun, or the time the answer must begin by.
std::uint64_t CLineExchange::LookDeadline(const SWindow& window) const
{
    if (window.bHaveAnswer)
        return m_qwLastByteNs + m_qwAnswerQuietNs;
    if (m_parser.BufferedBytes() > 0)
        return std::min(window.qwEndBy, m_qwLastByteNs + window.qwGapNs);
    return window.qwBeginBy;
}

// The characters of the telegram the parser holds that are still to come.
std::size_t CLineExchange::CharactersToComeInWindow(const SWindow& window) const
{
    const std::size_t nHave = m_parser.BufferedBytes();
    if (nHave == 0 || nHave > window.nFed)
        return 0;
    const std::size_t nHead = window.nFed - nHave;
    return CharactersToCome(window.abyFed[nHead % sizeof window.abyFed],
                            window.abyFed[(nHead + 1) % sizeof window.abyFed], nHave);
}

// The waits end before the deadlines that judge the line, so what came meanwhile is read before
// anything is judged by them.
bool CLineExchange::WaitBeforeLook(SWindow& window, std::uint64_t qwNow, std::uint64_t qwDeadline)
{
    // Quiet behind the answer: the look itself waits for its end. On a quiet line that is one
    // wake-up and no read; a byte there wakes it early and ends the exchange in doubt.
    if (window.bHaveAnswer)
        return false;
    if (m_parser.BufferedBytes() == 0)
    {
        if (!window.bFirstLook)
            return false;
        window.bFirstLook = false;
        if (window.qwFirstLook <= qwNow + kShortestFirstLookNs || window.qwFirstLook >= qwDeadline)
            return false;
        m_line.WaitUntil(window.qwFirstLook);
        return true;
    }
    const std::uint64_t qwComplete =
        m_qwLastByteNs + CharactersToComeInWindow(window) * m_qwCharacterNs;
    if (qwComplete <= qwNow)
        return false;
    m_line.WaitUntil(std::min(qwComplete, qwDeadline));
    return true;
}

// A look found the line quiet: what is buffered is no telegram, and the search goes on behind
// it. True with the outcome when the window is over.
bool CLineExchange::TakeGap(SWindow& window, teOutcome& eOutcome)
{
    window.bIdle = true;
    const bool bInDoubt =
        m_parser.BufferedBytes() > 0 &&
        m_parser.TakeEachOnIdle([this, &window](const STelegram& telegram, std::size_t nBehind)
                                { return TakeTelegram(window, telegram, nBehind); });
    window.bIdle = false;
    if (bInDoubt)
    {
        eOutcome = CloseInDoubt(window, 0);
        return true;
    }
    if (!window.bHaveAnswer && platform::ReadMonotonicNs() >= window.qwEndBy)
    {
        eOutcome = teOutcome::NoAnswer;
        return true;
    }
    return false;
}

// A look brought bytes: each telegram they complete is judged. True with the outcome when the
// window is over.
bool CLineExchange::TakeBytes(SWindow& window, teOutcome& eOutcome)
{
    m_qwLastByteNs = platform::ReadMonotonicNs();
    if (window.bHaveAnswer)
    {
        eOutcome = CloseInDoubt(window, window.nRead);
        return true;
    }
    for (std::size_t i = 0; i < window.nRead; ++i)
        window.abyFed[window.nFed++ % sizeof window.abyFed] = window.abyRead[i];
    const auto fed =
        m_parser.FeedEach(window.abyRead, window.nRead,
                          [this, &window](const STelegram& telegram, std::size_t nBehind)
                          { return TakeTelegram(window, telegram, nBehind); });
    if (fed.bStopped)
    {
        eOutcome = CloseInDoubt(window, window.nRead - fed.nConsumed);
        return true;
    }
    if (!window.bHaveAnswer && m_qwLastByteNs >= window.qwEndBy)
    {
        eOutcome = teOutcome::NoAnswer;
        return true;
    }
    return false;
}

teOutcome CLineExchange::Receive(std::size_t nRequestBytes, const STelegram& request,
                                 const SExpectation& expectation, STelegram& answer)
{
    SWindow window(request, expectation);
    OpenWindow(window, nRequestBytes);
    teOutcome eOutcome = teOutcome::NoAnswer;
    for (;;)
    {
        const std::uint64_t qwNow = platform::ReadMonotonicNs();
        if (WindowOver(window, qwNow, answer, eOutcome))
            return eOutcome;
        const std::uint64_t qwDeadline = LookDeadline(window);
        // After a wait to when bytes could be there, they are read at once, without a poll.
        long nRead = 0;
        if (WaitBeforeLook(window, qwNow, qwDeadline))
            nRead =
                m_line.Receive(window.abyRead, sizeof window.abyRead, platform::ReadMonotonicNs());
        if (nRead == 0)
            nRead = m_line.Receive(window.abyRead, sizeof window.abyRead, qwDeadline);
        if (nRead < 0)
            return teOutcome::LineFailed;
        window.nRead = static_cast<std::size_t>(nRead);
        if (nRead == 0 ? TakeGap(window, eOutcome) : TakeBytes(window, eOutcome))
            return eOutcome;
    }
}

} // namespace dp
