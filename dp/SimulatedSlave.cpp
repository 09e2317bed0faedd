#include "dp/SimulatedSlave.h"

#include "dp/FunctionCodes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dp
{

namespace
{

void ShortAck(STelegram& answer)
{
    answer = STelegram{};
    answer.eFrame = teFrame::ShortAck;
}

void Plain(const STelegram& request, std::uint8_t byCode, STelegram& answer)
{
    answer = STelegram{};
    answer.eFrame = teFrame::Sd1;
    answer.byDa = request.bySa;
    answer.bySa = request.byDa;
    answer.byFc = ResponseFc(byCode);
}

void WithData(const STelegram& request, std::uint8_t byCode, const std::uint8_t* pbyData,
              std::size_t nCount, STelegram& answer)
{
    answer = STelegram{};
    answer.byDa = request.bySa;
    answer.bySa = request.byDa;
    answer.byFc = ResponseFc(byCode);
    // Answers to a SAP go back from that SAP to the requester's.
    if (request.bHasDsap && request.bHasSsap)
    {
        answer.bHasDsap = answer.bHasSsap = true;
        answer.byDsap = request.bySsap;
        answer.bySsap = request.byDsap;
    }
    answer.byDataLength = static_cast<std::uint8_t>(nCount);
    if (nCount != 0)
        std::memcpy(answer.abyData, pbyData, nCount);
    answer.eFrame = FrameForDataUnits(answer.DataUnits());
}

bool IsSrd(std::uint8_t byFc)
{
    return FcCode(byFc) == ReqSrdHigh || FcCode(byFc) == ReqSrdLow;
}

} // namespace

CSimulatedSlave::CSimulatedSlave(const SSlaveDefinition& definition) : m_definition(definition)
{
    std::copy(definition.abyInitialInputs.begin(), definition.abyInitialInputs.end(), m_abyInputs);
}

bool CSimulatedSlave::SetInputs(std::uint8_t byOffset, const std::vector<std::uint8_t>& abyBytes)
{
    if (byOffset + abyBytes.size() > m_definition.byInputLength)
        return false;
    std::copy(abyBytes.begin(), abyBytes.end(), m_abyInputs + byOffset);
    return true;
}

void CSimulatedSlave::FlagDiagnosis(bool bOn)
{
    m_faults.bDiagnosis = bOn;
    m_bDiagnosisWaits = true;
}

void CSimulatedSlave::FallBack()
{
    m_eState = teSlaveState::WaitPrm;
    std::memset(m_abyOutputs, 0, sizeof m_abyOutputs);
}

void CSimulatedSlave::Tick(std::uint64_t qwNowMs)
{
    if (m_eState == teSlaveState::DataExchange && m_bWatchdogOn &&
        qwNowMs - m_qwLastTelegramMs > m_dwWatchdogMs)
        FallBack();
}

bool CSimulatedSlave::Handle(const STelegram& request, std::uint64_t qwNowMs, STelegram& answer)
{
    if (!IsRequestFc(request.byFc) || request.eFrame == teFrame::Sd4 ||
        request.eFrame == teFrame::ShortAck)
        return false;
    Tick(qwNowMs);
    m_qwLastTelegramMs = qwNowMs;
    if (request.byDa == kBroadcastAddress)
    {
        Execute(request, qwNowMs, answer); // broadcasts are never answered
        return false;
    }
    const bool bFcv = FcFcv(request.byFc);
    const bool bFcb = FcFcb(request.byFc);
    if (bFcv && m_bFcbKnown && bFcb == m_bLastFcb)
    {
        // The requester missed our answer and repeats: the same answer once more.
        answer = m_lastAnswer;
        return m_bLastAnswered;
    }
    m_bFcbKnown = bFcv;
    m_bLastFcb = bFcb;
    m_bLastAnswered = Execute(request, qwNowMs, answer);
    m_lastAnswer = answer;
    return m_bLastAnswered;
}

bool CSimulatedSlave::Execute(const STelegram& request, std::uint64_t qwNowMs, STelegram& answer)
{
    const std::uint8_t byCode = FcCode(request.byFc);
    if (byCode == ReqFdlStatus)
    {
        Plain(request, RespOk, answer);
        return true;
    }
    if (!request.bHasDsap)
    {
        if (IsSrd(request.byFc))
            return DataExchange(request, qwNowMs, answer);
        Plain(request, RespNoService, answer);
        return true;
    }
    if (!request.bHasSsap || request.bySsap != kSapMaster)
    {
        Plain(request, RespNoService, answer);
        return request.byDa != kBroadcastAddress;
    }
    switch (request.byDsap)
    {
    case kSapSlaveDiag:
    {
        std::uint8_t abyDiag[kMaxDiagBytes];
        std::size_t nDiag = MakeDiagnosis(abyDiag);
        WithData(request, RespDataLow, abyDiag, nDiag, answer);
        return true;
    }
    case kSapSetPrm:
        SetPrm(request);
        ShortAck(answer);
        return true;
    case kSapCheckConfig:
        CheckConfig(request);
        ShortAck(answer);
        return true;
    case kSapGetConfig:
        WithData(request, RespDataLow, m_definition.abyConfig.data(), m_definition.abyConfig.size(),
                 answer);
        return true;
    case kSapReadInputs:
        FillInputs(qwNowMs);
        WithData(request, RespDataLow, m_abyInputs, m_definition.byInputLength, answer);
        return true;
    case kSapReadOutputs:
        WithData(request, RespDataLow, m_abyOutputs, m_definition.byOutputLength, answer);
        return true;
    case kSapGlobalControl:
        // Only from the master that parameterised us; Clear_Data sets the outputs to 0.
        if (request.bySa == m_byMaster && request.byDataLength >= 1 &&
            (request.abyData[0] & kControlClearData) != 0)
            std::memset(m_abyOutputs, 0, sizeof m_abyOutputs);
        return false;
    default:
        Plain(request, RespNoService, answer);
        return true;
    }
}

std::size_t CSimulatedSlave::MakeDiagnosis(std::uint8_t* pby)
{
    std::uint8_t byStatus1 = 0;
    std::uint8_t byStatus2 = kDiag2AlwaysOne;
    if (m_eState != teSlaveState::DataExchange)
    {
        byStatus1 |= kDiag1StationNotReady;
        byStatus2 |= kDiag2PrmRequest;
    }
    if (m_bPrmFault)
        byStatus1 |= kDiag1PrmFault;
    if (m_bCfgFault)
        byStatus1 |= kDiag1ConfigFault;
    if (m_faults.bDiagnosis)
        byStatus1 |= kDiag1ExtDiag;
    if (m_bWatchdogOn)
        byStatus2 |= kDiag2WatchdogOn;
    pby[0] = byStatus1;
    pby[1] = byStatus2;
    pby[2] = 0;
    pby[3] = m_byMaster;
    pby[4] = static_cast<std::uint8_t>(m_definition.wIdent >> 8);
    pby[5] = static_cast<std::uint8_t>(m_definition.wIdent);
    std::size_t nCount = kDiagFixedBytes;
    if (m_faults.bDiagnosis)
    {
        // One device-related block: header (length 3, this byte included), then 2 bytes.
        pby[6] = 0x03;
        pby[7] = 0x5A;
        pby[8] = m_definition.byAddress;
        nCount += 3;
    }
    m_bDiagnosisWaits = false;
    return nCount;
}

void CSimulatedSlave::SetPrm(const STelegram& request)
{
    const std::uint8_t* pby = request.abyData;
    const std::size_t nUser =
        request.byDataLength >= kPrmFixedBytes ? request.byDataLength - kPrmFixedBytes : 0;
    const bool bLocked = m_eState == teSlaveState::DataExchange && m_byMaster != kDiagNoMaster &&
                         m_byMaster != request.bySa;
    if (bLocked)
        return; // in data exchange with another master: that one keeps us
    const bool bGood = request.byDataLength >= kPrmFixedBytes &&
                       ((pby[4] << 8) | pby[5]) == m_definition.wIdent &&
                       nUser == m_definition.abyUserPrm.size() &&
                       std::equal(m_definition.abyUserPrm.begin(), m_definition.abyUserPrm.end(),
                                  pby + kPrmFixedBytes);
    m_bPrmFault = !bGood;
    m_bCfgFault = false;
    if (!bGood)
    {
        FallBack();
        return;
    }
    m_byMaster = request.bySa;
    m_bWatchdogOn = (pby[0] & kPrmWatchdogOn) != 0;
    m_dwWatchdogMs = 10u * pby[1] * pby[2];
    m_eState = teSlaveState::WaitCfg;
}

void CSimulatedSlave::CheckConfig(const STelegram& request)
{
    if (m_eState == teSlaveState::WaitPrm || request.bySa != m_byMaster)
        return;
    const bool bGood =
        request.byDataLength == m_definition.abyConfig.size() &&
        std::equal(m_definition.abyConfig.begin(), m_definition.abyConfig.end(), request.abyData);
    m_bCfgFault = !bGood;
    if (!bGood)
    {
        FallBack();
        return;
    }
    m_eState = teSlaveState::DataExchange;
}

bool CSimulatedSlave::DataExchange(const STelegram& request, std::uint64_t qwNowMs,
                                   STelegram& answer)
{
    if (m_eState != teSlaveState::DataExchange || request.bySa != m_byMaster)
    {
        Plain(request, RespNoService, answer);
        return true;
    }
    // A master in the clear state may send no outputs at all; any other length is wrong.
    if (request.byDataLength != m_definition.byOutputLength && request.byDataLength != 0)
    {
        m_bCfgFault = true;
        FallBack();
        Plain(request, RespNoService, answer);
        return true;
    }
    if (request.byDataLength == 0)
        std::memset(m_abyOutputs, 0, m_definition.byOutputLength);
    else
        std::memcpy(m_abyOutputs, request.abyData, request.byDataLength);
    ++m_dwDataExchanges;
    FillInputs(qwNowMs);
    const std::uint8_t byCode = m_bDiagnosisWaits ? RespDataHigh : RespDataLow;
    if (m_definition.byInputLength == 0 && byCode == RespDataLow)
    {
        ShortAck(answer);
        return true;
    }
    WithData(request, byCode, m_abyInputs, m_definition.byInputLength, answer);
    return true;
}

void CSimulatedSlave::FillInputs(std::uint64_t qwNowMs)
{
    if (!m_bEpochSet)
    {
        m_qwEpochMs = qwNowMs;
        m_bEpochSet = true;
    }
    const std::uint64_t qwElapsed = qwNowMs - m_qwEpochMs;
    for (SInputGenerator& generator : m_definition.aGenerators)
    {
        std::uint8_t* pby = m_abyInputs + generator.byOffset;
        const std::uint32_t dwPeriod = std::max<std::uint32_t>(generator.dwPeriodMs, 1);
        std::uint64_t qwValue = 0;
        switch (generator.eKind)
        {
        case teInputKind::Constant:
            continue;
        case teInputKind::Loopback:
            std::memcpy(pby, m_abyOutputs + generator.bySource, generator.byLength);
            continue;
        case teInputKind::Random:
            for (std::uint8_t i = 0; i < generator.byLength; ++i)
            {
                std::uint32_t dw = generator.dwSeed;
                dw ^= dw << 13;
                dw ^= dw >> 17;
                dw ^= dw << 5;
                generator.dwSeed = dw;
                pby[i] = static_cast<std::uint8_t>(dw);
            }
            continue;
        case teInputKind::Counter:
            qwValue = qwElapsed / dwPeriod;
            break;
        case teInputKind::Sine:
        {
            const double dPhase =
                2.0 * 3.14159265358979323846 * static_cast<double>(qwElapsed % dwPeriod) / dwPeriod;
            const auto nValue =
                static_cast<std::int64_t>(std::lround(generator.nAmplitude * std::sin(dPhase)));
            qwValue = static_cast<std::uint64_t>(nValue); // two's complement, cut to the length
            break;
        }
        }
        for (int i = generator.byLength - 1; i >= 0; --i, qwValue >>= 8)
            pby[i] = static_cast<std::uint8_t>(qwValue);
    }
}

} // namespace dp
