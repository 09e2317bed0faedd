#include "dp/scan/ScanSequence.h"

#include "dp/fdl/FunctionCodes.h"
#include "dp/services/ConfigBytes.h"
#include "dp/services/DpServices.h"
#include "dp/services/ServiceData.h"
#include "dp/services/SlaveReads.h"

#include <string>

namespace dp
{

namespace
{

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

// Words for a Get_Cfg answer the codec refused.
std::string BrokenConfig(const STelegram& answer)
{
    if (!FromService(answer, kSapGetConfig))
        return Refusal(answer, "Get_Cfg");
    if (answer.byDataLength == 0)
        return "Get_Cfg: answered with no identifier";
    SImageLengths lengths;
    std::string strError;
    if (!ConfigImageLengths(answer.abyData, answer.byDataLength, lengths, strError))
        return "Get_Cfg: " + strError;
    return "Get_Cfg answered with a function code no slave's answer has";
}

} // namespace

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
    else if (m_eStep == teStep::SlaveDiag)
    {
        // Asked with no data of its own: the two SAP bytes make it an SD2.
        request.byFc = RequestFc(ReqSrdHigh, false, false);
        request.bHasDsap = request.bHasSsap = true;
        request.byDsap = kSapSlaveDiag;
        request.bySsap = kSapMaster;
        request.eFrame = FrameForDataUnits(request.DataUnits());
        next.expectation =
            SExpectation{false, TelegramSize(teFrame::Sd2, kSapUnits + kMaxDiagBytes)};
    }
    else
    {
        request = SlaveReadRequest(teSlaveRead::Config, m_byAddress, m_byOwnAddress, false, false);
        next.expectation = SExpectation{false, kSlaveReadLongestAnswer};
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
    station.eKind = StationKindOfFc(answer.byFc);
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
    ByteView config;
    switch (DecodeSlaveRead(teSlaveRead::Config, answer, config))
    {
    case teSlaveReadAnswer::Data:
    {
        SImageLengths lengths;
        std::string strError;
        if (!ConfigImageLengths(config.data(), config.size(), lengths, strError))
        {
            NoteTrouble("Get_Cfg: " + strError);
            break;
        }
        SScannedStation& station = Current();
        station.bConfig = true;
        station.abyConfig.assign(config.begin(), config.end());
        station.dwInputBytes = lengths.dwInputs;
        station.dwOutputBytes = lengths.dwOutputs;
        break;
    }
    case teSlaveReadAnswer::NotServed:
        NoteTrouble(Refusal(answer, "Get_Cfg"));
        break;
    case teSlaveReadAnswer::Malformed:
        NoteTrouble(BrokenConfig(answer));
        break;
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
