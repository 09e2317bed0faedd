#include "dp/scan/ScanSequence.h"

#include "dp/fdl/FunctionCodes.h"
#include "dp/services/ConfigBytes.h"
#include "dp/services/DpServices.h"
#include "dp/services/ServiceData.h"

#include <string>

namespace dp
{

namespace
{

teStationType TypeOfFc(std::uint8_t byFc)
{
    switch (byFc & kFcStationTypeMask)
    {
    case kStationMasterNotReady:
        return teStationType::MasterNotReady;
    case kStationMasterReady:
        return teStationType::MasterReady;
    case kStationMasterInRing:
        return teStationType::MasterInRing;
    default:
        return teStationType::Slave;
    }
}

// An answer's data came from the service asked: SD2 or SD3 from the slave's SAP to ours.
bool FromService(const STelegram& answer, std::uint8_t bySap)
{
    return (answer.eFrame == teFrame::Sd2 || answer.eFrame == teFrame::Sd3) && answer.bHasSsap &&
           answer.bySsap == bySap && answer.bHasDsap && answer.byDsap == kSapMaster;
}

// Words for an answer that carries no data: the slave refused the service, or has none.
std::string Refusal(const STelegram& answer, const char* pszService)
{
    if (answer.eFrame == teFrame::ShortAck)
        return std::string(pszService) + " answered with a bare acknowledgement";
    if (answer.eFrame == teFrame::Sd1)
    {
        const char* pszCode = FunctionCodeName(FcCode(answer.byFc), false);
        return std::string(pszService) + " refused (" + (pszCode != nullptr ? pszCode : "code") +
               " " + std::to_string(FcCode(answer.byFc)) + ")";
    }
    return std::string(pszService) + " answered from another service";
}

} // namespace

const char* StationTypeText(teStationType eType)
{
    switch (eType)
    {
    case teStationType::Slave:
        return "slave";
    case teStationType::MasterNotReady:
        return "master not ready";
    case teStationType::MasterReady:
        return "master ready for the ring";
    case teStationType::MasterInRing:
        return "master in the ring";
    }
    return "?";
}

CScanSequence::CScanSequence(std::uint8_t byOwnAddress, std::uint8_t byHighestAddress,
                             std::uint32_t dwRetryLimit)
    : m_byOwnAddress(byOwnAddress),
      m_byHighestAddress(byHighestAddress < kBroadcastAddress ? byHighestAddress
                                                              : kDefaultHighestAddress),
      m_dwRetryLimit(dwRetryLimit)
{
    if (m_byAddress == m_byOwnAddress)
        NextAddress();
}

bool CScanSequence::Next(SScanRequest& next)
{
    if (m_eStep == teStep::Done)
        return false;
    next = SScanRequest{};
    STelegram& request = next.request;
    request.byDa = m_byAddress;
    request.bySa = m_byOwnAddress;
    if (m_eStep == teStep::FdlStatus)
    {
        request.eFrame = teFrame::Sd1;
        request.byFc = RequestFc(ReqFdlStatus, false, false);
        next.expectation = SExpectation{false, kSd1Size};
        next.expectation.bAnyStationType = true;
    }
    else
    {
        // Both services ask with no data of their own: the two SAP bytes make it an SD2.
        request.byFc = RequestFc(ReqSrdHigh, false, false);
        request.bHasDsap = request.bHasSsap = true;
        request.byDsap = m_eStep == teStep::SlaveDiag ? kSapSlaveDiag : kSapGetConfig;
        request.bySsap = kSapMaster;
        request.eFrame = FrameForDataUnits(request.DataUnits());
        const std::size_t nLongest = m_eStep == teStep::SlaveDiag ? kMaxDiagBytes : kMaxConfigBytes;
        next.expectation = SExpectation{false, TelegramSize(teFrame::Sd2, kSapUnits + nLongest)};
    }
    ++m_dwRequests;
    return true;
}

void CScanSequence::Take(teOutcome eOutcome, const STelegram& answer)
{
    if (m_eStep == teStep::Done)
        return;
    if (eOutcome != teOutcome::Answered)
    {
        if (++m_dwTries <= m_dwRetryLimit)
            return; // asked again
        GiveUp();
        return;
    }
    m_dwTries = 0;
    switch (m_eStep)
    {
    case teStep::FdlStatus:
        TakeFdlStatus(answer);
        break;
    case teStep::SlaveDiag:
        TakeSlaveDiag(answer);
        break;
    case teStep::GetConfig:
        TakeConfig(answer);
        break;
    case teStep::Done:
        break;
    }
}

void CScanSequence::TakeFdlStatus(const STelegram& answer)
{
    // Only SD1 answers an FDL status request; anything else from the address is no station
    // this scan can name.
    if (answer.eFrame != teFrame::Sd1)
    {
        NextAddress();
        return;
    }
    SScannedStation station;
    station.byAddress = m_byAddress;
    station.eType = TypeOfFc(answer.byFc);
    m_stations.push_back(station);
    if (station.IsMaster())
        NextAddress();
    else
        m_eStep = teStep::SlaveDiag;
}

void CScanSequence::TakeSlaveDiag(const STelegram& answer)
{
    SSlaveDiag diag;
    if (!FromService(answer, kSapSlaveDiag))
        NoteTrouble(Refusal(answer, "Slave_Diag"));
    else if (!DecodeSlaveDiag(ByteView(answer.abyData, answer.byDataLength), diag))
        NoteTrouble("Slave_Diag answered with " + std::to_string(answer.byDataLength) +
                    " bytes, fewer than a diagnosis has");
    else
    {
        SScannedStation& station = Current();
        station.bDiagnosis = true;
        station.byStatus1 = diag.byStatus1;
        station.byStatus2 = diag.byStatus2;
        station.byStatus3 = diag.byStatus3;
        station.byMaster = diag.byMasterAddress;
        station.wIdent = diag.wIdent;
    }
    m_eStep = teStep::GetConfig;
}

void CScanSequence::TakeConfig(const STelegram& answer)
{
    if (!FromService(answer, kSapGetConfig))
        NoteTrouble(Refusal(answer, "Get_Cfg"));
    else
    {
        SImageLengths lengths;
        std::string strError;
        if (!ConfigImageLengths(answer.abyData, answer.byDataLength, lengths, strError))
            NoteTrouble("Get_Cfg: " + strError);
        else
        {
            SScannedStation& station = Current();
            station.bConfig = true;
            station.abyConfig.assign(answer.abyData, answer.abyData + answer.byDataLength);
            station.dwInputBytes = lengths.dwInputs;
            station.dwOutputBytes = lengths.dwOutputs;
        }
    }
    NextAddress();
}

void CScanSequence::GiveUp()
{
    m_dwTries = 0;
    switch (m_eStep)
    {
    case teStep::FdlStatus:
        NextAddress();
        break;
    case teStep::SlaveDiag:
        NoteTrouble("no answer to Slave_Diag");
        m_eStep = teStep::GetConfig;
        break;
    case teStep::GetConfig:
        NoteTrouble("no answer to Get_Cfg");
        NextAddress();
        break;
    case teStep::Done:
        break;
    }
}

void CScanSequence::NextAddress()
{
    m_dwTries = 0;
    m_eStep = teStep::FdlStatus;
    do
    {
        if (m_byAddress >= m_byHighestAddress)
        {
            m_eStep = teStep::Done;
            return;
        }
        ++m_byAddress;
    } while (m_byAddress == m_byOwnAddress);
}

void CScanSequence::NoteTrouble(const std::string& strTrouble)
{
    std::string& strAll = Current().strTrouble;
    strAll += (strAll.empty() ? "" : "; ") + strTrouble;
}

} // namespace dp
