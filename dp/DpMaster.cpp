#include "dp/DpMaster.h"

#include "dp/DpServices.h"
#include "dp/FunctionCodes.h"
#include "dp/SlaveResponder.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace dp
{

namespace
{

// How often a slave that answers but is not ready yet is asked again before it is started anew.
constexpr std::uint32_t kReadyTries = 50;

std::string SlaveName(const SSlaveConfig& config)
{
    return "slave " + std::to_string(config.byAddress);
}

bool IsPositiveAck(const STelegram& answer)
{
    return answer.eFrame == teFrame::ShortAck ||
           (answer.eFrame == teFrame::Sd1 && FcCode(answer.byFc) == RespOk);
}

void SleepUntil(std::uint64_t qwDeadlineNs)
{
    std::uint64_t qwNow = MonotonicNs();
    if (qwNow >= qwDeadlineNs)
        return;
    std::uint64_t qwWait = qwDeadlineNs - qwNow;
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(qwWait / 1000000000u);
    ts.tv_nsec = static_cast<long>(qwWait % 1000000000u);
    nanosleep(&ts, nullptr);
}

} // namespace

CDpMaster::CDpMaster(CSerialPort& port, const SMasterConfig& config)
    : m_port(port), m_config(config)
{
    for (const SSlaveConfig& slaveConfig : config.slaves)
    {
        SSlave slave;
        slave.config = slaveConfig;
        slave.status.strProblem = "not started";
        m_slaves.push_back(slave);
    }
}

void CDpMaster::Event(const std::string& strText)
{
    if (m_pfnEvent)
        m_pfnEvent(strText);
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
    SSlave& slave = m_slaves[nIndex];
    std::memcpy(slave.status.abyOutputs, pbyOutputs,
                std::min<std::size_t>(nCount, slave.config.byOutputLength));
}

void CDpMaster::SetMode(teMasterMode eMode)
{
    if (eMode != m_eMode)
        m_bModeAnnounced = false;
    m_eMode = eMode;
}

void CDpMaster::Enter(SSlave& slave, teBoardSlaveState eState, const std::string& strWhy)
{
    if (slave.status.eState != eState || slave.status.strProblem != strWhy)
    {
        std::string strText = SlaveName(slave.config) + ": ";
        switch (eState)
        {
        case SlaveDataExchange:
            strText += "data exchange";
            break;
        case SlaveDiagnosisPending:
            strText += "data exchange, diagnosis pending";
            break;
        default:
            strText += strWhy;
            break;
        }
        if (slave.status.eState != eState)
            Event(strText);
    }
    slave.status.eState = eState;
    slave.status.strProblem = strWhy;
}

void CDpMaster::Restart(SSlave& slave, teBoardSlaveState eState, const std::string& strWhy)
{
    Enter(slave, eState, strWhy);
    slave.eStep = teStep::Waiting;
    slave.qwWaitUntilNs = MonotonicNs() + m_config.dwRestartIntervalMs * 1000000ull;
}

STelegram CDpMaster::Request(SSlave& slave, std::uint8_t byCode, bool bWithSaps,
                             std::uint8_t byDsap)
{
    STelegram request;
    request.byDa = slave.config.byAddress;
    request.bySa = m_config.byMasterAddress;
    request.byFc = RequestFc(byCode, slave.bFcb, slave.bFcv);
    if (bWithSaps)
    {
        request.bHasDsap = request.bHasSsap = true;
        request.byDsap = byDsap;
        request.bySsap = kSapMaster;
    }
    return request;
}

void CDpMaster::WaitForLine()
{
    SleepUntil(m_qwLineFreeAtNs);
}

bool CDpMaster::Send(const STelegram& telegram, std::size_t& nBytes)
{
    std::uint8_t abyBytes[kMaxTelegramSize];
    nBytes = EncodeTelegram(telegram, abyBytes, sizeof abyBytes);
    if (nBytes == 0)
        return false;
    WaitForLine();
    // After an exchange that went wrong, what is still in the buffer belongs to it: late
    // answers, noise. After a clean one the line is quiet and the parser's reset is enough.
    if (m_bLineDirty)
    {
        std::uint8_t abyStale[256];
        while (m_port.Read(abyStale, sizeof abyStale, 0) > 0)
        {
        }
        m_bLineDirty = false;
    }
    m_parser.Reset();
    return m_port.Write(abyBytes, nBytes);
}

CDpMaster::teReply CDpMaster::Receive(std::uint8_t byFrom, std::uint64_t qwFirstByteDeadlineNs,
                                      STelegram& answer)
{
    const std::uint64_t qwCharacterNs =
        BitsToNanoseconds(kBitsPerCharacter, m_config.bus.dwBaudRate);
    const std::uint64_t qwAllowanceNs = m_config.dwResponseAllowanceUs * 1000ull;
    std::uint64_t qwDeadline = qwFirstByteDeadlineNs;
    std::uint8_t abyBuffer[512];
    for (;;)
    {
        const std::uint64_t qwNow = MonotonicNs();
        long nRead = qwNow < qwDeadline
                         ? m_port.Read(abyBuffer, sizeof abyBuffer, qwDeadline - qwNow)
                         : m_port.Read(abyBuffer, sizeof abyBuffer, 0);
        if (nRead < 0)
            return teReply::PortFailed;
        bool bFound = false;
        if (nRead == 0)
        {
            if (MonotonicNs() < qwDeadline)
                continue;
            bFound = m_parser.NoteIdle();
            if (!bFound)
                return teReply::NoAnswer;
        }
        const std::uint64_t qwArrived = MonotonicNs();
        // The characters of a telegram come without gaps: after each byte, the next is due
        // within a character time or two (and what the system adds).
        qwDeadline = qwArrived + 2 * qwCharacterNs + qwAllowanceNs;
        std::size_t nAt = 0;
        do
        {
            if (!bFound)
                nAt += m_parser.Feed(abyBuffer + nAt, static_cast<std::size_t>(nRead) - nAt);
            bFound = false;
            STelegram telegram;
            while (m_parser.Take(telegram))
            {
                if (telegram.eFrame == teFrame::Sd4 ||
                    (telegram.eFrame != teFrame::ShortAck && IsRequestFc(telegram.byFc)))
                {
                    ++m_counters.dwEchoes; // our own request, or another master's
                    continue;
                }
                if (telegram.eFrame != teFrame::ShortAck &&
                    (telegram.byDa != m_config.byMasterAddress || telegram.bySa != byFrom))
                    continue; // not for us or not from the station asked
                answer = telegram;
                m_qwLineFreeAtNs = qwArrived + BitsToNanoseconds(IdleTime1Bits(m_config.bus),
                                                                 m_config.bus.dwBaudRate);
                return teReply::Answered;
            }
        } while (nAt < static_cast<std::size_t>(nRead));
    }
}

CDpMaster::teReply CDpMaster::Transact(SSlave* pSlave, STelegram& request, STelegram& answer)
{
    const std::uint32_t dwAttempts = 1 + m_config.bus.dwRetryLimit;
    for (std::uint32_t dwAttempt = 0; dwAttempt < dwAttempts; ++dwAttempt)
    {
        if (dwAttempt != 0 && pSlave != nullptr)
            ++pSlave->status.counters.dwRetries;
        std::size_t nBytes = 0;
        if (!Send(request, nBytes))
            return teReply::PortFailed;
        const std::uint64_t qwSent = MonotonicNs();
        // Our telegram is on the wire until its last character; then the slot time runs.
        const std::uint64_t qwDeadline =
            qwSent +
            BitsToNanoseconds(nBytes * kBitsPerCharacter + m_config.bus.dwSlotTime,
                              m_config.bus.dwBaudRate) +
            m_config.dwResponseAllowanceUs * 1000ull;
        teReply eReply = Receive(request.byDa, qwDeadline, answer);
        if (eReply != teReply::NoAnswer)
            return eReply;
        m_bLineDirty = true;
    }
    if (pSlave != nullptr)
        ++pSlave->status.counters.dwNoAnswer;
    return teReply::NoAnswer;
}

bool CDpMaster::SendGlobalControl()
{
    STelegram request;
    request.eFrame = teFrame::Sd2;
    request.byDa = kBroadcastAddress;
    request.bySa = m_config.byMasterAddress;
    request.byFc = RequestFc(ReqSdnHigh, false, false);
    request.bHasDsap = request.bHasSsap = true;
    request.byDsap = kSapGlobalControl;
    request.bySsap = kSapMaster;
    request.abyData[0] = m_eMode == MasterOperate ? 0 : kControlClearData;
    request.abyData[1] = 0; // every group
    request.byDataLength = 2;
    std::size_t nBytes = 0;
    if (!Send(request, nBytes))
        return false;
    // Nobody answers a broadcast: the line is free after the telegram and TID2.
    m_qwLineFreeAtNs =
        MonotonicNs() + BitsToNanoseconds(nBytes * kBitsPerCharacter + IdleTime2Bits(m_config.bus),
                                          m_config.bus.dwBaudRate);
    ++m_counters.dwGlobalControls;
    m_qwLastGlobalControlNs = MonotonicNs();
    m_bModeAnnounced = true;
    return true;
}

bool CDpMaster::TakeDiagnosis(SSlave& slave, const STelegram& answer)
{
    if (answer.eFrame == teFrame::ShortAck || answer.byDataLength < kDiagFixedBytes ||
        (FcCode(answer.byFc) != RespDataLow && FcCode(answer.byFc) != RespDataHigh))
        return false;
    slave.status.byDiagLength = answer.byDataLength;
    std::memcpy(slave.status.abyDiag, answer.abyData, answer.byDataLength);
    ++slave.status.counters.dwDiagnoses;
    return true;
}

bool CDpMaster::RunCycle()
{
    const std::uint64_t qwStart = MonotonicNs();
    if (m_eMode == MasterClear || m_eMode == MasterOperate)
    {
        const bool bDue =
            m_config.dwGlobalControlIntervalMs != 0 &&
            qwStart - m_qwLastGlobalControlNs >= m_config.dwGlobalControlIntervalMs * 1000000ull;
        if ((!m_bModeAnnounced || bDue) && !SendGlobalControl())
            return false;
        for (SSlave& slave : m_slaves)
        {
            if (!StepSlave(slave))
                return false;
        }
    }
    const std::uint64_t qwTook = MonotonicNs() - qwStart;
    ++m_counters.qwCycles;
    m_counters.qwLastCycleNs = qwTook;
    m_counters.qwMaxCycleNs = std::max(m_counters.qwMaxCycleNs, qwTook);
    return true;
}

bool CDpMaster::StepSlave(SSlave& slave)
{
    SSlaveStatus& status = slave.status;
    STelegram answer;
    teReply eReply = teReply::NoAnswer;
    const SSlaveConfig& config = slave.config;

    switch (slave.eStep)
    {
    case teStep::Waiting:
        if (MonotonicNs() < slave.qwWaitUntilNs)
            return true;
        slave.eStep = teStep::FdlStatus;
        [[fallthrough]];
    case teStep::FdlStatus:
    {
        if (slave.bStarted)
            ++status.counters.dwRestarts;
        slave.bStarted = true;
        slave.bFcb = true;
        slave.bFcv = false;
        slave.dwReadyTries = 0;
        // The FDL status request carries neither FCB nor FCV; the frame count starts after it.
        STelegram request = Request(slave, ReqFdlStatus, false, 0);
        request.byFc = RequestFc(ReqFdlStatus, false, false);
        eReply = Transact(&slave, request, answer);
        if (eReply == teReply::PortFailed)
            return false;
        if (eReply == teReply::NoAnswer)
        {
            Restart(slave, SlaveNotReachable, "no answer");
            return true;
        }
        if (answer.eFrame != teFrame::Sd1)
        {
            ++status.counters.dwBadAnswers;
            Restart(slave, SlaveNotReachable, "no FDL status");
            return true;
        }
        // A slave that refused its parameters keeps that state until it takes them: the
        // board shows the fault, not a flicker through "being parameterised" at every try.
        if (status.eState != SlaveConfigFault && status.eState != SlaveStopped)
            Enter(slave, SlaveParameterising, "being parameterised");
        slave.eStep = teStep::FirstDiag;
        return true;
    }
    default:
        break;
    }

    // Every further request counts frames: a repetition keeps its FCB, a new request toggles it.
    STelegram request;
    switch (slave.eStep)
    {
    case teStep::FirstDiag:
    case teStep::ReadyDiag:
        request = Request(slave, ReqSrdHigh, true, kSapSlaveDiag);
        break;
    case teStep::SetPrm:
    {
        request = Request(slave, ReqSrdHigh, true, kSapSetPrm);
        std::uint8_t* pby = request.abyData;
        std::uint8_t byFactor1 = 1, byFactor2 = 1;
        const bool bWatchdog =
            config.dwWatchdogMs != 0 && WatchdogFactors(config.dwWatchdogMs, byFactor1, byFactor2);
        pby[0] = static_cast<std::uint8_t>(kPrmLockRequest | (bWatchdog ? kPrmWatchdogOn : 0));
        pby[1] = byFactor1;
        pby[2] = byFactor2;
        pby[3] = static_cast<std::uint8_t>(std::min<std::uint32_t>(m_config.bus.dwMinTsdr, 255));
        pby[4] = static_cast<std::uint8_t>(config.wIdent >> 8);
        pby[5] = static_cast<std::uint8_t>(config.wIdent);
        pby[6] = config.byGroup;
        std::copy(config.abyUserPrm.begin(), config.abyUserPrm.end(), pby + kPrmFixedBytes);
        request.byDataLength = static_cast<std::uint8_t>(kPrmFixedBytes + config.abyUserPrm.size());
        break;
    }
    case teStep::CheckConfig:
        request = Request(slave, ReqSrdHigh, true, kSapCheckConfig);
        std::copy(config.abyConfig.begin(), config.abyConfig.end(), request.abyData);
        request.byDataLength = static_cast<std::uint8_t>(config.abyConfig.size());
        break;
    case teStep::DataExchange:
        if (slave.bDiagWanted)
        {
            request = Request(slave, ReqSrdHigh, true, kSapSlaveDiag);
            break;
        }
        request = Request(slave, ReqSrdHigh, false, 0);
        // In the clear mode the slaves get zeros: their outputs go to the safe state.
        if (m_eMode == MasterOperate)
            std::memcpy(request.abyData, status.abyOutputs, config.byOutputLength);
        else
            std::memset(request.abyData, 0, config.byOutputLength);
        request.byDataLength = config.byOutputLength;
        break;
    default:
        return true;
    }
    request.eFrame = FrameForDataUnits(request.DataUnits());
    eReply = Transact(&slave, request, answer);
    if (eReply == teReply::PortFailed)
        return false;
    if (eReply == teReply::NoAnswer)
    {
        Restart(slave, SlaveNotReachable, "stopped answering");
        return true;
    }
    // Answered: the next new request toggles the frame count bit.
    slave.bFcv = true;
    slave.bFcb = !slave.bFcb;

    switch (slave.eStep)
    {
    case teStep::FirstDiag:
    {
        if (!TakeDiagnosis(slave, answer))
        {
            ++status.counters.dwBadAnswers;
            Restart(slave, SlaveNotReachable, "no diagnosis");
            return true;
        }
        const std::uint16_t wIdent =
            static_cast<std::uint16_t>((answer.abyData[4] << 8) | answer.abyData[5]);
        if (wIdent != config.wIdent)
        {
            char szWhy[80];
            std::snprintf(szWhy, sizeof szWhy, "ident number 0x%04X, expected 0x%04X", wIdent,
                          config.wIdent);
            Restart(slave, SlaveConfigFault, szWhy);
            return true;
        }
        if ((answer.abyData[0] & kDiag1MasterLock) != 0 &&
            answer.abyData[3] != m_config.byMasterAddress && answer.abyData[3] != kDiagNoMaster)
        {
            Restart(slave, SlaveStopped, "held by master " + std::to_string(answer.abyData[3]));
            return true;
        }
        slave.eStep = teStep::SetPrm;
        return true;
    }
    case teStep::SetPrm:
    case teStep::CheckConfig:
        if (!IsPositiveAck(answer))
        {
            ++status.counters.dwBadAnswers;
            Restart(slave, SlaveConfigFault,
                    slave.eStep == teStep::SetPrm ? "Set_Prm not acknowledged"
                                                  : "Chk_Cfg not acknowledged");
            return true;
        }
        slave.eStep = slave.eStep == teStep::SetPrm ? teStep::CheckConfig : teStep::ReadyDiag;
        return true;
    case teStep::ReadyDiag:
    {
        if (!TakeDiagnosis(slave, answer))
        {
            ++status.counters.dwBadAnswers;
            Restart(slave, SlaveNotReachable, "no diagnosis");
            return true;
        }
        const std::uint8_t byStatus1 = answer.abyData[0];
        const std::uint8_t byStatus2 = answer.abyData[1];
        if ((byStatus1 & kDiag1PrmFault) != 0)
        {
            Restart(slave, SlaveConfigFault, "parameters refused");
            return true;
        }
        if ((byStatus1 & kDiag1ConfigFault) != 0)
        {
            Restart(slave, SlaveConfigFault, "configuration refused");
            return true;
        }
        if ((byStatus1 & (kDiag1StationNotReady | kDiag1NotSupported)) != 0 ||
            (byStatus2 & (kDiag2PrmRequest | kDiag2StatDiag)) != 0)
        {
            if (++slave.dwReadyTries >= kReadyTries)
                Restart(slave, SlaveParameterising, "does not become ready");
            return true;
        }
        slave.eStep = teStep::DataExchange;
        slave.bDiagWanted = false;
        Enter(slave, (byStatus1 & kDiag1ExtDiag) != 0 ? SlaveDiagnosisPending : SlaveDataExchange,
              "");
        return true;
    }
    case teStep::DataExchange:
        break;
    default:
        return true;
    }

    if (slave.bDiagWanted)
    {
        if (!TakeDiagnosis(slave, answer))
        {
            ++status.counters.dwBadAnswers;
            Restart(slave, SlaveNotReachable, "no diagnosis");
            return true;
        }
        slave.bDiagWanted = false;
        if ((answer.abyData[1] & kDiag2PrmRequest) != 0 ||
            (answer.abyData[0] & kDiag1StationNotReady) != 0)
        {
            Restart(slave, SlaveParameterising, "asks for parameters again");
            slave.qwWaitUntilNs = 0;
            return true;
        }
        Enter(slave,
              (answer.abyData[0] & kDiag1ExtDiag) != 0 ? SlaveDiagnosisPending : SlaveDataExchange,
              "");
        return true;
    }

    // The Data_Exchange answer: the inputs, or a bare acknowledgement for a slave without.
    const std::uint8_t byCode = FcCode(answer.byFc);
    const bool bData =
        answer.eFrame != teFrame::ShortAck && (byCode == RespDataLow || byCode == RespDataHigh);
    const bool bAck =
        answer.eFrame == teFrame::ShortAck || (answer.eFrame == teFrame::Sd1 && byCode == RespOk);
    if (bData && answer.byDataLength == config.byInputLength && !answer.bHasDsap)
    {
        std::memcpy(status.abyInputs, answer.abyData, answer.byDataLength);
        slave.bDiagWanted = byCode == RespDataHigh;
    }
    else if (!(bAck && config.byInputLength == 0))
    {
        // RS (the slave lost its parameters) or an answer of the wrong length: start anew.
        ++status.counters.dwBadAnswers;
        Restart(slave, SlaveParameterising,
                bData ? "answered with the wrong input length" : "left data exchange");
        slave.qwWaitUntilNs = 0;
        return true;
    }
    ++status.counters.dwExchanges;
    return true;
}

} // namespace dp
