// Finds telegrams in whatever comes off the line: noise, truncated telegrams, wrong lengths,
// wrong check sums, the echo of our own telegrams. Bytes go in as they arrive; each complete,
// valid telegram comes out once. A candidate that fails any check (second length, second SD2,
// check sum, end delimiter, address range) costs only its first byte: the search goes on from
// the next byte, so a good telegram behind garbage is still found.
#pragma once

#include "dp/fdl/Telegram.h"

#include <cstddef>
#include <cstdint>

namespace dp
{

struct SParserCounters
{
    std::uint32_t dwTelegrams = 0;
    std::uint32_t dwSkippedBytes = 0; // bytes that began no valid telegram
    std::uint32_t dwBadCheckSums = 0;
    std::uint32_t dwBadFrames = 0; // lengths, delimiters, addresses
    std::uint32_t dwTruncated = 0; // candidates cut short by an idle line
};

class CTelegramParser
{
public:
    // Takes bytes; returns how many it consumed (at most nCount). Stops consuming right after
    // a complete telegram, which Take() then hands out; call again with the rest.
    std::size_t Feed(const std::uint8_t* pbyBytes, std::size_t nCount);

    // The telegram found by the last Feed, once; false when there is none.
    bool Take(STelegram& telegram);

    // The line went idle: no byte comes for a telegram begun in the buffer (characters of a
    // telegram follow each other without a gap), so a candidate still waiting for bytes is
    // given up and the search goes on behind its delimiter. True when that found a telegram
    // (Take it, then call again: there may be more).
    bool NoteIdle();

    // Forgets buffered bytes, as after a line idle: the next byte starts afresh.
    void Reset();

    // The loop every reader of the line runs, master and slave alike: feeds the bytes of one
    // read and hands each telegram taken to handler(telegram, nBehind), where nBehind counts
    // the read's bytes behind the telegram not fed yet (0: it ended the read). The handler
    // returns true to stop there, as a master does at its answer: the bytes behind are left
    // unfed and the parser keeps what it had buffered before them.
    struct SFeedResult
    {
        std::size_t nConsumed = 0; // the read's bytes fed
        bool bStopped = false;     // the handler stopped the feed
    };
    template <typename Handler>
    SFeedResult FeedEach(const std::uint8_t* pbyBytes, std::size_t nCount, Handler&& handler);

    // The same after the line went idle (see NoteIdle): every telegram the buffered bytes
    // still hold goes to handler(telegram, 0), until it returns true. True when it did.
    template <typename Handler> bool TakeEachOnIdle(Handler&& handler);

    std::size_t BufferedBytes() const { return m_nBuffered; }
    const SParserCounters& Counters() const { return m_counters; }

private:
    enum class teCheck
    {
        NeedMore,
        Invalid,
        Complete
    };
    teCheck CheckCandidate(std::size_t& nSize);
    void Scan(bool bIdle);
    void Decode(std::size_t nSize);
    void DropFront(std::size_t nCount);
    // Drops bytes until the buffer starts with a start delimiter.
    void SkipToDelimiter();

    std::uint8_t m_abyBuffer[kMaxTelegramSize] = {};
    std::size_t m_nBuffered = 0;
    bool m_bReady = false;
    STelegram m_telegram;
    SParserCounters m_counters;
};

template <typename Handler>
CTelegramParser::SFeedResult CTelegramParser::FeedEach(const std::uint8_t* pbyBytes,
                                                       std::size_t nCount, Handler&& handler)
{
    SFeedResult result;
    STelegram telegram;
    // Each turn either consumes bytes or takes a telegram, so the loop ends.
    while (result.nConsumed < nCount || m_bReady)
    {
        result.nConsumed += Feed(pbyBytes + result.nConsumed, nCount - result.nConsumed);
        if (Take(telegram) && handler(static_cast<const STelegram&>(telegram),
                                      static_cast<std::size_t>(nCount - result.nConsumed)))
        {
            result.bStopped = true;
            break;
        }
    }
    return result;
}

template <typename Handler> bool CTelegramParser::TakeEachOnIdle(Handler&& handler)
{
    STelegram telegram;
    while (NoteIdle())
    {
        if (Take(telegram) && handler(static_cast<const STelegram&>(telegram), std::size_t{0}))
            return true;
    }
    return false;
}

} // namespace dp
