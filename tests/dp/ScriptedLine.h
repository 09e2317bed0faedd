// A bus line in virtual time for the master's tests: what the master sends goes to a responder
// of the test, which puts answers, noise and other stations' telegrams on the line at chosen
// times. While it lives it is the process's monotonic clock (platform/Clock.h), and a wait for
// bytes moves that clock on instead of sleeping: a minute of bus runs in milliseconds, and the
// same run gives the same result every time.
#pragma once

#include "dp/fdl/Telegram.h"
#include "dp/line/DpLine.h"

#include "platform/Clock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace dptest
{

using Bytes = std::vector<std::uint8_t>;

class CScriptedLine : public dp::IDpLine
{
public:
    // Called for each telegram the master sends, with the time its last character has left.
    using PFN_RESPOND = std::function<void(const dp::STelegram& request, std::uint64_t qwEndNs)>;

    explicit CScriptedLine(std::uint32_t dwBaudRate);
    ~CScriptedLine() override;
    CScriptedLine(const CScriptedLine&) = delete;
    CScriptedLine& operator=(const CScriptedLine&) = delete;

    void SetResponder(PFN_RESPOND pfnRespond) { m_pfnRespond = std::move(pfnRespond); }
    // Every byte the master sends comes back to it, as behind a half-duplex adapter.
    void SetEcho(bool bEcho) { m_bEcho = bEcho; }

    // Puts bytes on the line from a time on, one character time apart; each can be read when
    // its character is over.
    void Put(std::uint64_t qwAtNs, const Bytes& abyBytes);
    // Puts a byte every character time from one time to another (a line of noise): random
    // bytes from the seed, or the one byte given.
    void PutNoise(std::uint64_t qwFromNs, std::uint64_t qwToNs, std::uint32_t dwSeed,
                  int nOnlyByte = -1);

    // Moves the clock on, and the line forgets what it carried meanwhile.
    void SkipTo(std::uint64_t qwNs);

    std::uint64_t Now() const { return m_qwNow; }
    std::uint64_t CharacterNs() const { return m_qwCharacterNs; }
    std::uint64_t BitNs(std::uint64_t qwBits) const;
    // Every telegram the master has sent, as bytes.
    const std::vector<Bytes>& Sent() const { return m_aSent; }
    // When each of those was handed to the line (its first character begins then).
    const std::vector<std::uint64_t>& SentAt() const { return m_aqwSentAt; }
    // From now on every call answers that the line failed.
    void Fail() { m_bFailed = true; }

    bool Send(const std::uint8_t* pbyBytes, std::size_t nCount) override;
    long Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                 std::uint64_t qwDeadlineNs) override;
    void WaitUntil(std::uint64_t qwNs) override;
    long Drain() override;
    bool Paced() const override { return true; }

private:
    static std::uint64_t ReadNow();

    std::uint32_t m_dwBaudRate;
    std::uint64_t m_qwCharacterNs;
    std::uint64_t m_qwNow = 1000000000ull;
    std::multimap<std::uint64_t, std::uint8_t> m_pending; // arrival time, byte
    std::vector<Bytes> m_aSent;
    std::vector<std::uint64_t> m_aqwSentAt;
    PFN_RESPOND m_pfnRespond;
    bool m_bEcho = false;
    bool m_bFailed = false;
    platform::SClockSource m_clock;
    const platform::SClockSource* m_pPreviousClock = nullptr;
};

// Telegrams as a slave puts them on the line, built byte by byte here (and not with the
// project's encoder) so that the master is checked against the layouts, not against itself.
Bytes Sd1(std::uint8_t byDa, std::uint8_t bySa, std::uint8_t byFc);
// An SD2 telegram; SAPs are given as -1 when absent.
Bytes Sd2(std::uint8_t byDa, std::uint8_t bySa, std::uint8_t byFc, int nDsap, int nSsap,
          const Bytes& abyData);
inline const Bytes kShortAck = {0xE5};

} // namespace dptest
