// A PLC's class-1 master for the ring tests, written from the public token ring rules with its
// own telegram building and parsing: it shares no code with dp/station or dp/master, so a
// misreading of the rules the two might share cannot pass unseen. Plain blocking code: listen
// for the time-out, claim a silent line or wait to be taken in, answer FDL status, hold the token
// (poll its own slaves once per visit, ask one gap address every few visits), pass it and watch
// the successor use it.
//
// For faults, it can be told to keep the first token it gets (and fall silent with it).
#pragma once

#include "dp/line/DpLine.h"

#include <cstdint>
#include <map>
#include <vector>

namespace dptest
{

struct SPlcSettings
{
    std::uint8_t byAddress = 5;
    std::uint32_t dwBaudRate = 1500000;
    std::uint32_t dwSlotBits = 300;
    std::uint32_t dwMinTsdrBits = 11;
    std::uint8_t byHighestAddress = 126;
    std::uint32_t dwGapFactor = 3;
    std::vector<std::uint8_t> abySlaves; // polled once per token visit
    bool bKeepToken = false;             // uses the first token once and never passes it
};

class CTestPlcMaster
{
public:
    CTestPlcMaster(dp::IDpLine& line, const SPlcSettings& settings);

    // Runs until the line fails.
    void Run();

    // Read by the test only while the line's clock stands (between RunUntil calls).
    bool InRing() const { return m_bInRing; }
    std::uint32_t TokensReceived() const { return m_dwTokens; }
    std::uint32_t Claims() const { return m_dwClaims; }
    // Answers each slave gave this master.
    std::uint32_t Answers(std::uint8_t bySlave) const;
    bool InLas(std::uint8_t byAddress) const { return m_abInLas[byAddress & 0x7F]; }
    // When it last took the token (virtual time); 0 before.
    std::uint64_t LastTokenAt() const { return m_qwLastTokenAt; }

private:
    struct SFrame
    {
        std::uint8_t bySd = 0; // 0x10, 0x68, 0xDC or 0xE5
        std::uint8_t byDa = 0;
        std::uint8_t bySa = 0;
        std::uint8_t byFc = 0;
    };

    std::uint64_t Ns(std::uint64_t qwBits) const;
    std::uint64_t Now() const;
    // Reads until a frame is complete or the deadline has passed (a frame begun by then is
    // read to its end); false when none came. Sets m_bDead when the line failed.
    bool ReadFrame(std::uint64_t qwDeadline, SFrame& frame);
    bool TryParse(SFrame& frame);
    void SendBytes(const std::vector<std::uint8_t>& abyBytes);
    void SendSd1(std::uint8_t byDa, std::uint8_t byFc);
    void SendToken(std::uint8_t byDa);
    // Everything heard while not holding the token; true when a token for us was taken.
    bool Heard(const SFrame& frame);
    void HoldToken();
    void PollSlaves();
    // The address after ours in the ring, skipping the gap.
    std::uint8_t Successor() const;
    std::uint8_t Predecessor() const;
    std::uint8_t NextAddress(std::uint8_t by) const;
    void WaitIdle();

    dp::IDpLine& m_line;
    SPlcSettings m_settings;
    std::uint64_t m_qwCharNs;
    std::vector<std::uint8_t> m_abyBuffer;
    std::uint64_t m_qwLastByte = 0;
    std::uint64_t m_qwLastActivity = 0;
    bool m_bDead = false;
    bool m_bInRing = false;
    bool m_bReady = false;
    bool m_bTokenPending = false;
    bool m_abInLas[128] = {};
    int m_nFirstHeard = -1;
    int m_nRefused = -1;
    std::uint32_t m_dwTokens = 0;
    std::uint32_t m_dwClaims = 0;
    std::uint32_t m_dwVisits = 0;
    std::uint8_t m_byGapAt = 0;
    std::uint64_t m_qwLastTokenAt = 0;
    std::map<std::uint8_t, std::uint32_t> m_answers;
};

} // namespace dptest
