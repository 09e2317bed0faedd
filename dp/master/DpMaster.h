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
// Inputs a Data_Exchange brought are held until the line has shown they answered it: until the
// window of the next request (the next cycle's first, for the cycle's last slave) has closed
// without another telegram of the slave to us (CLineExchange's watch). A stray taken for the
// answer shows so by the genuine answer coming behind it; the held inputs are then dropped (an
// answer in doubt) and the slave's posted inputs stay as old as they are, for their freshness to
// run out as after any missing answer. Held inputs of a slave that leaves data exchange are
// dropped with it; a stop or a mode without traffic leaves them held, never posted unwatched.
// What the watch cannot tell: a next request to the same slave sent before its genuine answer
// has come takes that answer, and the stray ahead of it passes (docs/dp-master.md).
// A slave that says its data are not valid (Stat_Diag) leaves the exchanging states the same
// way: its diagnosis is read every cycle until the bit clears, and it is posted as exchanging
// again only when a Data_Exchange after that has brought its inputs.
//
// Slaves that do not answer must not stretch the cycle of those that do: the start-up of a slave
// that has not answered its last request (the FDL status that probes for it) is tried for at
// most one such slave per cycle, round robin over those whose restart interval has passed. A
// slave counts as answering before its first request and again after any answer, so a bus
// starts all its slaves at once and a slave that asks for parameters is started anew at once;
// only a slave whose request went unanswered after every repetition waits for its turn. A cycle
// is then at most: Global_Control, one request (with its repetitions) of every answering slave
// (four of an observed one), and one probe (CycleBoundNs).
//
// A slave the bus file observes (SSlaveConfig::bObserve) is another master's: it is only read,
// each cycle (ObservedSlave.cpp), and Global_Control is then sent to each own slave by address
// rather than broadcast (GlobalControlTargets).
//
// A stop check (SetStopCheck) is asked before every request and between slaves, so that a stop
// is heard between any two transactions, however long the bus file lets one take.
//
// Single-threaded: the owner calls RunCycle() again and again and reads and writes the images
// in between. The slave states are the numbers the board reports (teBoardSlaveState).
#pragma once

#include "dp/fdl/Telegram.h"
#include "dp/files/MasterConfig.h"
#include "dp/line/DpLine.h"
#include "dp/master/BusTrace.h"
#include "dp/master/LineExchange.h"
#include "dp/services/ServiceData.h"
#include "dp/services/SlaveReads.h"

#include "board/BoardStates.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dp
{

struct SSlaveCounters
{
    std::uint32_t dwExchanges = 0;         // Data_Exchanges whose inputs were posted
    std::uint32_t dwRetries = 0;           // requests repeated for want of a good answer
    std::uint32_t dwNoAnswer = 0;          // requests that found no answer after all repetitions
    std::uint32_t dwBadAnswers = 0;        // answers that made no sense (wrong kind, length, SAPs)
    std::uint32_t dwRestarts = 0;          // start-ups begun after the first
    std::uint32_t dwDiagnoses = 0;         // Slave_Diag read
    std::uint32_t dwUnshownStateLines = 0; // state changes not printed (a flapping slave)
};

// What the master knows of one slave and shows to others: the board (BoardLink.h) and the
// status block (MasterStatusWriter.h) each take theirs from it, in one place.
struct SMasterSlaveState
{
    teBoardSlaveState eState = SlaveNotReachable;
    std::uint8_t abyInputs[kMaxDpDataBytes] = {}; // zero whenever the slave is not in data exchange
    std::uint8_t abyOutputs[kMaxDpDataBytes] = {}; // what the master sends in operate mode
    std::uint8_t abyDiag[kMaxDiagBytes] = {};
    std::uint8_t byDiagLength = 0;
    std::string strProblem; // the last reason it is not exchanging data, for people
    SSlaveCounters counters;
    // When the Data_Exchange that brought the inputs took its answer: the tick count, and the
    // cycle (counted from 1, the one running when Counters().qwCycles is one less).
    std::uint32_t dwInputsTick = 0;
    std::uint64_t qwInputsCycle = 0;
    // An observed slave (SSlaveConfig::bObserve): the master its last diagnosis named as its
    // owner (kDiagNoMaster: none, or none read). Its abyOutputs are then what the owner writes,
    // as the last RD_Outp brought them, and zero whenever it is not shown exchanging.
    std::uint8_t byOwner = kDiagNoMaster;
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
    using PFN_STOP_CHECK = std::function<bool()>;
    using PFN_DIAGNOSIS =
        std::function<void(std::size_t nSlave, std::vector<std::uint8_t> abyDiag)>;

    CDpMaster(IDpLine& line, const SMasterConfig& config);

    // Events for people: a slave entering or leaving data exchange, and why.
    void SetEventHandler(PFN_EVENT pfnEvent) { m_pfnEvent = std::move(pfnEvent); }
    // True when the owner wants the master to stop: RunCycle then returns (true) before its next
    // request, leaving every slave in its state.
    void SetStopCheck(PFN_STOP_CHECK pfnStopRequested)
    {
        m_pfnStopRequested = std::move(pfnStopRequested);
    }
    // Putting a diagnosis into words can cost more than a cycle may pay. With a handler, a new
    // diagnosis during data exchange is handed over as bytes (slave index, diagnosis), for the
    // owner to word with DiagnosisEventText outside the cycle; the trace then gets it in hex.
    // Without one it is worded here, as an event. Either way it is one of the slave's rate
    // limited state lines: a line held back is counted, not handed over.
    void SetDiagnosisHandler(PFN_DIAGNOSIS pfnDiagnosis)
    {
        m_pfnDiagnosis = std::move(pfnDiagnosis);
    }
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

    // One pass over every slave. False when the line failed; true also when a stop was asked
    // for and the cycle ended early.
    bool RunCycle();

    // The same cycle a step at a time, for a master that runs while its station holds the
    // token: each step is one slave's request (the first of a cycle sends Global_Control when
    // due before it), from where the last step left off; a cycle ends with a step that sends
    // nothing. A stop leaves the cycle where it stands; RunCycle starts afresh.
    enum class teStep : std::uint8_t
    {
        Stepped,
        CycleEnded,
        Stopped,
        LineFailed
    };
    teStep NextStep();
    // Whether a cycle is under way (begun by NextStep and not ended).
    bool InCycle() const { return m_nCursor != kNoCycle; }

    // The longest the next cycle can take, whatever the line carries: Global_Control, the request
    // of every answering slave repeated to the retry limit, and, when some slave does not
    // answer, one FDL status probe repeated as often; each waiting out its bounds (see
    // CLineExchange). It changes as slaves fall silent and answer again, so it is read between
    // cycles.
    std::uint64_t CycleBoundNs() const;
    // On a ring of several masters: the longest the token can stay away between two steps,
    // which the cycle's bound then includes once a step.
    void SetTokenAbsenceNs(std::uint64_t qwNs) { m_qwTokenAbsenceNs = qwNs; }

    const SMasterConfig& Config() const { return m_config; }
    std::size_t SlaveCount() const { return m_slaves.size(); }
    const SMasterSlaveState& Slave(std::size_t nIndex) const { return m_slaves[nIndex].status; }
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
        ExchangeDiag, // a Slave_Diag the slave flagged during data exchange
        Observe       // another master's slave: its reads of one cycle (ObservedSlave.cpp)
    };
    // How the master runs one slave: what the bus file configures, what it shows of the slave,
    // and where the slave's start-up and the master's talk with it stand.
    struct SSlaveRun
    {
        SSlaveConfig config;
        SMasterSlaveState status;
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
        // Whether its last request found an answer; a slave that did not is probed under the
        // budget (see above). True before the first request: unknown is tried at once.
        bool bAnswers = true;
        bool bExtDiag = false;       // the last diagnosis during data exchange had Ext_Diag
        bool bConfigChecked = false; // an observed slave's Get_Cfg matched since it was lost
    };
    enum class teReply : std::uint8_t
    {
        Answered,
        NoAnswer,
        LineFailed,
        Stopped // the stop check said stop before the request went out
    };

    // One request of the slave's present state; the state that follows.
    teState Step(SSlaveRun& slave);
    // The states.
    teState Waiting(SSlaveRun& slave);
    teState FdlStatus(SSlaveRun& slave);
    teState FirstDiag(SSlaveRun& slave);
    teState SetPrm(SSlaveRun& slave);
    teState CheckConfig(SSlaveRun& slave);
    teState ReadyDiag(SSlaveRun& slave);
    teState DataExchange(SSlaveRun& slave);
    teState ExchangeDiag(SSlaveRun& slave);
    teState Observe(SSlaveRun& slave);

    // An observed slave's pieces (ObservedSlave.cpp).
    // Out of the exchanging states, inputs and outputs cleared; read again next cycle.
    teState NotObserved(SSlaveRun& slave, teBoardSlaveState eState, const std::string& strWhy);
    // An RD_Inp, RD_Outp or Get_Cfg and its answer; Answered only with its data (at most
    // kMaxDpDataBytes into pbyData), else strWhy says what came instead.
    teReply ReadFromSlave(SSlaveRun& slave, teSlaveRead eRead, std::uint8_t* pbyData,
                          std::size_t& nLength, std::string& strWhy);
    // The longest an observed slave's reads of one cycle take.
    std::uint64_t ObservedBoundNs() const;
    // Whom Global_Control is sent to: the broadcast address, or each own slave's (chosen once,
    // into m_abyControlTargets).
    std::vector<std::uint8_t> GlobalControlTargets() const;

    // Takes the slave out of data exchange: its state and its inputs in one moment.
    void LeaveExchange(SSlaveRun& slave, teBoardSlaveState eState, const std::string& strWhy);
    // Takes the slave out of data exchange (state and inputs at once) and starts it anew after
    // the restart interval, or at once.
    teState Restart(SSlaveRun& slave, teBoardSlaveState eState, const std::string& strWhy,
                    bool bAtOnce = false);
    // The failure of a request without a good answer: restart, or stay on a failed line or a
    // stop.
    teState NoGoodAnswer(SSlaveRun& slave, teReply eReply, const char* pszWhy);
    // What a diagnosis says against going on: restart it, or stay (the state given).
    teState JudgeDiagnosis(SSlaveRun& slave, const SSlaveDiag& diag, teState eStay);

    // A SAP service request to the slave, or a Data_Exchange (no SAP).
    STelegram Request(SSlaveRun& slave, std::uint8_t byDsap, bool bWithSaps);
    // Sends the request, repeating it up to the retry limit while no answer comes.
    teReply Transact(SSlaveRun& slave, const STelegram& request, const SExpectation& expectation,
                     STelegram& answer);
    // A request that a positive acknowledgement answers (Set_Prm, Chk_Cfg): the next state, or
    // the restart with pszRefused.
    teState Acknowledged(SSlaveRun& slave, const STelegram& request, const char* pszRefused,
                         teState eNext);
    // A Slave_Diag request and its answer, decoded; Answered only with a valid diagnosis. The
    // diagnosis is kept in the slave's status, and diag's extended blocks are a view of that
    // copy: valid until the slave's next diagnosis is read.
    teReply ReadDiagnosis(SSlaveRun& slave, SSlaveDiag& diag);
    bool SendGlobalControl();
    teOutcome SendGlobalControlTo(std::uint8_t byTarget);
    // Posts or drops the held inputs, as the line's watch over their answer has judged it.
    void SettleHeldInputs();

    void Post(SSlaveRun& slave, teBoardSlaveState eState, const std::string& strWhy);
    // Whether the slave may print one more state line in its window; counts it when not.
    bool AdmitStateLine(SSlaveRun& slave);
    // Starts a new window when the last has passed, saying what it held back.
    void RollStateLineWindow(SSlaveRun& slave);
    void StateLine(SSlaveRun& slave, const std::string& strText);
    void SayDiagnosis(SSlaveRun& slave);
    void Event(const std::string& strText);
    // Asks the owner's stop check; remembers a stop for the rest of the cycle.
    bool StopRequested();
    // The one slave (index) whose probe this cycle may send, or SlaveCount() for none.
    std::size_t ChooseProbe();
    bool IsProbe(const SSlaveRun& slave) const;

    static constexpr std::size_t kNoCycle = static_cast<std::size_t>(-1);

    // The inputs of the last Data_Exchange answered, until the line has shown they answered it.
    struct SHeldInputs
    {
        bool bHeld = false;
        std::size_t nSlave = 0;
        std::uint8_t abyInputs[kMaxDpDataBytes] = {};
        std::uint32_t dwTick = 0;
        std::uint64_t qwCycle = 0;
    };

    SMasterConfig m_config;
    std::vector<SSlaveRun> m_slaves;
    std::vector<std::uint8_t> m_abyControlTargets;
    // Where the cycle under way stands: the next slave, the one probe it may send, whether it
    // runs slaves at all (Offline and Stop do not), and when it began.
    std::size_t m_nCursor = kNoCycle;
    std::size_t m_nCycleProbe = 0;
    bool m_bCycleRunsSlaves = false;
    std::uint64_t m_qwCycleStartNs = 0;
    std::uint64_t m_qwTokenAbsenceNs = 0;
    SHeldInputs m_held;
    CLineExchange m_exchange;
    teBoardMasterMode m_eMode = MasterClear;
    bool m_bModeAnnounced = false;
    bool m_bLineFailed = false;
    bool m_bStopped = false;
    std::size_t m_nNextProbe = 0; // where the round robin of probes goes on
    std::uint64_t m_qwLastGlobalControlNs = 0;
    SMasterCounters m_counters;
    PFN_EVENT m_pfnEvent;
    PFN_STOP_CHECK m_pfnStopRequested;
    PFN_DIAGNOSIS m_pfnDiagnosis;
    IBusTrace* m_pTrace = nullptr;
};

// The line a diagnosis read during data exchange makes for people: "slave 3: diagnosis: " and
// the diagnosis in words, with the slave's own texts from its device description.
std::string DiagnosisEventText(const SSlaveConfig& config,
                               const std::vector<std::uint8_t>& abyDiag);

} // namespace dp
