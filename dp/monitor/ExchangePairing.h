// Which answer on a line belongs to which request, judged by a station that only listens: the
// same judgement as the master's own receive path (dp/master/LineExchange.h), from the times
// the telegrams arrived instead of from the time a request was sent.
//
// An answer is taken for a request when
//   - it begins (its first character is over) within the request's end plus the slot time,
//     the response allowance and one character;
//   - it is a response (bits 7 and 6 of FC clear) from the station asked to the station that
//     asked, or the short acknowledgement E5 where the request may be answered by one and E5
//     is the first thing on the line behind the request;
//   - nothing else came ahead of it in the window (a telegram, or bytes that made none), the
//     line stays quiet behind it for the synchronisation time (33 bits: no station may send
//     sooner after another's telegram), and what comes next is a request or a token (a second
//     response, whenever it comes, may have been the answer). An adapter that hands over what
//     came in bursts (a USB adapter's latency timer) hides the gaps within a burst: a request
//     or token read in one burst with the answer is taken as the next one, whatever its
//     reckoned time; bytes that make no telegram there still leave the answer in doubt.
// Anything else leaves the request in doubt (two answers, bytes right behind the answer,
// garbled bytes around it) or unanswered (nothing in the window); neither brings a value.
#pragma once

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/Telegram.h"

#include <cstdint>

namespace dp
{

struct STimedTelegram
{
    STelegram telegram;
    std::uint64_t qwStartNs = 0; // its first character was over
    std::uint64_t qwEndNs = 0;   // its last character was over
    // It came in one read with the telegram before it: the times are reckoned back from the
    // read's (characters back to back), so the gap between the two is not known.
    bool bSameRead = false;
};

// What the pairing tells its owner.
class IPairingSink
{
public:
    virtual ~IPairingSink() = default;
    // Every request and token, as it comes (SD4, and SD1 to SD3 with the request bit).
    virtual void OnRequest(const STimedTelegram& request) = 0;
    // A response no request on the line was waiting for.
    virtual void OnStrayAnswer(const STimedTelegram& answer) = 0;
    virtual void OnAnswered(const STimedTelegram& request, const STimedTelegram& answer) = 0;
    virtual void OnUnanswered(const STimedTelegram& request) = 0;
    virtual void OnInDoubt(const STimedTelegram& request) = 0;
};

class CExchangePairing
{
public:
    CExchangePairing(const SBusParameters& bus, std::uint32_t dwResponseAllowanceUs,
                     IPairingSink& sink);

    // A telegram off the line, in the order they came.
    void Telegram(const STimedTelegram& timed);
    // Bytes that made no telegram (noise, a check sum wrong, a telegram cut short), the last
    // of them over at qwNs.
    void Trouble(std::uint64_t qwNs);
    // Nothing has come since qwLastByteNs, and it is now qwNowNs; the parser holds no bytes.
    void Quiet(std::uint64_t qwLastByteNs, std::uint64_t qwNowNs);

    // Whether a request waits for its answer, and which station was asked.
    bool Waiting() const { return m_bPending; }
    std::uint8_t StationAsked() const { return m_request.telegram.byDa; }
    // Whether a time lies within the window of the request waiting (from its end to the
    // latest an answer may end, or behind the answer taken until it counts).
    bool InWindow(std::uint64_t qwNs) const;

    // Whether a request is one that a station answers (not SDN, not a broadcast, not a token).
    static bool ExpectsAnswer(const STelegram& request);

private:
    void Resolve();
    void Begin(const STimedTelegram& request);
    bool Acceptable(const STimedTelegram& timed) const;

    IPairingSink& m_sink;
    std::uint64_t m_qwWindowNs;  // from a request's end to the latest an answer may begin
    std::uint64_t m_qwLongestNs; // the longest telegram's characters
    std::uint64_t m_qwQuietNs;   // behind an answer before it counts
    bool m_bPending = false;
    STimedTelegram m_request;
    bool m_bHaveAnswer = false;
    STimedTelegram m_answer;
    bool m_bSomethingAhead = false; // in the window, before any answer
    bool m_bDoubt = false;
};

} // namespace dp
