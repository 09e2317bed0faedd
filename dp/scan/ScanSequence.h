// One pass over the bus as a sequence of requests: for every address up to the highest
// station address (our own aside) Request FDL Status; each station that answers as a slave
// then Slave_Diag and Get_Cfg. The sequence sends nothing itself: whoever holds the line asks
// it for the next request and hands back the outcome. Alone on a silent line that is
// RunScanAlone (ScanRunner.h), one request after the other; an FDL station in a token ring
// can drive the same sequence a request or a few per token visit.
//
// Every request goes out with FCV clear: a scan runs no frame count with anybody, so a slave
// takes each request as a new one (a repetition after a lost answer included), and the
// master that owns a slave keeps its own count untouched. A request that finds no answer is
// repeated up to the retry limit; then the address counts as empty (FDL status) or the slave
// keeps what came so far, with the trouble in words.
#pragma once

#include "dp/fdl/Telegram.h"
#include "dp/master/LineExchange.h"
#include "dp/scan/ScannedStation.h"

#include <cstdint>
#include <vector>

namespace dp
{

// Address 126 is a new slave's, waiting for its address: it is asked like any other.
inline constexpr std::uint8_t kDefaultHighestAddress = 126;

struct SScanRequest
{
    STelegram request;
    SExpectation expectation;
};

class CScanSequence
{
public:
    CScanSequence(std::uint8_t byOwnAddress, std::uint8_t byHighestAddress,
                  std::uint32_t dwRetryLimit);

    // The next request of the pass; false once the pass is over.
    bool Next(SScanRequest& next);
    // The outcome of the request Next gave last, with the answer when it was answered.
    void Take(teOutcome eOutcome, const STelegram& answer);

    bool Done() const { return m_eStep == teStep::Done; }
    // The address asked now (the next request's).
    std::uint8_t Address() const { return m_byAddress; }
    // The stations found so far, lowest address first.
    const std::vector<SScannedStation>& Stations() const { return m_stations; }
    // Requests handed out, repetitions included.
    std::uint32_t Requests() const { return m_dwRequests; }

private:
    enum class teStep : std::uint8_t
    {
        FdlStatus,
        SlaveDiag,
        GetConfig,
        Done
    };
    void TakeFdlStatus(const STelegram& answer);
    void TakeSlaveDiag(const STelegram& answer);
    void TakeConfig(const STelegram& answer);
    // The request found no answer after every repetition.
    void GiveUp();
    void NextAddress();
    void NoteTrouble(const std::string& strTrouble);
    SScannedStation& Current() { return m_stations.back(); }

    std::uint8_t m_byOwnAddress;
    std::uint8_t m_byHighestAddress;
    std::uint32_t m_dwRetryLimit;
    std::uint8_t m_byAddress = 0;
    teStep m_eStep = teStep::FdlStatus;
    std::uint32_t m_dwTries = 0;
    std::uint32_t m_dwRequests = 0;
    std::vector<SScannedStation> m_stations;
};

} // namespace dp
