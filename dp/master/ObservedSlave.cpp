// The reads of a slave another master owns. Each cycle: its Slave_Diag (owner, ident, state);
// Get_Cfg until its configuration has matched the bus file's, and again after it was lost or
// shown out of data exchange (only so can its owner have configured it anew unseen);
// RD_Inp and RD_Outp. Nothing else is ever sent to it.
//
// It is shown exchanging only while its diagnosis says it exchanges with its owner and this
// cycle's RD_Inp and RD_Outp brought its images; otherwise its inputs and outputs are zero. A
// slave that does not answer is lost: it waits for the restart interval and is probed (with
// its Slave_Diag) under the same budget as the master's own slaves.
#include "dp/master/DpMaster.h"

#include "dp/services/DpServices.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace dp
{

namespace
{

constexpr std::uint32_t kObservedReads = 4; // Slave_Diag, Get_Cfg, RD_Inp, RD_Outp

std::string Hex(ByteView bytes)
{
    std::string strText;
    char szByte[4];
    for (std::uint8_t by : bytes)
    {
        std::snprintf(szByte, sizeof szByte, strText.empty() ? "%02X" : " %02X", by);
        strText += szByte;
    }
    return strText;
}

// Whether the diagnosis says the slave exchanges data with a master that parametrised it, and
// if not, why not and the board's state for it.
bool ExchangesWithOwner(const SSlaveDiag& diag, std::uint8_t byOwnAddress,
                        teBoardSlaveState& eState, std::string& strWhy)
{
    eState = SlaveParameterising;
    if (diag.byMasterAddress == kDiagNoMaster)
        strWhy = "not parametrised by any master";
    else if (diag.byMasterAddress == byOwnAddress)
        strWhy = "names this master's own address as its owner";
    else if ((diag.byStatus1 & kDiag1ConfigFault) != 0)
    {
        eState = SlaveConfigFault;
        strWhy = "its owner's configuration refused";
    }
    else if ((diag.byStatus1 & kDiag1PrmFault) != 0)
    {
        eState = SlaveConfigFault;
        strWhy = "its owner's parameters refused";
    }
    else if ((diag.byStatus1 & kDiag1StationNotReady) != 0)
        strWhy = "not ready for data exchange";
    else if ((diag.byStatus2 & kDiag2PrmRequest) != 0)
        strWhy = "waits for parameters";
    else if ((diag.byStatus2 & kDiag2StatDiag) != 0)
        strWhy = "no valid data (static diagnosis)";
    else
        return true;
    return false;
}

} // namespace

std::uint64_t CDpMaster::ObservedBoundNs() const
{
    const std::uint64_t qwAttempts = 1ull + m_config.bus.dwRetryLimit;
    return kObservedReads * qwAttempts *
           m_exchange.TransactBoundNs(TelegramSize(teFrame::Sd2, kSapUnits), kMaxTelegramSize);
}

CDpMaster::teState CDpMaster::NotObserved(SSlaveRun& slave, teBoardSlaveState eState,
                                          const std::string& strWhy)
{
    // Once seen out of data exchange, its owner may configure it anew: read it again.
    slave.bConfigChecked = false;
    // The owner's outputs go with its inputs: neither may outlive the reads that brought them.
    std::memset(slave.status.abyOutputs, 0, sizeof slave.status.abyOutputs);
    LeaveExchange(slave, eState, strWhy);
    return teState::Observe;
}

CDpMaster::teReply CDpMaster::ReadFromSlave(SSlaveRun& slave, teSlaveRead eRead,
                                            std::uint8_t* pbyData, std::size_t& nLength,
                                            std::string& strWhy)
{
    STelegram answer;
    const STelegram request = SlaveReadRequest(eRead, slave.config.byAddress,
                                               m_config.byMasterAddress, slave.bFcb, slave.bFcv);
    const teReply eReply =
        Transact(slave, request, SExpectation{false, kSlaveReadLongestAnswer}, answer);
    if (eReply != teReply::Answered)
    {
        strWhy = std::string("no answer to ") + SlaveReadName(eRead);
        return eReply;
    }
    ByteView bytes;
    const teSlaveReadAnswer eAnswer = DecodeSlaveRead(eRead, answer, bytes);
    if (eAnswer != teSlaveReadAnswer::Data)
    {
        ++slave.status.counters.dwBadAnswers;
        strWhy = std::string(SlaveReadName(eRead)) +
                 (eAnswer == teSlaveReadAnswer::NotServed ? " not served" : " answered wrongly");
        return teReply::NoAnswer;
    }
    // The answer dies with this call.
    nLength = bytes.size();
    std::memcpy(pbyData, bytes.data(), nLength);
    return teReply::Answered;
}

CDpMaster::teState CDpMaster::Observe(SSlaveRun& slave)
{
    const SSlaveConfig& config = slave.config;
    SMasterSlaveState& status = slave.status;
    // Lost: from its next answer on, the frame count starts anew and its configuration is read
    // again. (A stop or a failed line leaves it as it was, as they leave the own slaves.)
    auto lost = [&](teReply eReply, const std::string& strWhy)
    {
        if (eReply == teReply::NoAnswer)
        {
            slave.bFcb = true;
            slave.bFcv = false;
            slave.bConfigChecked = false;
            std::memset(status.abyOutputs, 0, sizeof status.abyOutputs);
        }
        return NoGoodAnswer(slave, eReply, strWhy.c_str());
    };
    // A read that found an answer, but not its data (Transact said it answers): the slave is
    // there, just not showing its images this cycle.
    auto answeredWrongly = [&](teReply eReply)
    { return eReply == teReply::NoAnswer && slave.bAnswers; };

    SSlaveDiag diag;
    const teReply eDiag = ReadDiagnosis(slave, diag);
    if (eDiag != teReply::Answered)
        return lost(eDiag, "no diagnosis");
    status.byOwner = diag.byMasterAddress;
    if (diag.wIdent != config.wIdent)
    {
        char szWhy[80];
        std::snprintf(szWhy, sizeof szWhy, "ident number 0x%04X, expected 0x%04X", diag.wIdent,
                      config.wIdent);
        return NotObserved(slave, SlaveConfigFault, szWhy);
    }
    teBoardSlaveState eNot = SlaveParameterising;
    std::string strWhy;
    if (!ExchangesWithOwner(diag, m_config.byMasterAddress, eNot, strWhy))
        return NotObserved(slave, eNot, strWhy);

    std::uint8_t abyData[kMaxDpDataBytes];
    std::size_t nData = 0;
    teReply eReply = teReply::Answered;
    if (!slave.bConfigChecked)
    {
        eReply = ReadFromSlave(slave, teSlaveRead::Config, abyData, nData, strWhy);
        if (answeredWrongly(eReply))
            return NotObserved(slave, SlaveParameterising, strWhy);
        if (eReply != teReply::Answered)
            return lost(eReply, strWhy);
        if (!std::equal(abyData, abyData + nData, config.abyConfig.begin(), config.abyConfig.end()))
            return NotObserved(slave, SlaveConfigFault,
                               "Get_Cfg says " + Hex(ByteView(abyData, nData)) + ", the bus file " +
                                   Hex(ByteView(config.abyConfig.data(), config.abyConfig.size())));
        slave.bConfigChecked = true;
    }

    std::uint8_t abyInputs[kMaxDpDataBytes];
    std::uint8_t abyOutputs[kMaxDpDataBytes];
    for (const teSlaveRead eRead : {teSlaveRead::Inputs, teSlaveRead::Outputs})
    {
        eReply = ReadFromSlave(slave, eRead, abyData, nData, strWhy);
        if (answeredWrongly(eReply))
            return NotObserved(slave, SlaveParameterising, strWhy);
        if (eReply != teReply::Answered)
            return lost(eReply, strWhy);
        const bool bInputs = eRead == teSlaveRead::Inputs;
        const std::size_t nLength = bInputs ? config.byInputLength : config.byOutputLength;
        if (nData != nLength)
        {
            ++status.counters.dwBadAnswers;
            return NotObserved(slave, SlaveConfigFault,
                               std::string(SlaveReadName(eRead)) + " brought " +
                                   std::to_string(nData) + " bytes, expected " +
                                   std::to_string(nLength));
        }
        std::memcpy(bInputs ? abyInputs : abyOutputs, abyData, nData);
    }
    // Both images of this cycle came in answer to our own requests: now they are shown.
    std::memcpy(status.abyInputs, abyInputs, config.byInputLength);
    std::memcpy(status.abyOutputs, abyOutputs, config.byOutputLength);
    status.dwInputsTick = platform::ReadTickCount();
    status.qwInputsCycle = m_counters.qwCycles + 1;
    ++status.counters.dwExchanges;
    Post(slave, (diag.byStatus1 & kDiag1ExtDiag) != 0 ? SlaveDiagnosisPending : SlaveDataExchange,
         "");
    return teState::Observe;
}

} // namespace dp
