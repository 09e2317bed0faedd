#include "dp/monitor/BusMonitor.h"

#include "dp/fdl/FunctionCodes.h"
#include "dp/services/ConfigBytes.h"
#include "dp/services/DpServices.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace dp
{

namespace
{

// Characters of slack before a telegram begun counts as cut short: the line's own gap rule
// (the characters of a telegram follow without a gap) with one character to spare.
constexpr std::uint64_t kSlackCharacters = 2;

std::uint32_t Troubles(const SParserCounters& counters)
{
    return counters.dwSkippedBytes + counters.dwBadCheckSums + counters.dwBadFrames +
           counters.dwTruncated;
}

bool HasSaps(const STelegram& telegram)
{
    return telegram.bHasDsap || telegram.bHasSsap;
}

bool IsSrd(const STelegram& request)
{
    const std::uint8_t byCode = FcCode(request.byFc);
    return byCode == ReqSrdLow || byCode == ReqSrdHigh;
}

// A SAP service request of a master to a slave's SAP, from the master's SAP.
bool IsService(const STelegram& request, std::uint8_t byDsap)
{
    return request.bHasDsap && request.bHasSsap && request.byDsap == byDsap &&
           request.bySsap == kSapMaster;
}

// A positive acknowledgement: E5, or a response of code OK without data.
bool IsPositiveAck(const STelegram& answer)
{
    return answer.eFrame == teFrame::ShortAck ||
           (answer.eFrame == teFrame::Sd1 && FcCode(answer.byFc) == RespOk);
}

std::uint64_t Smoothed(std::uint64_t qwAverage, std::uint64_t qwSample)
{
    return qwAverage == 0 ? qwSample : (7 * qwAverage + qwSample) / 8;
}

} // namespace

CBusMonitor::CBusMonitor(IDpLine& line, const SMonitorConfig& config)
    : m_line(line), m_config(config), m_pairing(config.bus, config.dwResponseAllowanceUs, *this),
      m_qwCharacterNs(BitsToNanoseconds(kBitsPerCharacter, config.bus.dwBaudRate)),
      m_bPaced(line.Paced())
{
    m_qwGapNs = kSlackCharacters * m_qwCharacterNs + config.dwResponseAllowanceUs * 1000ull;
    m_slaves.reserve(kMaxStationAddress + 1);
    if (m_config.bFromBusFile)
    {
        for (SSlaveConfig slave : m_config.slaves)
        {
            if (slave.byAddress > kMaxStationAddress || FindSlave(slave.byAddress) >= 0)
                continue;
            slave.bReadOnly = true;
            SMonitoredSlave& monitored = m_slaves.emplace_back();
            monitored.config = std::move(slave);
            monitored.eFrom = teLengthsFrom::BusFile;
            monitored.state.strProblem = "no exchange seen yet";
        }
    }
}

int CBusMonitor::FindSlave(std::uint8_t byAddress) const
{
    for (std::size_t i = 0; i < m_slaves.size(); ++i)
        if (m_slaves[i].config.byAddress == byAddress)
            return static_cast<int>(i);
    return -1;
}

int CBusMonitor::SlaveFor(std::uint8_t byAddress)
{
    const int nIndex = FindSlave(byAddress);
    if (nIndex >= 0 || m_config.bFromBusFile || byAddress > kMaxStationAddress)
        return nIndex;
    SMonitoredSlave& slave = m_slaves.emplace_back();
    slave.config.byAddress = byAddress;
    slave.config.wIdent = m_aStations[byAddress].wIdent;
    slave.config.bReadOnly = true;
    slave.eFrom = teLengthsFrom::Data;
    slave.state.strProblem = "no exchange seen yet";
    return static_cast<int>(m_slaves.size() - 1);
}

bool CBusMonitor::Listen(std::uint64_t qwUntilNs)
{
    std::uint8_t abyBuffer[512];
    for (;;)
    {
        std::uint64_t qwNow = platform::ReadMonotonicNs();
        if (qwNow >= qwUntilNs)
            break;
        // A telegram begun must go on without a gap: wake when it would have to be over.
        const std::uint64_t qwDeadline = m_parser.BufferedBytes() > 0
                                             ? std::min(qwUntilNs, m_qwLastByteNs + m_qwGapNs)
                                             : qwUntilNs;
        const long nRead = m_line.Receive(abyBuffer, sizeof abyBuffer, qwDeadline);
        if (nRead < 0)
            return false;
        qwNow = platform::ReadMonotonicNs();
        if (nRead > 0)
        {
            Feed(abyBuffer, static_cast<std::size_t>(nRead), qwNow);
            continue;
        }
        if (m_parser.BufferedBytes() > 0 && qwNow >= m_qwLastByteNs + m_qwGapNs)
        {
            m_parser.TakeEachOnIdle(
                [this](const STelegram& telegram, std::size_t)
                {
                    TakeTelegram(telegram, m_qwLastByteNs, false);
                    return false;
                });
            NoteTroubles(m_qwLastByteNs);
        }
        if (m_parser.BufferedBytes() == 0)
            m_pairing.Quiet(m_qwLastByteNs, qwNow);
    }
    const std::uint64_t qwNow = platform::ReadMonotonicNs();
    if (m_parser.BufferedBytes() == 0)
        m_pairing.Quiet(m_qwLastByteNs, qwNow);
    ExpireSlaves(qwNow);
    ++m_qwTurns;
    return true;
}

void CBusMonitor::Feed(const std::uint8_t* pbyBytes, std::size_t nCount, std::uint64_t qwNowNs)
{
    m_qwLastByteNs = qwNowNs;
    bool bFirst = true;
    m_parser.FeedEach(pbyBytes, nCount,
                      [&](const STelegram& telegram, std::size_t nBehind)
                      {
                          // On a line where characters take their time, the bytes read behind
                          // a telegram came after it, a character each.
                          const std::uint64_t qwBehindNs =
                              m_bPaced ? std::min<std::uint64_t>(qwNowNs, nBehind * m_qwCharacterNs)
                                       : 0;
                          TakeTelegram(telegram, qwNowNs - qwBehindNs, !bFirst);
                          bFirst = false;
                          return false;
                      });
    NoteTroubles(qwNowNs);
}

void CBusMonitor::TakeTelegram(const STelegram& telegram, std::uint64_t qwEndNs, bool bSameRead)
{
    // Bytes that made no telegram ahead of this one came before it.
    NoteTroubles(qwEndNs > 0 ? qwEndNs - 1 : 0);
    ++m_counters.dwTelegrams;
    STimedTelegram timed;
    timed.telegram = telegram;
    timed.qwEndNs = qwEndNs;
    timed.bSameRead = bSameRead;
    const std::size_t nSize = telegram.eFrame == teFrame::ShortAck
                                  ? kShortAckSize
                                  : TelegramSize(telegram.eFrame, telegram.DataUnits());
    const std::uint64_t qwLengthNs = m_bPaced ? (nSize - 1) * m_qwCharacterNs : 0;
    timed.qwStartNs = qwEndNs - std::min(qwEndNs, qwLengthNs);
    m_pairing.Telegram(timed);
}

void CBusMonitor::NoteTroubles(std::uint64_t qwNs)
{
    const SParserCounters& now = m_parser.Counters();
    if (Troubles(now) == Troubles(m_seenTroubles))
        return;
    const std::uint32_t dwBadSums = now.dwBadCheckSums - m_seenTroubles.dwBadCheckSums;
    if (dwBadSums != 0)
    {
        // A check sum wrong in the window of a request is the answer of the station asked,
        // spoilt; elsewhere nobody can say whose telegram it was.
        if (m_pairing.Waiting() && m_pairing.InWindow(qwNs))
            m_aStations[m_pairing.StationAsked() & kAddressMask].dwBadCheckSums += dwBadSums;
        else
            m_counters.dwBadCheckSumsOutside += dwBadSums;
    }
    m_seenTroubles = now;
    m_pairing.Trouble(qwNs);
}

void CBusMonitor::OnRequest(const STimedTelegram& timed)
{
    const STelegram& request = timed.telegram;
    SStationSeen& from = m_aStations[request.bySa & kAddressMask];
    SStationSeen& to = m_aStations[request.byDa & kAddressMask];
    from.eKind = teSeenKind::Master;
    if (request.eFrame == teFrame::Sd4)
    {
        // The token passes to DA: the time since it last did is DA's rotation time.
        to.eKind = teSeenKind::Master;
        if (to.qwLastTokenNs != 0)
            to.qwRotationNs = timed.qwStartNs - to.qwLastTokenNs;
        to.qwLastTokenNs = timed.qwStartNs;
        return;
    }
    if (request.byDa == kBroadcastAddress)
    {
        SGlobalControl control;
        if (IsService(request, kSapGlobalControl) &&
            DecodeGlobalControl(ByteView(request.abyData, request.byDataLength), control))
            m_eMode = (control.byControl & kControlClearData) != 0 ? MasterClear : MasterOperate;
        return;
    }
    ++to.dwRequests;
    // The frame count bit toggles with each new request of a master to a station; a request
    // with FCV and the same FCB is a repetition. FCV clear with FCB set starts the count.
    if (FcFcv(request.byFc))
    {
        if (to.bFcbKnown && to.bLastFcb == FcFcb(request.byFc))
            ++to.dwRepeats;
        to.bFcbKnown = true;
        to.bLastFcb = FcFcb(request.byFc);
    }
    else if (FcFcb(request.byFc))
    {
        to.bFcbKnown = true;
        to.bLastFcb = true;
    }
    if (IsService(request, kSapSlaveDiag))
        ++to.dwDiagRequests;
    if (!HasSaps(request) && IsSrd(request) && request.byDa <= kMaxStationAddress)
    {
        const int nIndex = FindSlave(request.byDa);
        if (nIndex >= 0)
        {
            SMonitoredSlave& slave = m_slaves[static_cast<std::size_t>(nIndex)];
            if (slave.qwLastRequestNs != 0 && timed.qwStartNs > slave.qwLastRequestNs)
            {
                slave.qwLastIntervalNs = timed.qwStartNs - slave.qwLastRequestNs;
                slave.qwCycleNs = Smoothed(slave.qwCycleNs, slave.qwLastIntervalNs);
            }
            slave.qwLastRequestNs = timed.qwStartNs;
        }
    }
}

void CBusMonitor::OnStrayAnswer(const STimedTelegram&)
{
    ++m_counters.dwStrayAnswers;
}

void CBusMonitor::OnUnanswered(const STimedTelegram& request)
{
    ++m_counters.dwUnanswered;
    ++m_aStations[request.telegram.byDa & kAddressMask].dwNoAnswer;
}

void CBusMonitor::OnInDoubt(const STimedTelegram& request)
{
    ++m_counters.dwAnswersInDoubt;
    ++m_aStations[request.telegram.byDa & kAddressMask].dwInDoubt;
}

void CBusMonitor::OnAnswered(const STimedTelegram& timedRequest, const STimedTelegram& timedAnswer)
{
    const STelegram& request = timedRequest.telegram;
    const STelegram& answer = timedAnswer.telegram;
    SStationSeen& asked = m_aStations[request.byDa & kAddressMask];
    // A response says what kind of station gave it; E5 does not.
    if (answer.eFrame != teFrame::ShortAck)
        asked.eKind = (answer.byFc & kFcStationTypeMask) == kStationSlave ? teSeenKind::Slave
                                                                          : teSeenKind::Master;
    if (answer.eFrame != teFrame::ShortAck && asked.eKind != teSeenKind::Slave)
        return;
    if (!HasSaps(request) && IsSrd(request))
    {
        asked.eKind = teSeenKind::Slave;
        asked.byMaster = request.bySa;
        DataExchange(timedRequest, timedAnswer);
    }
    else if (IsService(request, kSapCheckConfig) && IsPositiveAck(answer))
        CheckConfigAcknowledged(request);
    else if (IsService(request, kSapSetPrm) && IsPositiveAck(answer))
        SetPrmAcknowledged(request);
    else if (IsService(request, kSapSlaveDiag))
        DiagnosisRead(request, answer);
}

void CBusMonitor::DataExchange(const STimedTelegram& timedRequest,
                               const STimedTelegram& timedAnswer)
{
    const STelegram& request = timedRequest.telegram;
    const STelegram& answer = timedAnswer.telegram;
    // Inputs come with a response of data (DL, or DH: diagnosis waits), or not at all (E5, or
    // a response without data); any other code refuses the exchange (the slave is not
    // parameterised, or has no resources).
    const bool bShortAck = answer.eFrame == teFrame::ShortAck;
    const std::uint8_t byCode =
        bShortAck ? static_cast<std::uint8_t>(RespDataLow) : FcCode(answer.byFc);
    if (HasSaps(answer) || (byCode != RespDataLow && byCode != RespDataHigh))
        return;
    const std::uint8_t byOutputs = request.byDataLength;
    const std::uint8_t byInputs = bShortAck ? 0 : answer.byDataLength;
    // A telegram holds 2 bytes more than any slave's image: none is learnt from one that long.
    if (byInputs > kMaxDpDataBytes || byOutputs > kMaxDpDataBytes)
    {
        ++m_counters.dwLengthMismatches;
        return;
    }
    const int nIndex = SlaveFor(request.byDa);
    if (nIndex < 0)
    {
        ++m_counters.dwUnknownSlaves;
        return;
    }
    SMonitoredSlave& slave = m_slaves[static_cast<std::size_t>(nIndex)];
    SSlaveConfig& config = slave.config;
    const bool bLearn =
        slave.eFrom == teLengthsFrom::Data && !IsSlaveExchanging(slave.state.eState);
    if (bLearn)
    {
        config.byInputLength = byInputs;
        config.byOutputLength = byOutputs;
    }
    if (byInputs != config.byInputLength || byOutputs != config.byOutputLength)
    {
        ++m_counters.dwLengthMismatches;
        ++slave.state.counters.dwBadAnswers;
        return;
    }
    SMasterSlaveState& state = slave.state;
    std::memcpy(state.abyInputs, answer.abyData, byInputs);
    std::memcpy(state.abyOutputs, request.abyData, byOutputs);
    state.eState = byCode == RespDataHigh ? SlaveDiagnosisPending : SlaveDataExchange;
    state.strProblem.clear();
    state.dwInputsTick = platform::ReadTickCount();
    state.qwInputsCycle = m_qwTurns + 1;
    ++state.counters.dwExchanges;
    if (slave.qwLastExchangeNs != 0 && timedAnswer.qwEndNs > slave.qwLastExchangeNs)
        slave.qwExchangeIntervalNs =
            Smoothed(slave.qwExchangeIntervalNs, timedAnswer.qwEndNs - slave.qwLastExchangeNs);
    slave.qwLastExchangeNs = timedAnswer.qwEndNs;
}

void CBusMonitor::CheckConfigAcknowledged(const STelegram& request)
{
    const int nIndex = FindSlave(request.byDa);
    if (m_config.bFromBusFile || request.byDa > kMaxStationAddress)
        return;
    SImageLengths lengths;
    std::string strError;
    if (!ConfigImageLengths(request.abyData, request.byDataLength, lengths, strError) ||
        lengths.dwInputs > kMaxDpDataBytes || lengths.dwOutputs > kMaxDpDataBytes)
        return;
    const int nSlave = nIndex >= 0 ? nIndex : SlaveFor(request.byDa);
    if (nSlave < 0)
        return;
    SMonitoredSlave& slave = m_slaves[static_cast<std::size_t>(nSlave)];
    // A new configuration starts the slave anew: what it exchanged before is no more.
    if (slave.config.byInputLength != lengths.dwInputs ||
        slave.config.byOutputLength != lengths.dwOutputs)
        LeaveExchange(slave, "configured anew");
    slave.config.abyConfig.assign(request.abyData, request.abyData + request.byDataLength);
    slave.config.byInputLength = static_cast<std::uint8_t>(lengths.dwInputs);
    slave.config.byOutputLength = static_cast<std::uint8_t>(lengths.dwOutputs);
    slave.eFrom = teLengthsFrom::CheckConfig;
}

void CBusMonitor::SetPrmAcknowledged(const STelegram& request)
{
    // Set_Prm: station status, watchdog (2), min TSDR, ident (2, high byte first), group. The
    // station keeps it until its slave is learnt.
    if (m_config.bFromBusFile || request.byDataLength < 6)
        return;
    const auto wIdent = static_cast<std::uint16_t>(request.abyData[4] << 8 | request.abyData[5]);
    m_aStations[request.byDa & kAddressMask].wIdent = wIdent;
    const int nIndex = FindSlave(request.byDa);
    if (nIndex >= 0)
        m_slaves[static_cast<std::size_t>(nIndex)].config.wIdent = wIdent;
}

void CBusMonitor::DiagnosisRead(const STelegram& request, const STelegram& answer)
{
    const int nIndex = FindSlave(request.byDa);
    if (nIndex < 0 || answer.eFrame == teFrame::ShortAck || !answer.bHasSsap ||
        answer.bySsap != kSapSlaveDiag || answer.byDataLength > kMaxDiagBytes)
        return;
    SMasterSlaveState& state = m_slaves[static_cast<std::size_t>(nIndex)].state;
    std::memcpy(state.abyDiag, answer.abyData, answer.byDataLength);
    state.byDiagLength = answer.byDataLength;
    ++state.counters.dwDiagnoses;
}

void CBusMonitor::LeaveExchange(SMonitoredSlave& slave, const char* pszWhy)
{
    if (!IsSlaveExchanging(slave.state.eState))
        return;
    slave.state.eState = SlaveNotReachable;
    std::memset(slave.state.abyInputs, 0, sizeof slave.state.abyInputs);
    std::memset(slave.state.abyOutputs, 0, sizeof slave.state.abyOutputs);
    slave.state.strProblem = pszWhy;
    slave.qwExchangeIntervalNs = 0;
    ++slave.state.counters.dwRestarts;
}

std::uint64_t CBusMonitor::ExchangeTimeoutNs(std::size_t nIndex) const
{
    const SMonitoredSlave& slave = m_slaves[nIndex];
    // The longer of the smoothed cycle and the last one: a cycle that stretches (a diagnosis
    // read, a repetition) is waited for at once.
    const std::uint64_t qwCycleNs = std::max(slave.qwCycleNs, slave.qwLastIntervalNs);
    return std::clamp<std::uint64_t>(kCyclesWithoutExchange * qwCycleNs, kShortestTimeoutNs,
                                     kLongestTimeoutNs);
}

void CBusMonitor::ExpireSlaves(std::uint64_t qwNowNs)
{
    for (std::size_t i = 0; i < m_slaves.size(); ++i)
    {
        SMonitoredSlave& slave = m_slaves[i];
        if (IsSlaveExchanging(slave.state.eState) &&
            qwNowNs - std::min(qwNowNs, slave.qwLastExchangeNs) > ExchangeTimeoutNs(i))
            LeaveExchange(slave, "its exchanges stopped");
    }
}

double CBusMonitor::ExchangeRate(std::size_t nIndex) const
{
    const SMonitoredSlave& slave = m_slaves[nIndex];
    if (!IsSlaveExchanging(slave.state.eState) || slave.qwExchangeIntervalNs == 0)
        return 0.0;
    return 1e9 / static_cast<double>(slave.qwExchangeIntervalNs);
}

std::uint64_t CBusMonitor::PostedAgeBoundNs(std::uint64_t qwPauseNs) const
{
    // Inputs posted as exchanging are at most a timeout old when the monitor last looked, and
    // stay posted until it has looked again (a turn) and the next exchange with the board (one
    // more); the third turn covers an exchange with the board that comes late in a turn.
    std::uint64_t qwTimeoutNs = kShortestTimeoutNs;
    for (std::size_t i = 0; i < m_slaves.size(); ++i)
        qwTimeoutNs = std::max(qwTimeoutNs, ExchangeTimeoutNs(i));
    return qwTimeoutNs + 3 * (m_config.qwTurnNs + qwPauseNs);
}

} // namespace dp
