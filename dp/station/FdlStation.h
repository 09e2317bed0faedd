// An FDL active station in the token ring of a multi-master bus, on any IDpLine and the platform
// clock alone. It follows the public rules of the token ring:
//   - At start it listens for the time-out TTO = 6 TSL + 2 n TSL (n its address). A line silent
//     all that while: it claims the token and is a ring of one, passing the token to itself (so
//     that a master plugged in later finds a ring). A live line: it learns the ring from the
//     token telegrams and, once it has heard the token go round, waits to be taken in.
//   - It answers Request FDL Status telegrams to its address with its state (master not ready,
//     ready for the ring, in the ring).
//   - It keeps the list of active stations (LAS) from the token telegrams heard, and takes a
//     token only from its predecessor in it; from another station only when that station
//     repeats the pass.
//   - Holding the token, it lets its applications run message cycles for the hold time (TTR
//     minus the real rotation time, at least one cycle even when late), asks one address of its
//     gap for its FDL status every G rotations (and passes the token to a master that is ready,
//     taking it into the ring), then passes the token to its successor and watches that the
//     successor uses it within the slot time: the pass is repeated up to the retry limit, then
//     the successor is dropped from the LAS and the next one is tried.
//   - A line silent for TTO has lost its token: the station claims it.
//   - Another station sending with its address, or passing a token while it holds one: it
//     stops sending at once and says so (FaultOf, an event); it never guesses which is right.
// Everything it receives, its applications' answers included, passes through Line(), so that it
// sees the whole line.
//
// Single-threaded: Run() is the station's loop; the owner reads the state between runs, or from
// the same thread through its applications.
#pragma once

#include "dp/fdl/Telegram.h"
#include "dp/fdl/TelegramParser.h"
#include "dp/line/DpLine.h"
#include "dp/master/BusTrace.h"
#include "dp/station/ActiveStationList.h"
#include "dp/station/FdlApplication.h"
#include "dp/station/StationConfig.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace dp
{

class CFdlStation
{
public:
    using PFN_EVENT = std::function<void(const std::string&)>;
    using PFN_STOP_CHECK = std::function<bool()>;

    CFdlStation(IDpLine& line, const SStationConfig& config);
    CFdlStation(const CFdlStation&) = delete;
    CFdlStation& operator=(const CFdlStation&) = delete;

    // Applications get the token in the order added.
    void AddApplication(IFdlApplication* pApplication) { m_apApplications.push_back(pApplication); }
    void SetEventHandler(PFN_EVENT pfnEvent) { m_pfnEvent = std::move(pfnEvent); }
    void SetStopCheck(PFN_STOP_CHECK pfnStop) { m_pfnStop = std::move(pfnStop); }
    // Token telegrams at kTraceTelegrams, ring changes at kTraceStates.
    void SetTrace(IBusTrace* pTrace) { m_pTrace = pTrace; }

    // The line for the applications: what comes through it the station sees too.
    IDpLine& Line() { return m_tap; }

    // The station's loop: true when the stop check asked it to stop, false when the line
    // failed or a fault stopped the station.
    bool Run();

    const SStationConfig& Config() const { return m_config; }
    teRingState RingState() const { return m_eRing; }
    teStationFault Fault() const { return m_eFault; }
    const SStationCounters& Counters() const { return m_counters; }
    const CActiveStationList& ActiveStations() const { return m_las; }
    // What the GAP maintenance found at an address (Unknown for members of the LAS).
    teStationKind GapStation(std::uint8_t byAddress) const
    {
        return byAddress < m_aeGap.size() ? m_aeGap[byAddress] : teStationKind::Unknown;
    }
    // The token's business is still in hand: the successor has yet to use the token passed, or
    // a gap station to answer. An owner that stops the station only when this is false leaves
    // the ring with the token passed on.
    bool AwaitsAnswer() const { return m_eAwait != teAwait::Nothing; }
    std::uint64_t TargetRotationNs() const { return m_qwTargetRotationNs; }
    std::uint64_t TokenTimeoutNs() const { return m_qwTokenTimeoutNs; }

private:
    // Forwards to the line, showing the station every byte received and every telegram sent.
    class CTap : public IDpLine
    {
    public:
        CTap(CFdlStation& station, IDpLine& line) : m_station(station), m_line(line) {}
        bool Send(const std::uint8_t* pbyBytes, std::size_t nCount) override;
        long Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                     std::uint64_t qwDeadlineNs) override;
        void WaitUntil(std::uint64_t qwNs) override { m_line.WaitUntil(qwNs); }
        long Drain() override;
        bool Paced() const override { return m_line.Paced(); }

    private:
        CFdlStation& m_station;
        IDpLine& m_line;
    };

    enum class teAwait : std::uint8_t
    {
        Nothing,
        TokenUse, // the successor's first telegram after our pass
        GapAnswer // the FDL status answer of a gap address
    };

    struct SSeen
    {
        STelegram telegram;
        std::uint64_t qwAtNs = 0;
    };

    void Observe(const std::uint8_t* pbyBytes, std::size_t nCount);
    void ObserveTelegram(const STelegram& telegram, bool bAlone);
    void ConfirmSuspectToken();
    void NoteSent(const std::uint8_t* pbyBytes, std::size_t nCount);
    bool IsEcho(const STelegram& telegram) const;

    void Handle(const SSeen& seen);
    void HandleToken(const STelegram& telegram);
    void AnswerStatus(const STelegram& request);
    void HandleGapAnswer(const STelegram& telegram);
    void OnDeadline();
    std::uint64_t Deadline() const;

    void HoldToken();
    void PassToken(std::uint8_t byTo, bool bRepeat);
    void AskGap(std::uint8_t byAddress);
    // The next gap address to ask, or our own when the gap is empty.
    std::uint8_t NextGapAddress(std::uint8_t bySuccessor);
    void Claim(const char* pszWhy);
    bool SendTelegram(const STelegram& telegram);
    void WaitForIdle();
    void SetRing(teRingState eRing, const std::string& strWhy);
    void SetFault(teStationFault eFault, const std::string& strWhy);
    void Event(const std::string& strText);
    void TraceToken(const char* pszWhat, const STelegram& telegram);
    std::uint64_t Bits(std::uint64_t qwBits) const;

    SStationConfig m_config;
    IDpLine& m_line;
    CTap m_tap;
    std::vector<IFdlApplication*> m_apApplications;
    PFN_EVENT m_pfnEvent;
    PFN_STOP_CHECK m_pfnStop;
    IBusTrace* m_pTrace = nullptr;

    std::uint64_t m_qwCharacterNs;
    std::uint64_t m_qwSlotNs;         // slot time and the allowance
    std::uint64_t m_qwTokenTimeoutNs; // TTO, the allowance in each of its slot times
    std::uint64_t m_qwTargetRotationNs;
    std::uint64_t m_qwIdleNs; // TID1: before we send
    std::uint64_t m_qwSyncNs; // TSYN

    teRingState m_eRing = teRingState::Listening;
    teStationFault m_eFault = teStationFault::None;
    bool m_bLineFailed = false;
    bool m_bHaveToken = false;
    bool m_bHolding = false;       // from taking the token to passing it
    bool m_bInApplication = false; // an application runs: its telegrams are its own
    CActiveStationList m_las;
    std::array<teStationKind, 128> m_aeGap{};

    CTelegramParser m_parser;
    std::deque<SSeen> m_seen;
    // A token telegram heard while we hold the token, until the line has stayed idle behind it.
    bool m_bSuspectToken = false;
    bool m_bIdleBeforeCandidate = false;
    std::uint8_t m_bySuspectFrom = 0;
    std::uint64_t m_qwSuspectQuietAtNs = 0;
    std::uint64_t m_qwLastByteNs = 0;     // the last byte received
    std::uint64_t m_qwLastActivityNs = 0; // the last byte on the line, ours included
    std::uint64_t m_qwLastTokenNs = 0;    // when we last took the token
    // Our last telegram, to know its echo on a half-duplex adapter.
    STelegram m_lastSent;
    bool m_bSentAny = false;
    std::uint64_t m_qwEchoUntilNs = 0;

    teAwait m_eAwait = teAwait::Nothing;
    std::uint64_t m_qwAwaitUntilNs = 0;
    std::uint8_t m_byAwaitFrom = 0; // the successor, or the gap address asked
    std::uint32_t m_dwPassTries = 0;
    std::uint32_t m_dwRotationsSinceGap = 0;
    std::uint8_t m_byGapCursor = 0;
    int m_nRefusedFrom = -1; // the station whose token we refused last, until anything else
    int m_nFirstPasser = -1; // listening: the first station heard passing the token
    std::uint32_t m_dwPassesHeard = 0;
    SStationCounters m_counters;
};

// The time-out after which a silent line has lost its token: 6 TSL + 2 n TSL, in bit times.
std::uint32_t TokenTimeoutBits(const SBusParameters& bus, std::uint8_t byAddress);

} // namespace dp
