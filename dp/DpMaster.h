// A DP master (class 1) on one line. For each configured slave it runs the start-up (FDL
// status to find it, Slave_Diag, Set_Prm with the slave's watchdog and user parameter data,
// Chk_Cfg with its configuration bytes, Slave_Diag until the slave is ready), then cyclic
// Data_Exchange with its outputs and inputs, reading diagnosis whenever the slave flags it.
// A slave that stops answering is tried again (the bus's retry limit) and then started anew.
// Global_Control tells all slaves whether the master operates or has cleared its outputs.
//
// Single-threaded: the owner calls RunCycle() again and again and reads and writes the images
// in between. The slave states are the numbers the board reports (teBoardSlaveState).
#pragma once

#include "dp/MasterConfig.h"
#include "dp/SerialPort.h"
#include "dp/Telegram.h"
#include "dp/TelegramParser.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dp
{

// What the board reports for a slave and for the master.
enum teBoardSlaveState : std::uint8_t
{
    SlaveNotReachable = 0,
    SlaveParameterising = 1,
    SlaveDataExchange = 2,
    SlaveDiagnosisPending = 3,
    SlaveConfigFault = 4,
    SlaveStopped = 5
};

enum teMasterMode : std::uint8_t
{
    MasterOffline = 0x00,
    MasterStop = 0x40,
    MasterClear = 0x80,
    MasterOperate = 0xC0
};

struct SSlaveCounters
{
    std::uint32_t dwExchanges = 0;  // successful Data_Exchanges
    std::uint32_t dwRetries = 0;    // requests repeated for want of a good answer
    std::uint32_t dwNoAnswer = 0;   // requests that found no answer after all repetitions
    std::uint32_t dwBadAnswers = 0; // answers that made no sense (wrong kind, length, source)
    std::uint32_t dwRestarts = 0;   // start-ups begun after the first
    std::uint32_t dwDiagnoses = 0;  // Slave_Diag read
};

struct SSlaveStatus
{
    teBoardSlaveState eState = SlaveNotReachable;
    std::uint8_t abyInputs[244] = {};
    std::uint8_t abyOutputs[244] = {}; // what the master sends in operate mode
    std::uint8_t abyDiag[244] = {};
    std::uint8_t byDiagLength = 0;
    std::string strProblem; // the last reason it is not exchanging data, for people
    SSlaveCounters counters;
};

struct SMasterCounters
{
    std::uint64_t qwCycles = 0;
    std::uint64_t qwLastCycleNs = 0;
    std::uint64_t qwMaxCycleNs = 0;
    std::uint32_t dwGlobalControls = 0;
    std::uint32_t dwEchoes = 0; // own telegrams read back (half-duplex adapters echo)
};

class CDpMaster
{
public:
    using PFN_EVENT = std::function<void(const std::string&)>;

    CDpMaster(CSerialPort& port, const SMasterConfig& config);

    // Events for people: a slave entering or leaving data exchange, and why.
    void SetEventHandler(PFN_EVENT pfnEvent) { m_pfnEvent = std::move(pfnEvent); }

    // Operate sends the outputs; Clear sends zeros and tells the slaves through
    // Global_Control. Offline and Stop end all traffic but Global_Control.
    void SetMode(teMasterMode eMode);
    teMasterMode Mode() const { return m_eMode; }

    // One pass over every slave. False when the port failed.
    bool RunCycle();

    const SMasterConfig& Config() const { return m_config; }
    std::size_t SlaveCount() const { return m_slaves.size(); }
    const SSlaveStatus& Slave(std::size_t nIndex) const { return m_slaves[nIndex].status; }
    // Index of the slave at an address, or -1.
    int FindSlave(std::uint8_t byAddress) const;
    // The outputs to send; bytes beyond the slave's output length are ignored.
    void SetOutputs(std::size_t nIndex, const std::uint8_t* pbyOutputs, std::size_t nCount);
    const SMasterCounters& Counters() const { return m_counters; }
    const SParserCounters& ParserCounters() const { return m_parser.Counters(); }

private:
    enum class teStep : std::uint8_t
    {
        FdlStatus,
        FirstDiag,
        SetPrm,
        CheckConfig,
        ReadyDiag,
        DataExchange,
        Waiting // for the restart interval
    };
    struct SSlave
    {
        SSlaveConfig config;
        SSlaveStatus status;
        teStep eStep = teStep::FdlStatus;
        bool bFcb = true;  // the frame count bit of the next request
        bool bFcv = false; // whether the slave counts frames yet
        bool bDiagWanted = false;
        bool bStarted = false; // a start-up has been begun before
        std::uint32_t dwReadyTries = 0;
        std::uint64_t qwWaitUntilNs = 0;
    };
    enum class teReply
    {
        Answered,
        NoAnswer,
        PortFailed
    };

    bool StepSlave(SSlave& slave);
    bool SendGlobalControl();
    // Sends the request (repeating it up to the retry limit) and waits for the answer.
    teReply Transact(SSlave* pSlave, STelegram& request, STelegram& answer);
    teReply Receive(std::uint8_t byFrom, std::uint64_t qwFirstByteDeadlineNs, STelegram& answer);
    bool Send(const STelegram& telegram, std::size_t& nBytes);
    void WaitForLine();
    STelegram Request(SSlave& slave, std::uint8_t byCode, bool bWithSaps, std::uint8_t byDsap);
    void Restart(SSlave& slave, teBoardSlaveState eState, const std::string& strWhy);
    void Enter(SSlave& slave, teBoardSlaveState eState, const std::string& strWhy);
    // Reads a Slave_Diag answer into the status; false when it is not one.
    bool TakeDiagnosis(SSlave& slave, const STelegram& answer);
    void Event(const std::string& strText);

    CSerialPort& m_port;
    SMasterConfig m_config;
    std::vector<SSlave> m_slaves;
    CTelegramParser m_parser;
    teMasterMode m_eMode = MasterClear;
    bool m_bModeAnnounced = false;
    std::uint64_t m_qwLastGlobalControlNs = 0;
    std::uint64_t m_qwLineFreeAtNs = 0; // no request before this (the idle time)
    bool m_bLineDirty = true;           // an exchange went wrong: drop what is left first
    std::uint64_t m_qwBitNs1000 = 0;    // picoseconds per bit, for short times
    SMasterCounters m_counters;
    PFN_EVENT m_pfnEvent;
};

} // namespace dp
