#include "dp/master/DpMaster.h"

#include "dp/fdl/FunctionCodes.h"
#include "dp/services/DiagnosisText.h"
#include "dp/services/DpServices.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace dp
{

namespace
{

// How often a slave that answers but is not ready yet is asked again before it is started anew.
constexpr std::uint32_t kReadyTries = 50;

// A slave that flaps in and out of data exchange prints at most this many state lines a window;
// the rest are counted and said in one line when the window has passed.
constexpr std::uint32_t kStateLinesPerWindow = 4;
constexpr std::uint64_t kStateLineWindowNs = 1000000000ull;

constexpr std::uint64_t kNsPerMs = 1000000ull;

std::string SlaveName(const SSlaveConfig& config)
{
    return "slave " + std::to_string(config.byAddress);
}

bool IsPositiveAck(const STelegram& answer)
{
    return answer.eFrame == teFrame::ShortAck ||
           (answer.eFrame == teFrame::Sd1 && FcCode(answer.byFc) == RespOk);
}

bool IsDataResponse(const STelegram& answer)
{
    const std::uint8_t byCode = FcCode(answer.byFc);
    return answer.eFrame != teFrame::ShortAck && (byCode == RespDataLow || byCode == RespDataHigh);
}

bool IsExchanging(teBoardSlaveState eState)
{
    return eState == SlaveDataExchange || eState == SlaveDiagnosisPending;
}

// The longest request a slave's start-up or exchange sends, and the longest answer: Set_Prm
// with its user parameter data or the outputs; a diagnosis of any length.
std::size_t LongestRequest(const SSlaveConfig& config)
{
    return std::max(
        {TelegramSize(teFrame::Sd2, kSapUnits + kPrmFixedBytes + config.abyUserPrm.size()),
         TelegramSize(teFrame::Sd2, kSapUnits + config.abyConfig.size()),
         TelegramSize(teFrame::Sd2, config.byOutputLength)});
}

} // namespace

CDpMaster::CDpMaster(IDpLine& line, const SMasterConfig& config)
    : m_config(config),
      m_exchange(line, config.bus, config.dwResponseAllowanceUs, config.byMasterAddress)
{
    for (const SSlaveConfig& slaveConfig : config.slaves)
    {
        SSlaveRun slave;
        slave.config = slaveConfig;
        slave.status.strProblem = "not started";
        if (slaveConfig.bObserve)
        {
            slave.config.bReadOnly = true; // its outputs are its owner's
            slave.eState = teState::Observe;
        }
        m_slaves.push_back(slave);
    }
    m_abyControlTargets = GlobalControlTargets();
}

void CDpMaster::Event(const std::string& strText)
{
    if (m_pfnEvent)
        m_pfnEvent(strText);
    if (m_pTrace != nullptr && m_pTrace->Wants(kTraceStates))
        m_pTrace->Line(kTraceStates, strText.c_str());
}

int CDpMaster::FindSlave(std::uint8_t byAddress) const
{
    for (std::size_t i = 0; i < m_slaves.size(); ++i)
    {
        if (m_slaves[i].config.byAddress == byAddress)
            return static_cast<int>(i);
    }
    return -1;
}

void CDpMaster::SetOutputs(std::size_t nIndex, const std::uint8_t* pbyOutputs, std::size_t nCount)
{
    SSlaveRun& slave = m_slaves[nIndex];
    if (slave.config.bObserve)
        return; // its outputs are what its owner writes
    std::memcpy(slave.status.abyOutputs, pbyOutputs,
                std::min<std::size_t>(nCount, slave.config.byOutputLength));
}

void CDpMaster::SetMode(teBoardMasterMode eMode)
{
    if (eMode != m_eMode)
        m_bModeAnnounced = false;
    m_eMode = eMode;
}

std::uint64_t CDpMaster::CycleBoundNs() const
{
    const std::uint64_t qwAttempts = 1ull + m_config.bus.dwRetryLimit;
    std::uint64_t qwBound =
        m_abyControlTargets.size() *
        m_exchange.TransactBoundNs(TelegramSize(teFrame::Sd2, kSapUnits + kGlobalControlBytes), 0);
    bool bProbe = false;
    bool bObservedProbe = false;
    for (const SSlaveRun& slave : m_slaves)
    {
        // A slave that does not answer sends nothing but its probe, and one probe goes a cycle.
        if (!slave.bAnswers)
        {
            bProbe = true;
            bObservedProbe = bObservedProbe || slave.config.bObserve;
            continue;
        }
        if (slave.config.bObserve)
        {
            qwBound += ObservedBoundNs();
            continue;
        }
        qwBound +=
            qwAttempts * m_exchange.TransactBoundNs(LongestRequest(slave.config), kMaxTelegramSize);
    }
    // An observed slave is probed with its Slave_Diag, which may be longer than an FDL status.
    if (bProbe)
        qwBound += qwAttempts * (bObservedProbe
                                     ? m_exchange.TransactBoundNs(
                                           TelegramSize(teFrame::Sd2, kSapUnits), kMaxTelegramSize)
                                     : m_exchange.TransactBoundNs(TelegramSize(teFrame::Sd1, 0),
                                                                  TelegramSize(teFrame::Sd1, 0)));
    if (m_qwTokenAbsenceNs != 0)
    {
        // On a ring each step may wait for the token: every slave's, the probe's, and the
        // step that ends the cycle.
        std::uint64_t qwSteps = 1 + (bProbe ? 1 : 0);
        for (const SSlaveRun& slave : m_slaves)
            qwSteps += slave.bAnswers ? 1 : 0;
        qwBound += qwSteps * m_qwTokenAbsenceNs;
    }
    return qwBound;
}

// ---- What people and hosts are told ----

void CDpMaster::RollStateLineWindow(SSlaveRun& slave)
{
    const std::uint64_t qwNow = platform::ReadMonotonicNs();
    if (qwNow - slave.qwLineWindowNs < kStateLineWindowNs)
        return;
    if (slave.dwUnshownInWindow != 0)
        Event(SlaveName(slave.config) + ": " + std::to_string(slave.dwUnshownInWindow) +
              " more state changes not shown");
    slave.qwLineWindowNs = qwNow;
    slave.dwLinesInWindow = 0;
    slave.dwUnshownInWindow = 0;
}

bool CDpMaster::AdmitStateLine(SSlaveRun& slave)
{
    RollStateLineWindow(slave);
    if (slave.dwLinesInWindow < kStateLinesPerWindow)
    {
        ++slave.dwLinesInWindow;
        return true;
    }
    ++slave.dwUnshownInWindow;
    ++slave.status.counters.dwUnshownStateLines;
    return false;
}

void CDpMaster::StateLine(SSlaveRun& slave, const std::string& strText)
{
    if (AdmitStateLine(slave))
        Event(strText);
}

void CDpMaster::SayDiagnosis(SSlaveRun& slave)
{
    if (!AdmitStateLine(slave))
        return;
    if (!m_pfnDiagnosis)
    {
        Event(DiagnosisEventText(slave.config, slave.abyLastDiag));
        return;
    }
    // The owner words it outside the cycle; the trace gets the bytes, which cost nothing.
    if (m_pTrace != nullptr && m_pTrace->Wants(kTraceStates))
    {
        std::string strText = SlaveName(slave.config) + ": diagnosis:";
        char szByte[4];
        for (std::uint8_t by : slave.abyLastDiag)
        {
            std::snprintf(szByte, sizeof szByte, " %02x", by);
            strText += szByte;
        }
        m_pTrace->Line(kTraceStates, strText.c_str());
    }
    m_pfnDiagnosis(static_cast<std::size_t>(&slave - m_slaves.data()), slave.abyLastDiag);
}

void CDpMaster::Post(SSlaveRun& slave, teBoardSlaveState eState, const std::string& strWhy)
{
    if (slave.status.eState != eState)
    {
        std::string strText = SlaveName(slave.config) + ": ";
        if (eState == SlaveDataExchange)
            strText += "data exchange";
        else if (eState == SlaveDiagnosisPending)
            strText += "data exchange, diagnosis pending";
        else
            strText += strWhy;
        StateLine(slave, strText);
    }
    slave.status.eState = eState;
    slave.status.strProblem = strWhy;
}

void CDpMaster::LeaveExchange(SSlaveRun& slave, teBoardSlaveState eState, const std::string& strWhy)
{
    // Inputs nobody refreshes any more must not pass for the slave's, nor may those held.
    std::memset(slave.status.abyInputs, 0, sizeof slave.status.abyInputs);
    if (m_held.bHeld && &m_slaves[m_held.nSlave] == &slave)
        m_held.bHeld = false;
    Post(slave, eState, strWhy);
}

CDpMaster::teState CDpMaster::Restart(SSlaveRun& slave, teBoardSlaveState eState,
                                      const std::string& strWhy, bool bAtOnce)
{
    LeaveExchange(slave, eState, strWhy);
    slave.qwWaitUntilNs =
        bAtOnce ? 0 : platform::ReadMonotonicNs() + m_config.dwRestartIntervalMs * kNsPerMs;
    return teState::Waiting;
}

CDpMaster::teState CDpMaster::NoGoodAnswer(SSlaveRun& slave, teReply eReply, const char* pszWhy)
{
    if (eReply == teReply::LineFailed || eReply == teReply::Stopped)
        return slave.eState; // RunCycle ends here
    return Restart(slave, SlaveNotReachable, pszWhy);
}

CDpMaster::teState CDpMaster::JudgeDiagnosis(SSlaveRun& slave, const SSlaveDiag& diag,
                                             teState eStay)
{
    if (diag.wIdent != slave.config.wIdent)
    {
        char szWhy[80];
        std::snprintf(szWhy, sizeof szWhy, "ident number 0x%04X, expected 0x%04X", diag.wIdent,
                      slave.config.wIdent);
        return Restart(slave, SlaveConfigFault, szWhy);
    }
    const bool bOtherMaster =
        diag.byMasterAddress != m_config.byMasterAddress && diag.byMasterAddress != kDiagNoMaster;
    if ((diag.byStatus1 & kDiag1MasterLock) != 0 && bOtherMaster)
        return Restart(slave, SlaveStopped,
                       "held by master " + std::to_string(diag.byMasterAddress));
    // Before our Set_Prm, faults are another start-up's; from then on they are ours.
    if (eStay == teState::SetPrm)
        return eStay;
    if (bOtherMaster)
        return Restart(slave, SlaveStopped,
                       "parameterised by master " + std::to_string(diag.byMasterAddress));
    if ((diag.byStatus1 & kDiag1PrmFault) != 0)
        return Restart(slave, SlaveConfigFault, "parameters refused");
    if ((diag.byStatus1 & kDiag1ConfigFault) != 0)
        return Restart(slave, SlaveConfigFault, "configuration refused");
    return eStay;
}

// ---- Requests ----

STelegram CDpMaster::Request(SSlaveRun& slave, std::uint8_t byDsap, bool bWithSaps)
{
    STelegram request;
    request.byDa = slave.config.byAddress;
    request.bySa = m_config.byMasterAddress;
    request.byFc = RequestFc(ReqSrdHigh, slave.bFcb, slave.bFcv);
    if (bWithSaps)
    {
        request.bHasDsap = request.bHasSsap = true;
        request.byDsap = byDsap;
        request.bySsap = kSapMaster;
    }
    return request;
}

CDpMaster::teReply CDpMaster::Transact(SSlaveRun& slave, const STelegram& request,
                                       const SExpectation& expectation, STelegram& answer)
{
    STelegram sent = request;
    sent.eFrame = FrameForDataUnits(request.DataUnits());
    const std::uint32_t dwAttempts = 1 + m_config.bus.dwRetryLimit;
    for (std::uint32_t dwAttempt = 0; dwAttempt < dwAttempts; ++dwAttempt)
    {
        // One attempt may wait out the whole allowance: a stop must not wait for all of them.
        if (StopRequested())
            return teReply::Stopped;
        if (dwAttempt != 0)
            ++slave.status.counters.dwRetries;
        // A repetition keeps its frame count bit: the slave answers it from its last answer.
        const teOutcome eOutcome = m_exchange.Transact(sent, expectation, answer);
        SettleHeldInputs();
        if (eOutcome == teOutcome::Answered)
        {
            slave.bFcv = true;
            slave.bFcb = !slave.bFcb;
            slave.bAnswers = true;
            return teReply::Answered;
        }
        if (eOutcome == teOutcome::LineFailed)
        {
            m_bLineFailed = true;
            return teReply::LineFailed;
        }
    }
    ++slave.status.counters.dwNoAnswer;
    slave.bAnswers = false;
    return teReply::NoAnswer;
}

CDpMaster::teReply CDpMaster::ReadDiagnosis(SSlaveRun& slave, SSlaveDiag& diag)
{
    STelegram answer;
    const teReply eReply = Transact(slave, Request(slave, kSapSlaveDiag, true),
                                    SExpectation{false, kMaxTelegramSize}, answer);
    if (eReply != teReply::Answered)
        return eReply;
    // The diagnosis comes from the slave's diagnosis SAP to ours.
    const bool bSaps = answer.bHasDsap && answer.bHasSsap && answer.byDsap == kSapMaster &&
                       answer.bySsap == kSapSlaveDiag;
    SSlaveDiag checked;
    if (!IsDataResponse(answer) || !bSaps ||
        !DecodeSlaveDiag(ByteView(answer.abyData, answer.byDataLength), checked))
    {
        ++slave.status.counters.dwBadAnswers;
        return teReply::NoAnswer;
    }
    // The answer dies with this call; the decoded record's views must point into the copy the
    // slave keeps.
    slave.status.byDiagLength = answer.byDataLength;
    std::memcpy(slave.status.abyDiag, answer.abyData, answer.byDataLength);
    DecodeSlaveDiag(ByteView(slave.status.abyDiag, slave.status.byDiagLength), diag);
    ++slave.status.counters.dwDiagnoses;
    return teReply::Answered;
}

std::vector<std::uint8_t> CDpMaster::GlobalControlTargets() const
{
    // A broadcast reaches every slave on the line, the observed ones too. A slave heeds
    // Global_Control only from the master that parametrised it, but a command never sent
    // cannot be misread: on a bus that observes slaves it goes to each own slave by address,
    // one telegram each. The group select cannot keep it from the observed slaves: their groups
    // are their owner's choice, which this master never learns.
    bool bObserves = false;
    std::vector<std::uint8_t> abyTargets;
    for (const SSlaveRun& slave : m_slaves)
    {
        bObserves = bObserves || slave.config.bObserve;
        if (!slave.config.bObserve)
            abyTargets.push_back(slave.config.byAddress);
    }
    if (!bObserves)
        return {kBroadcastAddress};
    return abyTargets;
}

void CDpMaster::SettleHeldInputs()
{
    const teWatch eVerdict = m_exchange.TakeWatchVerdict();
    if (eVerdict == teWatch::None || !m_held.bHeld)
        return;
    m_held.bHeld = false;
    if (eVerdict != teWatch::Confirmed)
        return;
    SSlaveRun& slave = m_slaves[m_held.nSlave];
    SMasterSlaveState& status = slave.status;
    std::memcpy(status.abyInputs, m_held.abyInputs, slave.config.byInputLength);
    status.dwInputsTick = m_held.dwTick;
    status.qwInputsCycle = m_held.qwCycle;
    ++status.counters.dwExchanges;
    if (!IsExchanging(status.eState))
        Post(slave, slave.bExtDiag ? SlaveDiagnosisPending : SlaveDataExchange, "");
}

bool CDpMaster::SendGlobalControl()
{
    for (const std::uint8_t byTarget : m_abyControlTargets)
    {
        const teOutcome eOutcome = SendGlobalControlTo(byTarget);
        if (eOutcome == teOutcome::LineFailed)
            return false;
        if (eOutcome == teOutcome::LineBusy)
            return true; // said on a later cycle
    }
    ++m_counters.dwGlobalControls;
    m_qwLastGlobalControlNs = platform::ReadMonotonicNs();
    m_bModeAnnounced = true;
    return true;
}

teOutcome CDpMaster::SendGlobalControlTo(std::uint8_t byTarget)
{
    STelegram request;
    request.eFrame = teFrame::Sd2;
    request.byDa = byTarget;
    request.bySa = m_config.byMasterAddress;
    request.byFc = RequestFc(ReqSdnHigh, false, false);
    request.bHasDsap = request.bHasSsap = true;
    request.byDsap = kSapGlobalControl;
    request.bySsap = kSapMaster;
    SGlobalControl control;
    control.byControl = m_eMode == MasterOperate ? 0 : kControlClearData;
    control.byGroups = 0; // every group
    request.byDataLength = static_cast<std::uint8_t>(
        EncodeGlobalControl(control, request.abyData, sizeof request.abyData));
    return m_exchange.SendUnanswered(request);
}

// ---- The states ----

CDpMaster::teState CDpMaster::Acknowledged(SSlaveRun& slave, const STelegram& request,
                                           const char* pszRefused, teState eNext)
{
    STelegram answer;
    const teReply eReply = Transact(slave, request, SExpectation{true, kSd1Size}, answer);
    if (eReply != teReply::Answered)
        return NoGoodAnswer(slave, eReply, "stopped answering");
    if (!IsPositiveAck(answer))
    {
        ++slave.status.counters.dwBadAnswers;
        return Restart(slave, SlaveConfigFault, pszRefused);
    }
    return eNext;
}

CDpMaster::teState CDpMaster::Waiting(SSlaveRun& slave)
{
    if (platform::ReadMonotonicNs() < slave.qwWaitUntilNs)
        return teState::Waiting;
    return slave.config.bObserve ? Observe(slave) : FdlStatus(slave);
}

CDpMaster::teState CDpMaster::FdlStatus(SSlaveRun& slave)
{
    if (slave.bStarted)
        ++slave.status.counters.dwRestarts;
    slave.bStarted = true;
    slave.dwReadyTries = 0;
    slave.bExtDiag = false;
    // The FDL status request carries neither FCB nor FCV; the frame count starts after it.
    STelegram request;
    request.eFrame = teFrame::Sd1;
    request.byDa = slave.config.byAddress;
    request.bySa = m_config.byMasterAddress;
    request.byFc = RequestFc(ReqFdlStatus, false, false);
    STelegram answer;
    const teReply eReply = Transact(slave, request, SExpectation{false, kSd1Size}, answer);
    slave.bFcb = true;
    slave.bFcv = false;
    if (eReply != teReply::Answered)
        return NoGoodAnswer(slave, eReply, "no answer");
    if (answer.eFrame != teFrame::Sd1)
    {
        ++slave.status.counters.dwBadAnswers;
        return Restart(slave, SlaveNotReachable, "no FDL status");
    }
    // A slave that refused its parameters keeps that state until it takes them: the board
    // shows the fault, not a flicker through "being parameterised" at every try.
    if (slave.status.eState != SlaveConfigFault && slave.status.eState != SlaveStopped)
        Post(slave, SlaveParameterising, "being parameterised");
    return teState::FirstDiag;
}

CDpMaster::teState CDpMaster::FirstDiag(SSlaveRun& slave)
{
    SSlaveDiag diag;
    const teReply eReply = ReadDiagnosis(slave, diag);
    if (eReply != teReply::Answered)
        return NoGoodAnswer(slave, eReply, "no diagnosis");
    return JudgeDiagnosis(slave, diag, teState::SetPrm);
}

CDpMaster::teState CDpMaster::SetPrm(SSlaveRun& slave)
{
    const SSlaveConfig& config = slave.config;
    STelegram request = Request(slave, kSapSetPrm, true);
    SSetPrm prm;
    const bool bWatchdog =
        config.dwWatchdogMs != 0 &&
        WatchdogFactors(config.dwWatchdogMs, prm.byWatchdogFactor1, prm.byWatchdogFactor2);
    prm.byStationStatus =
        static_cast<std::uint8_t>(kPrmLockRequest | (bWatchdog ? kPrmWatchdogOn : 0));
    prm.byMinTsdr = static_cast<std::uint8_t>(std::min<std::uint32_t>(m_config.bus.dwMinTsdr, 255));
    prm.wIdent = config.wIdent;
    prm.byGroup = config.byGroup;
    prm.userPrm = ByteView(config.abyUserPrm.data(), config.abyUserPrm.size());
    request.byDataLength = static_cast<std::uint8_t>(
        EncodeSetPrm(prm, request.abyData, sizeof request.abyData - kSapUnits));
    return Acknowledged(slave, request, "Set_Prm not acknowledged", teState::CheckConfig);
}

CDpMaster::teState CDpMaster::CheckConfig(SSlaveRun& slave)
{
    const SSlaveConfig& config = slave.config;
    STelegram request = Request(slave, kSapCheckConfig, true);
    std::copy(config.abyConfig.begin(), config.abyConfig.end(), request.abyData);
    request.byDataLength = static_cast<std::uint8_t>(config.abyConfig.size());
    return Acknowledged(slave, request, "Chk_Cfg not acknowledged", teState::ReadyDiag);
}

CDpMaster::teState CDpMaster::ReadyDiag(SSlaveRun& slave)
{
    SSlaveDiag diag;
    const teReply eReply = ReadDiagnosis(slave, diag);
    if (eReply != teReply::Answered)
        return NoGoodAnswer(slave, eReply, "no diagnosis");
    const teState eNext = JudgeDiagnosis(slave, diag, teState::ReadyDiag);
    if (eNext != teState::ReadyDiag)
        return eNext;
    if ((diag.byStatus1 & (kDiag1StationNotReady | kDiag1NotSupported)) != 0 ||
        (diag.byStatus2 & (kDiag2PrmRequest | kDiag2StatDiag)) != 0)
    {
        if (++slave.dwReadyTries >= kReadyTries)
            return Restart(slave, SlaveParameterising, "does not become ready");
        return teState::ReadyDiag;
    }
    // Ready; it is posted as exchanging once a Data_Exchange has brought its inputs.
    return teState::DataExchange;
}

CDpMaster::teState CDpMaster::DataExchange(SSlaveRun& slave)
{
    const SSlaveConfig& config = slave.config;
    SMasterSlaveState& status = slave.status;
    STelegram request = Request(slave, 0, false);
    // In the clear mode the slaves get zeros: their outputs go to the safe state.
    if (m_eMode == MasterOperate)
        std::memcpy(request.abyData, status.abyOutputs, config.byOutputLength);
    else
        std::memset(request.abyData, 0, config.byOutputLength);
    request.byDataLength = config.byOutputLength;
    // Only a slave without inputs may answer with the short acknowledgement; one with inputs
    // sends them in an SD2 without SAPs.
    SExpectation expectation;
    expectation.bShortAck = config.byInputLength == 0;
    expectation.nLongestAnswer = std::max<std::size_t>(
        kSd1Size, TelegramSize(teFrame::Sd2, config.byInputLength + kSapUnits));
    expectation.nUsualAnswer =
        config.byInputLength == 0 ? 1 : TelegramSize(teFrame::Sd2, config.byInputLength);
    STelegram answer;
    const teReply eReply = Transact(slave, request, expectation, answer);
    if (eReply != teReply::Answered)
        return NoGoodAnswer(slave, eReply, "stopped answering");

    if (answer.bHasDsap || answer.bHasSsap)
    {
        ++status.counters.dwBadAnswers;
        return Restart(slave, SlaveParameterising,
                       "answered Data_Exchange with service access points");
    }
    const bool bData = IsDataResponse(answer);
    if (!bData && !(config.byInputLength == 0 && IsPositiveAck(answer)))
    {
        // RS, RR or UE: the slave has lost its parameters or refuses; start it anew.
        ++status.counters.dwBadAnswers;
        return Restart(slave, SlaveParameterising, "left data exchange", true);
    }
    if (bData && answer.byDataLength != config.byInputLength)
    {
        ++status.counters.dwBadAnswers;
        return Restart(slave, SlaveParameterising, "answered with the wrong input length", true);
    }
    // Posted once the next request's window has shown nothing more of the slave's.
    m_held.bHeld = true;
    m_held.nSlave = static_cast<std::size_t>(&slave - m_slaves.data());
    std::memcpy(m_held.abyInputs, answer.abyData, config.byInputLength);
    m_held.dwTick = platform::ReadTickCount();
    m_held.qwCycle = m_counters.qwCycles + 1;
    // High priority: the slave has new diagnosis, read before the next exchange.
    return bData && FcCode(answer.byFc) == RespDataHigh ? teState::ExchangeDiag
                                                        : teState::DataExchange;
}

CDpMaster::teState CDpMaster::ExchangeDiag(SSlaveRun& slave)
{
    SSlaveDiag diag;
    const teReply eReply = ReadDiagnosis(slave, diag);
    if (eReply != teReply::Answered)
        return NoGoodAnswer(slave, eReply, "no diagnosis");
    const teState eNext = JudgeDiagnosis(slave, diag, teState::DataExchange);
    if (eNext != teState::DataExchange)
        return eNext;
    if (diag.byMasterAddress == kDiagNoMaster || (diag.byStatus2 & kDiag2PrmRequest) != 0 ||
        (diag.byStatus1 & kDiag1StationNotReady) != 0)
        return Restart(slave, SlaveParameterising, "asks for parameters again", true);
    // What the slave reports while it exchanges, in words, when it says something new.
    if (slave.abyLastDiag.size() != slave.status.byDiagLength ||
        !std::equal(slave.abyLastDiag.begin(), slave.abyLastDiag.end(), slave.status.abyDiag))
    {
        slave.abyLastDiag.assign(slave.status.abyDiag,
                                 slave.status.abyDiag + slave.status.byDiagLength);
        SayDiagnosis(slave);
    }
    slave.bExtDiag = (diag.byStatus1 & kDiag1ExtDiag) != 0;
    if ((diag.byStatus2 & kDiag2StatDiag) != 0)
    {
        // The slave cannot give valid data: hosts get none, and its diagnosis is read each
        // cycle until the bit clears, as the slave asks. Board state 1, as at start-up where the
        // same bit keeps it from data exchange: the slave is there and holds its parameters (not
        // 0 or 4), and 3 would let hosts read data it says are not valid.
        LeaveExchange(slave, SlaveParameterising, "no valid data (static diagnosis)");
        return teState::ExchangeDiag;
    }
    // Back from a static diagnosis it is posted when a Data_Exchange has brought its inputs.
    if (IsExchanging(slave.status.eState))
        Post(slave, slave.bExtDiag ? SlaveDiagnosisPending : SlaveDataExchange, "");
    return teState::DataExchange;
}

// ---- The cycle ----

CDpMaster::teState CDpMaster::Step(SSlaveRun& slave)
{
    switch (slave.eState)
    {
    case teState::Waiting:
        return Waiting(slave);
    case teState::FdlStatus:
        return FdlStatus(slave);
    case teState::FirstDiag:
        return FirstDiag(slave);
    case teState::SetPrm:
        return SetPrm(slave);
    case teState::CheckConfig:
        return CheckConfig(slave);
    case teState::ReadyDiag:
        return ReadyDiag(slave);
    case teState::DataExchange:
        return DataExchange(slave);
    case teState::ExchangeDiag:
        return ExchangeDiag(slave);
    case teState::Observe:
        return Observe(slave);
    }
    return teState::FdlStatus;
}

bool CDpMaster::StopRequested()
{
    if (!m_bStopped && m_pfnStopRequested && m_pfnStopRequested())
        m_bStopped = true;
    return m_bStopped;
}

bool CDpMaster::IsProbe(const SSlaveRun& slave) const
{
    return !slave.bAnswers &&
           (slave.eState == teState::Waiting || slave.eState == teState::FdlStatus ||
            slave.eState == teState::Observe);
}

std::size_t CDpMaster::ChooseProbe()
{
    const std::uint64_t qwNow = platform::ReadMonotonicNs();
    const std::size_t nCount = m_slaves.size();
    for (std::size_t i = 0; i < nCount; ++i)
    {
        const std::size_t nIndex = (m_nNextProbe + i) % nCount;
        const SSlaveRun& slave = m_slaves[nIndex];
        if (IsProbe(slave) && qwNow >= slave.qwWaitUntilNs)
        {
            m_nNextProbe = (nIndex + 1) % nCount;
            return nIndex;
        }
    }
    return nCount;
}

bool CDpMaster::RunCycle()
{
    // A cycle left by a stop starts afresh.
    m_nCursor = kNoCycle;
    for (;;)
    {
        switch (NextStep())
        {
        case teStep::Stepped:
            continue;
        case teStep::CycleEnded:
            return true;
        case teStep::Stopped:
            m_nCursor = kNoCycle;
            return true;
        case teStep::LineFailed:
            m_nCursor = kNoCycle;
            return false;
        }
    }
}

CDpMaster::teStep CDpMaster::NextStep()
{
    if (m_nCursor == kNoCycle)
    {
        m_qwCycleStartNs = platform::ReadMonotonicNs();
        m_bStopped = false;
        if (StopRequested())
            return teStep::Stopped;
        m_bCycleRunsSlaves = m_eMode == MasterClear || m_eMode == MasterOperate;
        if (m_bCycleRunsSlaves)
        {
            const bool bDue = m_config.dwGlobalControlIntervalMs != 0 &&
                              m_qwCycleStartNs - m_qwLastGlobalControlNs >=
                                  m_config.dwGlobalControlIntervalMs * kNsPerMs;
            if ((!m_bModeAnnounced || bDue) && !SendGlobalControl())
                return teStep::LineFailed;
            // Slaves that do not answer get one probe a cycle between them, so that their waits
            // do not stretch the cycle of those that answer, nor the age of their inputs.
            m_nCycleProbe = ChooseProbe();
        }
        m_nCursor = 0;
    }
    while (m_bCycleRunsSlaves && m_nCursor < m_slaves.size() && IsProbe(m_slaves[m_nCursor]) &&
           m_nCursor != m_nCycleProbe)
        ++m_nCursor;
    if (!m_bCycleRunsSlaves || m_nCursor >= m_slaves.size())
    {
        for (SSlaveRun& slave : m_slaves)
            RollStateLineWindow(slave); // says what a flapping slave's window held back
        const std::uint64_t qwTook = platform::ReadMonotonicNs() - m_qwCycleStartNs;
        ++m_counters.qwCycles;
        m_counters.qwLastCycleNs = qwTook;
        m_counters.qwMaxCycleNs = std::max(m_counters.qwMaxCycleNs, qwTook);
        m_nCursor = kNoCycle;
        return teStep::CycleEnded;
    }
    if (StopRequested())
        return teStep::Stopped;
    SSlaveRun& slave = m_slaves[m_nCursor++];
    slave.eState = Step(slave);
    if (m_bLineFailed)
        return teStep::LineFailed;
    if (m_bStopped)
        return teStep::Stopped;
    return teStep::Stepped;
}

std::string DiagnosisEventText(const SSlaveConfig& config, const std::vector<std::uint8_t>& abyDiag)
{
    std::string strText = SlaveName(config) + ": diagnosis: ";
    SSlaveDiag diag;
    if (!DecodeSlaveDiag(ByteView(abyDiag.data(), abyDiag.size()), diag))
        return strText + "not a diagnosis (" + std::to_string(abyDiag.size()) + " bytes)";
    return strText + DiagnosisText(diag, &config.diagTexts);
}

} // namespace dp
