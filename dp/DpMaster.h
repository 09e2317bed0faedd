// A DP master (class 1) on one line. Each configured slave goes through the start-up (FDL
// status to find it, Slave_Diag, Set_Prm with its watchdog and user parameter data, Chk_Cfg with
// its configuration bytes, Slave_Diag until it is ready), then cyclic Data_Exchange, reading its
// diagnosis whenever it flags some. Each of these is one state: one function that builds the
// request, judges the answer and names the next state. A slave that stops answering, refuses or
// asks for parameters again is restarted: the one step Restart, which takes it out of data
// exchange at once (state and inputs) and starts it anew after the restart interval.
//
// What hosts are told is never more than the slave said: a slave is posted as exchanging only
// once a Data_Exchange has brought its inputs, and its inputs are cleared the moment it leaves.
//
// Single-threaded: the owner calls RunCycle() again and again and reads and writes the images
// in between. The slave states are the numbers the board reports (teBoardSlaveState).
#pragma once

#include "dp/BusTrace.h"
#include "dp/DpLine.h"
#include "dp/LineExchange.h"
#include "dp/MasterConfig.h"
#include "dp/ServiceData.h"
#include "dp/Telegram.h"

#include "board/BoardStates.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dp
{

struct SSlaveCounters
{
    std::uint32_t dwExchanges = 0;         // successful Data_Exchanges
    std::uint32_t dwRetries = 0;           // requests repeated for want of a good answer
    std::uint32_t dwNoAnswer = 0;          // requests that found no answer after all repetitions
    std::uint32_t dwBadAnswers = 0;        // answers that made no sense (wrong kind, length, SAPs)
    std::uint32_t dwRestarts = 0;          // start-ups begun after the first
    std::uint32_t dwDiagnoses = 0;         // Slave_Diag read
    std::uint32_t dwUnshownStateLines = 0; // state changes not printed (a flapping slave)
};

struct SSlaveStatus
{
    teBoardSlaveState eState = SlaveNotReachable;
    std::uint8_t abyInputs[244] = {};  // zero whenever the slave is not in data exchange
    std::uint8_t abyOutputs[244] = {}; // what the master sends in operate mode
    std::uint8_t abyDiag[244] = {};
    std::uint8_t byDiagLength = 0;
    std::string strProblem; // the last reason it is not exchanging data, for people
    SSlaveCounters counters;
    // When a Data_Exchange last brought the inputs: the tick count, and the cycle (counted
    // from 1, the one running when Counters().qwCycles is one less).
    std::uint32_t dwInputsTick = 0;
    std::uint64_t qwInputsCycle = 0;
};

struct SMasterCounters
{
    std::uint64_t qwCycles = 0;
    std::uint64_t qwLastCycleNs = 0;
    std::uint64_t qwMaxCycleNs = 0;
    std::uint32_t dwGlobalControls = 0;
};

class CDpMaster
{
public:
    using PFN_EVENT = std::function<void(const std::string&)>;

    CDpMaster(IDpLine& line, const SMasterConfig& config);

    // Events for people: a slave entering or leaving data exchange, and why.
    void SetEventHandler(PFN_EVENT pfnEvent) { m_pfnEvent = std::move(pfnEvent); }
    // The events at kTraceStates, every telegram at kTraceTelegrams.
    void SetTrace(IBusTrace* pTrace)
    {
        m_pTrace = pTrace;
        m_exchange.SetTrace(pTrace);
    }

    // Operate sends the outputs; Clear sends zeros and tells the slaves through
    // Global_Control. Offline and Stop end all traffic but Global_Control.
    void SetMode(teBoardMasterMode eMode);
    teBoardMasterMode Mode() const { return m_eMode; }

    // One pass over every slave. False when the line failed.
    bool RunCycle();

    // The longest one cycle can take, whatever the line carries: every request of every slave
    // repeated to the retry limit, each waiting out its bounds (see CLineExchange).
    std::uint64_t CycleBoundNs() const;

    const SMasterConfig& Config() const { return m_config; }
    std::size_t SlaveCount() const { return m_slaves.size(); }
    const SSlaveStatus& Slave(std::size_t nIndex) const { return m_slaves[nIndex].status; }
    // Index of the slave at an address, or -1.
    int FindSlave(std::uint8_t byAddress) const;
    // The outputs to send; bytes beyond the slave's output length are ignored.
    void SetOutputs(std::size_t nIndex, const std::uint8_t* pbyOutputs, std::size_t nCount);
    const SMasterCounters& Counters() const { return m_counters; }
    const SLineCounters& LineCounters() const { return m_exchange.Counters(); }
    const SParserCounters& ParserCounters() const { return m_exchange.ParserCounters(); }

private:
    enum class teState : std::uint8_t
    {
        Waiting, // for the restart interval
        FdlStatus,
        FirstDiag,
        SetPrm,
        CheckConfig,
        ReadyDiag,
        DataExchange,
        ExchangeDiag // a Slave_Diag the slave flagged during data exchange
    };
    struct SSlave
    {
        SSlaveConfig config;
        SSlaveStatus status;
        teState eState = teState::FdlStatus;
        bool bFcb = true;      // the frame count bit of the next request
        bool bFcv = false;     // whether the slave counts frames yet
        bool bStarted = false; // a start-up has been begun before
        std::uint32_t dwReadyTries = 0;
        std::uint64_t qwWaitUntilNs = 0;
        // State lines for people, at most a few per window; the rest counted.
        std::uint64_t qwLineWindowNs = 0;
        std::uint32_t dwLinesInWindow = 0;
        std::uint32_t dwUnshownInWindow = 0;
        std::vector<std::uint8_t> abyLastDiag; // the last diagnosis said during data exchange
    };
    enum class teReply : std::uint8_t
    {
        Answered,
        NoAnswer,
        LineFailed
    };

    // One request of the slave's present state; the state that follows.
    teState Step(SSlave& slave);
    // The states.
    teState Waiting(SSlave& slave);
    teState FdlStatus(SSlave& slave);
    teState FirstDiag(SSlave& slave);
    teState SetPrm(SSlave& slave);
    teState CheckConfig(SSlave& slave);
    teState ReadyDiag(SSlave& slave);
    teState DataExchange(SSlave& slave);
    teState ExchangeDiag(SSlave& slave);

    // Takes the slave out of data exchange (state and inputs at once) and starts it anew after
    // the restart interval, or at once.
    teState Restart(SSlave& slave, teBoardSlaveState eState, const std::string& strWhy,
                    bool bAtOnce = false);
    // The failure of a request without a good answer: restart, or stop on a failed line.
    teState NoGoodAnswer(SSlave& slave, teReply eReply, const char* pszWhy);
    // What a diagnosis says against going on: restart it, or stay (the state given).
    teState JudgeDiagnosis(SSlave& slave, const SSlaveDiag& diag, teState eStay);

    // A SAP service request to the slave, or a Data_Exchange (no SAP).
    STelegram Request(SSlave& slave, std::uint8_t byDsap, bool bWithSaps);
    // Sends the request, repeating it up to the retry limit while no answer comes.
    teReply Transact(SSlave& slave, const STelegram& request, const SExpectation& expectation,
                     STelegram& answer);
    // A request that a positive acknowledgement answers (Set_Prm, Chk_Cfg): the next state, or
    // the restart with pszRefused.
    teState Acknowledged(SSlave& slave, const STelegram& request, const char* pszRefused,
                         teState eNext);
    // A Slave_Diag request and its answer, decoded; Answered only with a valid diagnosis.
    teReply ReadDiagnosis(SSlave& slave, SSlaveDiag& diag);
    bool SendGlobalControl();

    void Post(SSlave& slave, teBoardSlaveState eState, const std::string& strWhy);
    void StateLine(SSlave& slave, const std::string& strText);
    void Event(const std::string& strText);

    SMasterConfig m_config;
    std::vector<SSlave> m_slaves;
    CLineExchange m_exchange;
    teBoardMasterMode m_eMode = MasterClear;
    bool m_bModeAnnounced = false;
    bool m_bLineFailed = false;
    std::uint64_t m_qwLastGlobalControlNs = 0;
    SMasterCounters m_counters;
    PFN_EVENT m_pfnEvent;
    IBusTrace* m_pTrace = nullptr;
};

} // namespace dp
