#include "dp/slave/SimulatedSlave.h"

#include "dp/fdl/FunctionCodes.h"
#include "dp/services/ServiceData.h"

#include "sim/Generators.h"

#include <algorithm>
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
    m_image.byPresent = 1;
    m_image.byInputLength = definition.byInputLength;
    m_image.byOutputLength = definition.byOutputLength;
    const std::size_t nGenerators =
        std::min<std::size_t>(definition.aGenerators.size(), korix::kMaxGenerators);
    std::copy_n(definition.aGenerators.begin(), nGenerators, m_image.aGenerators);
    m_image.byGeneratorCount = static_cast<std::uint8_t>(nGenerators);
    const std::size_t nInputs =
        std::min<std::size_t>(definition.abyInitialInputs.size(), definition.byInputLength);
    std::copy_n(definition.abyInitialInputs.begin(), nInputs, m_image.abyInput);
}

bool CSimulatedSlave::SetInputs(std::uint8_t byOffset, const std::vector<std::uint8_t>& abyBytes)
{
    if (byOffset + abyBytes.size() > m_definition.byInputLength)
        return false;
    std::copy(abyBytes.begin(), abyBytes.end(), m_image.abyInput + byOffset);
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
    std::memset(m_image.abyOutput, 0, sizeof m_image.abyOutput);
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
    // Only our master keeps us alive: a master that merely reads us must not hold up our
    // falling back when our own one has gone. (A Set_Prm that makes it our master starts the
    // count, below.)
    if (request.bySa == m_byMaster)
        m_qwLastTelegramMs = qwNowMs;
    if (request.byDa == kBroadcastAddress)
    {
        Execute(request, qwNowMs, answer); // broadcasts are never answered
        return false;
    }
    SFrameCount& count = FrameCountOf(request.bySa);
    const bool bFcv = FcFcv(request.byFc);
    const bool bFcb = FcFcb(request.byFc);
    if (bFcv && count.bFcbKnown && bFcb == count.bLastFcb)
    {
        // The requester missed our answer and repeats: the same answer once more.
        answer = count.lastAnswer;
        return count.bLastAnswered;
    }
    count.bFcbKnown = bFcv;
    count.bLastFcb = bFcb;
    const std::uint8_t byMasterBefore = m_byMaster;
    count.bLastAnswered = Execute(request, qwNowMs, answer);
    count.lastAnswer = answer;
    if (m_byMaster != byMasterBefore)
        m_qwLastTelegramMs = qwNowMs;
    return count.bLastAnswered;
}

CSimulatedSlave::SFrameCount& CSimulatedSlave::FrameCountOf(std::uint8_t byRequester)
{
    for (SFrameCount& count : m_frameCounts)
    {
        if (count.byRequester == byRequester)
            return count;
    }
    // Requesters are station addresses: at most 128 records, however many masters ask.
    m_frameCounts.push_back(SFrameCount{});
    m_frameCounts.back().byRequester = byRequester;
    return m_frameCounts.back();
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
        WithData(request, RespDataLow, m_image.abyInput, m_definition.byInputLength, answer);
        return true;
    case kSapReadOutputs:
        WithData(request, RespDataLow, m_image.abyOutput, m_definition.byOutputLength, answer);
        return true;
    case kSapGlobalControl:
        GlobalControl(request);
        return false;
    default:
        Plain(request, RespNoService, answer);
        return true;
    }
}

std::size_t CSimulatedSlave::MakeDiagnosis(std::uint8_t* pby)
{
    SSlaveDiag diag;
    diag.byStatus2 = kDiag2AlwaysOne;
    if (m_eState != teSlaveState::DataExchange)
    {
        diag.byStatus1 |= kDiag1StationNotReady;
        diag.byStatus2 |= kDiag2PrmRequest;
    }
    if (m_bPrmFault)
        diag.byStatus1 |= kDiag1PrmFault;
    if (m_bCfgFault)
        diag.byStatus1 |= kDiag1ConfigFault;
    if (m_faults.bDiagnosis)
        diag.byStatus1 |= kDiag1ExtDiag;
    if (m_bWatchdogOn)
        diag.byStatus2 |= kDiag2WatchdogOn;
    diag.byMasterAddress = m_byMaster;
    diag.wIdent = m_definition.wIdent;
    // One device block: its header (length 3, the header included), a maker's code and the
    // slave's address, so that a reader can tell whose diagnosis it holds.
    const std::uint8_t abyDevice[] = {DiagBlockHeader(teDiagBlock::Device, 3), 0x5A,
                                      m_definition.byAddress};
    if (m_faults.bDiagnosis)
        diag.extended = ByteView(abyDevice, sizeof abyDevice);
    m_bDiagnosisWaits = false;
    return EncodeSlaveDiag(diag, pby, kMaxDiagBytes);
}

void CSimulatedSlave::SetPrm(const STelegram& request)
{
    const bool bLocked = m_eState == teSlaveState::DataExchange && m_byMaster != kDiagNoMaster &&
                         m_byMaster != request.bySa;
    if (bLocked)
        return; // in data exchange with another master: that one keeps us
    SSetPrm prm;
    const bool bGood = DecodeSetPrm(ByteView(request.abyData, request.byDataLength), prm) &&
                       prm.wIdent == m_definition.wIdent &&
                       std::equal(prm.userPrm.begin(), prm.userPrm.end(),
                                  m_definition.abyUserPrm.begin(), m_definition.abyUserPrm.end());
    m_bPrmFault = !bGood;
    m_bCfgFault = false;
    if (!bGood)
    {
        FallBack();
        return;
    }
    m_byMaster = request.bySa;
    m_byGroup = prm.byGroup;
    if (prm.byMinTsdr != 0)
        m_byMinTsdr = prm.byMinTsdr;
    m_bWatchdogOn = (prm.byStationStatus & kPrmWatchdogOn) != 0;
    m_dwWatchdogMs = kWatchdogUnitMs * prm.byWatchdogFactor1 * prm.byWatchdogFactor2;
    m_eState = teSlaveState::WaitCfg;
}

void CSimulatedSlave::CheckConfig(const STelegram& request)
{
    if (m_eState == teSlaveState::WaitPrm || request.bySa != m_byMaster)
        return;
    // The slave compares the identifiers byte for byte, as real slaves compare them with their
    // own configuration.
    const bool bGood = std::equal(request.abyData, request.abyData + request.byDataLength,
                                  m_definition.abyConfig.begin(), m_definition.abyConfig.end());
    m_bCfgFault = !bGood;
    if (!bGood)
    {
        FallBack();
        return;
    }
    m_eState = teSlaveState::DataExchange;
}

void CSimulatedSlave::GlobalControl(const STelegram& request)
{
    // Only from the master that parameterised us, and only for our group (or every group);
    // Clear_Data sets the outputs to 0.
    SGlobalControl control;
    if (request.bySa != m_byMaster ||
        !DecodeGlobalControl(ByteView(request.abyData, request.byDataLength), control))
        return;
    if (control.byGroups != 0 && (control.byGroups & m_byGroup) == 0)
        return;
    if ((control.byControl & kControlClearData) != 0)
        std::memset(m_image.abyOutput, 0, sizeof m_image.abyOutput);
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
        std::memset(m_image.abyOutput, 0, m_definition.byOutputLength);
    else
        std::memcpy(m_image.abyOutput, request.abyData, request.byDataLength);
    ++m_dwDataExchanges;
    FillInputs(qwNowMs);
    const std::uint8_t byCode = m_bDiagnosisWaits ? RespDataHigh : RespDataLow;
    if (m_definition.byInputLength == 0 && byCode == RespDataLow)
    {
        ShortAck(answer);
        return true;
    }
    WithData(request, byCode, m_image.abyInput, m_definition.byInputLength, answer);
    return true;
}

void CSimulatedSlave::FillInputs(std::uint64_t qwNowMs)
{
    if (!m_bEpochSet)
    {
        m_qwEpochMs = qwNowMs;
        m_bEpochSet = true;
    }
    // The board's generators count time in 32-bit milliseconds, as the board's tick count.
    korix::ApplyGenerators(m_image, static_cast<std::uint32_t>(qwNowMs - m_qwEpochMs));
}

} // namespace dp
