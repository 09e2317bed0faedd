// One request and its answer on the line, with every wait bounded and an answer taken only when
// it answers the request just sent.
//
// Before a request the line must have been quiet for the synchronisation time (TSYN, and the
// idle time TID1 or TID2 after the last telegram); whatever arrived meanwhile (late answers,
// repetitions, noise, other stations) is dropped and counted. A line that does not go quiet
// within one longest telegram and its answer window is busy: the request is not sent.
//
// After the request, an answer must begin within the request's own characters plus the slot
// time plus the response allowance (what the system and adapter add), and end within its
// longest length's character times plus two characters and the allowance; and it cannot be
// complete before the request, the slave's min TSDR and its own characters could have passed
// (a telegram that is, was on the line while we sent). Taken as the answer:
//   - SD1, SD2 or SD3 from the station asked to this master, as a response (bit 6 clear), with
//     the reserved bit 7 clear and the station type of a slave (of any station where the
//     request is one a master answers as well, FDL status);
//   - the short acknowledgement E5, only where the request may be answered by one, and only as
//     the first thing on the quiet line after the request (the adapter's echo of the request
//     aside) with nothing behind it.
// Everything else counts as no answer. And an answer counts only once the line has stayed quiet
// behind it for the idle time TID1 (the wait the next request needs anyway, so the line is then
// free at once): a second telegram of the station in the window, ahead of the answer or behind
// it, or any byte right behind it, leaves which of them answers in doubt, and the request counts
// as unanswered (it is repeated like any other).
//
// An answer taken is still watched: until the window of the next request has closed (whoever it
// went to), a telegram of its station to this master that is not taken as an answer (in the wait
// for a quiet line, in the next window ahead of or behind an answer, another station's window)
// shows that the station said more than it was asked: a stray may have been taken for the answer
// and the genuine answer come behind it, later than the quiet time. The verdict on the watched
// answer (TakeWatchVerdict) tells the owner whether what it brought may be shown; a doubted one
// counts as an answer in doubt. The watch reads nothing that would not be read anyway and adds no
// wait: it parses what the wait for a quiet line drops.
#pragma once

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/Telegram.h"
#include "dp/fdl/TelegramParser.h"
#include "dp/line/DpLine.h"
#include "dp/master/BusTrace.h"

#include <cstddef>
#include <cstdint>

namespace dp
{

// What the request lets its answer be.
struct SExpectation
{
    bool bShortAck = false;         // the short acknowledgement may answer it
    std::size_t nLongestAnswer = 6; // bytes of the longest answer on the wire (bounds the wait)
    // A master may answer it too (FDL status): any station type, not only a slave's.
    bool bAnyStationType = false;
    // Bytes of the answer a slave that does as asked sends, when known (0: not known): the
    // first look at the line goes when that answer could be complete, so that one wake-up
    // takes it whole. Any other answer is still taken, a look later.
    std::size_t nUsualAnswer = 0;
};

// The verdict on an answer taken, once the window of the request after it has closed.
enum class teWatch : std::uint8_t
{
    None,      // no answer watched, or no window has closed behind it yet
    Confirmed, // its station sent nothing more to us
    Doubted    // it did: which of its telegrams answered is not known
};

enum class teOutcome : std::uint8_t
{
    Answered,
    NoAnswer,  // nothing acceptable in time
    LineBusy,  // the line never went quiet: the request was not sent
    LineFailed // the port failed
};

struct SLineCounters
{
    std::uint32_t dwRequests = 0;
    std::uint32_t dwDroppedBytes = 0;   // arrived while no answer was awaited
    std::uint32_t dwEchoes = 0;         // own telegrams read back (half-duplex adapters)
    std::uint32_t dwForeign = 0;        // telegrams of other stations, or not to us
    std::uint32_t dwInvalidAnswers = 0; // from the station asked, but no valid response
    std::uint32_t dwStrayShortAcks = 0; // E5 where none could answer, or not first
    std::uint32_t dwBusyLine = 0;       // requests held back by a line that never went quiet
    // Two answers in one window, bytes right behind one, or a telegram of its station to us
    // before the next window closed.
    std::uint32_t dwAnswersInDoubt = 0;
};

class CLineExchange
{
public:
    CLineExchange(IDpLine& line, const SBusParameters& bus, std::uint32_t dwResponseAllowanceUs,
                  std::uint8_t byMasterAddress);

    // Waits for a quiet line, sends the request and waits for its answer.
    teOutcome Transact(const STelegram& request, const SExpectation& expectation,
                       STelegram& answer);

    // The verdict on the answer taken before the last request, given once: None until the
    // last request's window has closed (a request held back by a busy line closes none).
    teWatch TakeWatchVerdict();

    // Sends a telegram nobody answers (a broadcast): the line is then the others' for TID2.
    teOutcome SendUnanswered(const STelegram& telegram);

    // The longest one Transact can take, for a request of so many bytes.
    std::uint64_t TransactBoundNs(std::size_t nRequestBytes, std::size_t nLongestAnswer) const;
    // Of that, the longest wait for a quiet line before the request (a line busy longer ends
    // the request unsent).
    std::uint64_t QuietBoundNs() const { return m_qwQuietBoundNs; }

    // Every telegram sent and seen goes to the trace, when its level lets telegrams pass.
    void SetTrace(IBusTrace* pTrace) { m_pTrace = pTrace; }

    const SLineCounters& Counters() const { return m_counters; }
    const SParserCounters& ParserCounters() const { return m_parser.Counters(); }

private:
    teOutcome WaitForQuietLine();
    teOutcome Send(const std::uint8_t* pbyBytes, std::size_t nCount);
    // The answer window after a request: looks at the line until an answer has been taken
    // behind a quiet line, or none can come any more.
    teOutcome Receive(std::size_t nRequestBytes, const STelegram& request,
                      const SExpectation& expectation, STelegram& answer);
    struct SWindow;
    // Its times, from the request sent.
    void OpenWindow(SWindow& window, std::size_t nRequestBytes) const;
    // What the time says before the next look; true with the outcome when the window is over.
    bool WindowOver(SWindow& window, std::uint64_t qwNow, STelegram& answer, teOutcome& eOutcome);
    // When the next look ends, and the wait on the clock before it (no wake-up per character).
    std::uint64_t LookDeadline(const SWindow& window) const;
    // True when it waited: bytes may be there.
    bool WaitBeforeLook(SWindow& window, std::uint64_t qwNow, std::uint64_t qwDeadline);
    std::size_t CharactersToComeInWindow(const SWindow& window) const;
    // A look that found the line quiet, and one that brought bytes; true with the outcome when
    // the window is over.
    bool TakeGap(SWindow& window, teOutcome& eOutcome);
    bool TakeBytes(SWindow& window, teOutcome& eOutcome);
    // A telegram off the line, judged; true when the answer is in doubt.
    bool TakeTelegram(SWindow& window, const STelegram& telegram, std::size_t nBehind);
    // Whether a telegram was complete before an answer could have been.
    bool TooEarly(const SWindow& window, const STelegram& telegram, std::size_t nBehind) const;
    // The end of the window: the rest of the line dropped, the line free after TID1.
    void CloseWindow(SWindow& window, std::size_t nBehind);
    teOutcome CloseInDoubt(SWindow& window, std::size_t nBehind);
    enum class teVerdict : std::uint8_t
    {
        Answer,
        Echo,
        Foreign,
        Invalid,
        StrayAck,
        TooEarly
    };
    // The trace's word for a verdict.
    static const char* VerdictText(teVerdict eVerdict);
    // What a telegram off the line is to the request; counted, and traced.
    teVerdict Judge(const STelegram& telegram, const STelegram& request,
                    const SExpectation& expectation, bool bFirstOnLine, bool bLastByte,
                    bool bTooEarly);
    void TraceTelegram(const char* pszWhat, const STelegram& telegram, std::uint8_t byStation);
    bool Watching() const { return m_byWatched != kNoStation; }
    // A telegram that is no answer, seen while an answer is watched.
    void Watch(const STelegram& telegram);
    // Bytes read that no window judges, parsed for the watch.
    void WatchBytes(const std::uint8_t* pbyBytes, std::size_t nCount);
    // The window after the watched answer has closed: the verdict falls.
    void CloseWatch();
    std::uint64_t Bits(std::uint64_t qwBits) const;

    IDpLine& m_line;
    SBusParameters m_bus;
    std::uint64_t m_qwAllowanceNs;
    std::uint8_t m_byMasterAddress;
    std::uint64_t m_qwCharacterNs;
    std::uint64_t m_qwSyncNs;
    std::uint64_t m_qwQuietBoundNs;
    std::uint64_t m_qwAnswerQuietNs;    // behind an answer before it counts
    std::uint64_t m_qwLineFreeAtNs = 0; // idle time after the last telegram
    std::uint64_t m_qwLastByteNs = 0;   // when the line last carried a byte we saw
    std::uint64_t m_qwSendStartNs = 0;  // when the last request was handed to the line
    static constexpr std::uint8_t kNoStation = 0xFF;
    std::uint8_t m_byWatched = kNoStation; // the station of the answer watched
    bool m_bWatchedInDoubt = false;
    bool m_bCloseWatchAtSend = false; // a telegram begun in the window ends in the quiet wait
    teWatch m_eVerdict = teWatch::None;
    CTelegramParser m_parser;
    SLineCounters m_counters;
    IBusTrace* m_pTrace = nullptr;
};

} // namespace dp
