// A station that only listens: it decodes every telegram on the line (never calling Send),
// pairs requests with their answers (ExchangePairing.h) and serves what a master and its
// slaves exchanged, read-only, to a board link (IServedSlaves):
//   - a slave's outputs are its master's Data_Exchange request, its inputs the slave's answer
//     to that request; both only from an exchange whose answer was taken, never from a request
//     alone (the slave may not have got it) nor from an answer in doubt;
//   - the slaves and their lengths come from the bus file when one is given: exchanges of any
//     other length, or with a slave it does not name, are dropped and counted. Without one,
//     they are learnt: from a Chk_Cfg the slave acknowledged (which wins), else from the first
//     exchange seen; an exchange of other lengths than learnt is dropped and counted, except
//     that a slave whose lengths came from its data learns them anew once it has left data
//     exchange;
//   - a slave is exchanging while its exchanges keep coming: once kCyclesWithoutExchange of
//     its master's cycles have passed without one (never sooner than kShortestTimeoutNs, never
//     later than kLongestTimeoutNs), it is not, and its inputs and outputs read 0;
//   - its status: the stations seen (masters with their token rotation time, slaves with their
//     master), per slave the exchange rate, and per station the line's health.
// Everything is bounded: 128 stations, at most 126 slaves, the parser's one telegram of bytes.
#pragma once

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/TelegramParser.h"
#include "dp/files/MasterConfig.h"
#include "dp/line/DpLine.h"
#include "dp/master/ServedSlaves.h"
#include "dp/monitor/ExchangePairing.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dp
{

// A master reads a slave's diagnosis in place of its Data_Exchange for a cycle when the slave
// flags one, and repeats a request whose answer was lost: three cycles cover both, and a slave
// gone is still noticed within a few of its master's cycles.
inline constexpr std::uint32_t kCyclesWithoutExchange = 3;
// A master on a PC runs its cycle with jitters of milliseconds; below this no slave is given up.
inline constexpr std::uint64_t kShortestTimeoutNs = 10000000;
// A master slower than this (its cycle over 2/3 s) shows its slaves as coming and going, which
// is the truth a host can use: nothing it is shown is older.
inline constexpr std::uint64_t kLongestTimeoutNs = 2000000000;

struct SMonitorConfig
{
    SBusParameters bus;
    // What the system and the adapter add to the slot time (the bus file's).
    std::uint32_t dwResponseAllowanceUs = 5000;
    // The bus file's slaves; with bFromBusFile false they are learnt.
    std::vector<SSlaveConfig> slaves;
    bool bFromBusFile = false;
    // How long the owner's Listen runs at most, for the bound it promises.
    std::uint64_t qwTurnNs = 10000000;
};

enum class teSeenKind : std::uint8_t
{
    Unseen = 0,
    Master = 1,
    Slave = 2
};

struct SStationSeen
{
    teSeenKind eKind = teSeenKind::Unseen;
    std::uint8_t byMaster = 0xFF; // a slave's master, 0xFF none seen
    std::uint64_t qwLastTokenNs = 0;
    std::uint64_t qwRotationNs = 0;   // a master's last token rotation time
    std::uint32_t dwRequests = 0;     // requests to it
    std::uint32_t dwBadCheckSums = 0; // in the window of a request to it
    std::uint32_t dwRepeats = 0;      // requests to it whose FCB did not toggle
    std::uint32_t dwNoAnswer = 0;
    std::uint32_t dwInDoubt = 0;
    std::uint32_t dwDiagRequests = 0;
    std::uint16_t wIdent = 0; // from the last Set_Prm it acknowledged
    bool bFcbKnown = false;
    bool bLastFcb = false;
};

struct SMonitorCounters
{
    std::uint32_t dwTelegrams = 0;
    std::uint32_t dwStrayAnswers = 0; // responses no request waited for
    std::uint32_t dwAnswersInDoubt = 0;
    std::uint32_t dwUnanswered = 0;
    std::uint32_t dwLengthMismatches = 0;    // exchanges of other lengths than the slave's
    std::uint32_t dwUnknownSlaves = 0;       // exchanges with a slave the bus file does not name
    std::uint32_t dwBadCheckSumsOutside = 0; // in no request's window
};

// Where a slave's lengths came from.
enum class teLengthsFrom : std::uint8_t
{
    BusFile,
    CheckConfig,
    Data
};

class CBusMonitor : public IServedSlaves, private IPairingSink
{
public:
    CBusMonitor(IDpLine& line, const SMonitorConfig& config);

    // Reads the line until qwUntilNs (platform::ReadMonotonicNs), and then gives up the slaves
    // whose exchanges stopped. False when the line failed.
    bool Listen(std::uint64_t qwUntilNs);

    const SMonitorConfig& Config() const { return m_config; }
    const SStationSeen& Station(std::uint8_t byAddress) const
    {
        return m_aStations[byAddress & kAddressMask];
    }
    const SMonitorCounters& Counters() const { return m_counters; }
    const SParserCounters& ParserCounters() const { return m_parser.Counters(); }
    int FindSlave(std::uint8_t byAddress) const;
    // The slave's exchanges per second, from the time between its last ones; 0 when not
    // exchanging.
    double ExchangeRate(std::size_t nIndex) const;
    std::uint64_t ExchangeTimeoutNs(std::size_t nIndex) const;
    teLengthsFrom LengthsFrom(std::size_t nIndex) const { return m_slaves[nIndex].eFrom; }

    // IServedSlaves
    std::size_t SlaveCount() const override { return m_slaves.size(); }
    const SSlaveConfig& SlaveConfig(std::size_t nIndex) const override
    {
        return m_slaves[nIndex].config;
    }
    const SMasterSlaveState& SlaveState(std::size_t nIndex) const override
    {
        return m_slaves[nIndex].state;
    }
    bool OutputsFromLine(std::size_t) const override { return true; }
    void TakeOutputs(std::size_t, const std::uint8_t*, std::size_t) override {}
    teBoardMasterMode Mode() const override { return m_eMode; }
    void HostWatchdogExpired(bool) override {}
    std::uint64_t PostedAgeBoundNs(std::uint64_t qwPauseNs) const override;
    std::uint64_t Turns() const override { return m_qwTurns; }

private:
    struct SMonitoredSlave
    {
        SSlaveConfig config;
        SMasterSlaveState state;
        teLengthsFrom eFrom = teLengthsFrom::Data;
        std::uint64_t qwLastRequestNs = 0;      // its last Data_Exchange request
        std::uint64_t qwCycleNs = 0;            // its master's cycle, smoothed
        std::uint64_t qwLastIntervalNs = 0;     // between its last two requests
        std::uint64_t qwLastExchangeNs = 0;     // its last exchange taken
        std::uint64_t qwExchangeIntervalNs = 0; // between exchanges taken, smoothed
    };

    // IPairingSink
    void OnRequest(const STimedTelegram& request) override;
    void OnStrayAnswer(const STimedTelegram& answer) override;
    void OnAnswered(const STimedTelegram& request, const STimedTelegram& answer) override;
    void OnUnanswered(const STimedTelegram& request) override;
    void OnInDoubt(const STimedTelegram& request) override;

    void Feed(const std::uint8_t* pbyBytes, std::size_t nCount, std::uint64_t qwNowNs);
    // bSameRead: it came in the same read as the telegram before it, so the gap between the
    // two is not known.
    void TakeTelegram(const STelegram& telegram, std::uint64_t qwEndNs, bool bSameRead);
    void NoteTroubles(std::uint64_t qwNs);
    void DataExchange(const STimedTelegram& request, const STimedTelegram& answer);
    void CheckConfigAcknowledged(const STelegram& request);
    void SetPrmAcknowledged(const STelegram& request);
    void DiagnosisRead(const STelegram& request, const STelegram& answer);
    // The slave at an address, learnt when the bus file does not name the slaves; -1 when
    // there is none (and none may be learnt).
    int SlaveFor(std::uint8_t byAddress);
    void LeaveExchange(SMonitoredSlave& slave, const char* pszWhy);
    void ExpireSlaves(std::uint64_t qwNowNs);

    IDpLine& m_line;
    SMonitorConfig m_config;
    CTelegramParser m_parser;
    CExchangePairing m_pairing;
    std::vector<SMonitoredSlave> m_slaves;
    std::array<SStationSeen, 128> m_aStations{};
    SMonitorCounters m_counters;
    teBoardMasterMode m_eMode = MasterOperate;
    std::uint64_t m_qwTurns = 0;
    std::uint64_t m_qwCharacterNs;
    std::uint64_t m_qwGapNs;
    std::uint64_t m_qwLastByteNs = 0;
    bool m_bPaced;
    SParserCounters m_seenTroubles; // the parser's counters as last looked at
};

} // namespace dp
