#include "tests/dp/ScriptedSlave.h"

namespace dptest
{

namespace
{

// Function codes of a slave's answers (station type 00): data low priority, data high
// priority, no service (the SAP or service is not active).
constexpr std::uint8_t kFcDataLow = 0x08;
constexpr std::uint8_t kFcDataHigh = 0x0A;
constexpr std::uint8_t kFcNoService = 0x03;
constexpr std::uint8_t kFcStatusOk = 0x00;

constexpr std::uint8_t kSapReadInputs = 56;
constexpr std::uint8_t kSapReadOutputs = 57;
constexpr std::uint8_t kSapGetConfig = 59;
constexpr std::uint8_t kSapDiag = 60;
constexpr std::uint8_t kSapPrm = 61;
constexpr std::uint8_t kSapCfg = 62;
constexpr std::uint8_t kSapMaster = 62;
constexpr std::uint8_t kFdlStatusRequest = 0x49;

} // namespace

CScriptedSlave::CScriptedSlave(CScriptedLine& line, std::uint8_t byAddress, std::uint16_t wIdent,
                               std::uint8_t byInputs, std::uint8_t byOutputs)
    : CScriptedSlave([&line](std::uint64_t qwAtNs, const Bytes& abyBytes)
                     { line.Put(qwAtNs, abyBytes); },
                     line.BitNs(11), byAddress, wIdent, byInputs, byOutputs)
{
}

CScriptedSlave::CScriptedSlave(PFN_PUT pfnPut, std::uint64_t qwCharacterNs, std::uint8_t byAddress,
                               std::uint16_t wIdent, std::uint8_t byInputs, std::uint8_t byOutputs)
    : m_pfnPut(std::move(pfnPut)), m_qwCharacterNs(qwCharacterNs), m_byAddress(byAddress),
      m_wIdent(wIdent), m_wDiagIdent(wIdent), m_byInputs(byInputs), m_byOutputs(byOutputs),
      m_abyInputs(byInputs, 0), m_abyLastOutputs(byOutputs, 0)
{
    // General identifiers: bits 5-4 the direction (01 input, 10 output), bits 3-0 length - 1.
    if (byInputs != 0)
        m_abyConfig.push_back(static_cast<std::uint8_t>(0x10 | (byInputs - 1)));
    if (byOutputs != 0)
        m_abyConfig.push_back(static_cast<std::uint8_t>(0x20 | (byOutputs - 1)));
}

void CScriptedSlave::Respond(const dp::STelegram& request, std::uint64_t qwEndNs)
{
    if (request.byDa != m_byAddress)
        return;
    // min TSDR of 11 bits: the slave answers as soon as it may.
    SReply reply;
    reply.abyBytes = Answer(request);
    reply.qwDelayNs = m_qwCharacterNs;
    if (m_pfnFault)
        m_pfnFault(request, reply);
    if (!reply.abyBytes.empty())
        m_pfnPut(qwEndNs + reply.qwDelayNs, reply.abyBytes);
    if (!reply.abyLater.empty())
        m_pfnPut(qwEndNs + reply.qwLaterNs, reply.abyLater);
}

Bytes CScriptedSlave::Diagnosis(std::uint8_t byMasterAddress)
{
    // Station status 1: bit 1 not ready. Station status 2: bit 0 parameters wanted, bit 2
    // always one. Then the master's address (FF: none yet) and the ident, high byte first.
    std::uint8_t byStatus1 = m_eState == teState::DataExchange ? 0x00 : 0x02;
    std::uint8_t byStatus2 = m_eState == teState::WaitPrm ? 0x05 : 0x04;
    // Built by appending into room reserved first: GCC 12 at -O2 takes an insert behind an
    // initialiser list for a write past it (a false -Warray-bounds).
    Bytes abyData;
    abyData.reserve(6 + m_abyExtended.size());
    for (const std::uint8_t byByte :
         {static_cast<std::uint8_t>(byStatus1 | m_byExtraStatus1),
          static_cast<std::uint8_t>(byStatus2 | m_byExtraStatus2), std::uint8_t{0x00}, m_byMaster,
          static_cast<std::uint8_t>(m_wDiagIdent >> 8), static_cast<std::uint8_t>(m_wDiagIdent)})
        abyData.push_back(byByte);
    for (const std::uint8_t byByte : m_abyExtended)
        abyData.push_back(byByte);
    return Sd2(byMasterAddress, m_byAddress, kFcDataLow, kSapMaster, kSapDiag, abyData);
}

Bytes CScriptedSlave::Answer(const dp::STelegram& request)
{
    const std::uint8_t byMaster = request.bySa;
    if (request.eFrame == dp::teFrame::Sd1 && request.byFc == kFdlStatusRequest)
        return Sd1(byMaster, m_byAddress, kFcStatusOk);
    if (request.bHasDsap)
    {
        const Bytes abyData(request.abyData, request.abyData + request.byDataLength);
        switch (request.byDsap)
        {
        case kSapDiag:
            return Diagnosis(byMaster);
        // The reads answer from the service's SAP to the master's, with the bytes alone.
        case kSapReadInputs:
            return Sd2(byMaster, m_byAddress, kFcDataLow, kSapMaster, kSapReadInputs, m_abyInputs);
        case kSapReadOutputs:
            return Sd2(byMaster, m_byAddress, kFcDataLow, kSapMaster, kSapReadOutputs,
                       m_abyLastOutputs);
        case kSapGetConfig:
            return Sd2(byMaster, m_byAddress, kFcDataLow, kSapMaster, kSapGetConfig, m_abyConfig);
        case kSapPrm:
            m_abyLastSetPrm = abyData;
            // Bytes 4 and 5 of Set_Prm are the ident number.
            if (abyData.size() >= 7 && abyData[4] == (m_wIdent >> 8) &&
                abyData[5] == (m_wIdent & 0xFF))
            {
                m_eState = teState::WaitCfg;
                m_byMaster = byMaster;
            }
            return kShortAck;
        case kSapCfg:
            if (m_eState == teState::WaitCfg)
                m_eState = teState::DataExchange;
            return kShortAck;
        default:
            return Sd1(byMaster, m_byAddress, kFcNoService);
        }
    }
    if (m_eState != teState::DataExchange)
        return Sd1(byMaster, m_byAddress, kFcNoService);
    ++m_dwDataExchanges;
    m_abyLastOutputs.assign(request.abyData, request.abyData + request.byDataLength);
    if (m_byInputs == 0)
        return m_bDiagnosisWaits ? Sd1(byMaster, m_byAddress, kFcDataHigh) : kShortAck;
    return Sd2(byMaster, m_byAddress, m_bDiagnosisWaits ? kFcDataHigh : kFcDataLow, -1, -1,
               m_abyInputs);
}

} // namespace dptest
