// One simulated DP slave: the slave's side of the start-up (it takes Set_Prm and Chk_Cfg only
// when they match what it expects, and says why not in its diagnosis, as real slaves do),
// cyclic Data_Exchange with input and output images, its DP watchdog, Global_Control, and
// faults put in on purpose. It works on decoded telegrams; CSlaveResponder puts it on a line.
// The service data go through the codec the master uses (dp/services/ServiceData.h), and the inputs
// change by the simulated board's own generators.
#pragma once

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/Telegram.h"
#include "dp/services/DpServices.h"

#include "sim/SharedBoardLayout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

// The slave keeps its images in the board's slave record, which must hold the most a DP
// service carries.
static_assert(korix::kMaxDataLength == kMaxDpDataBytes);

struct SSlaveDefinition
{
    std::uint8_t byAddress = 0;
    std::uint16_t wIdent = 0;
    std::vector<std::uint8_t> abyUserPrm; // expected user parameter data
    std::vector<std::uint8_t> abyConfig;  // expected configuration bytes
    std::uint8_t byInputLength = 0;       // from the configuration bytes
    std::uint8_t byOutputLength = 0;
    std::vector<std::uint8_t> abyInitialInputs;
    // The board's generators (sim/Generators.h), at most korix::kMaxGenerators, checked
    // against the lengths by the slave file's reader.
    std::vector<korix::SGenerator> aGenerators;
};

enum class teSlaveState : std::uint8_t
{
    WaitPrm,
    WaitCfg,
    DataExchange
};

// Faults for tests and demonstrations; CSlaveResponder applies the ones that concern the line.
struct SSlaveFaults
{
    bool bSilent = false;             // answers nothing
    std::uint32_t dwLateMs = 0;       // answers this much later
    std::uint32_t dwCorruptCount = 0; // the next answers carry a wrong check sum
    bool bDiagnosis = false;          // flags extended diagnosis
};

class CSimulatedSlave
{
public:
    // The slave's own min TSDR: the least a station may take, one character.
    static constexpr std::uint8_t kOwnMinTsdrBits = kMinTsdrBits;

    explicit CSimulatedSlave(const SSlaveDefinition& definition);

    const SSlaveDefinition& Definition() const { return m_definition; }
    teSlaveState State() const { return m_eState; }
    SSlaveFaults& Faults() { return m_faults; }
    const std::uint8_t* Outputs() const { return m_image.abyOutput; }
    std::uint8_t MasterAddress() const { return m_byMaster; }
    std::uint32_t DataExchanges() const { return m_dwDataExchanges; }
    // The shortest time the slave lets pass between a request's end and its answer, in bit
    // times: its own until an accepted Set_Prm names another.
    std::uint8_t MinTsdrBits() const { return m_byMinTsdr; }

    // Sets input bytes; false beyond the input length.
    bool SetInputs(std::uint8_t byOffset, const std::vector<std::uint8_t>& abyBytes);

    // Turns extended diagnosis on or off; the next Data_Exchange answers say that new
    // diagnosis waits (high priority) until the master has read it.
    void FlagDiagnosis(bool bOn);

    // Handles a request addressed to this slave (or to everyone). True when it is to be
    // answered, with the answer in answer.
    bool Handle(const STelegram& request, std::uint64_t qwNowMs, STelegram& answer);

    // Runs the DP watchdog: without a telegram from its master for its time (another master's
    // reads do not count), a slave in data exchange falls back to waiting for parameters and
    // sets its outputs to 0.
    void Tick(std::uint64_t qwNowMs);

private:
    bool Execute(const STelegram& request, std::uint64_t qwNowMs, STelegram& answer);
    std::size_t MakeDiagnosis(std::uint8_t* pbyDiag); // returns the byte count
    void SetPrm(const STelegram& request);
    void CheckConfig(const STelegram& request);
    void GlobalControl(const STelegram& request);
    bool DataExchange(const STelegram& request, std::uint64_t qwNowMs, STelegram& answer);
    void FillInputs(std::uint64_t qwNowMs);
    void FallBack(); // to WaitPrm, outputs 0

    SSlaveDefinition m_definition;
    teSlaveState m_eState = teSlaveState::WaitPrm;
    SSlaveFaults m_faults;
    std::uint8_t m_byMaster = kDiagNoMaster;
    std::uint8_t m_byGroup = 0; // Group_Ident of the accepted Set_Prm
    std::uint8_t m_byMinTsdr = kOwnMinTsdrBits;
    bool m_bPrmFault = false;
    bool m_bCfgFault = false;
    bool m_bDiagnosisWaits = false; // new diagnosis not yet read: answers carry DH
    bool m_bWatchdogOn = false;
    std::uint32_t m_dwWatchdogMs = 0;
    std::uint64_t m_qwLastTelegramMs = 0;
    std::uint64_t m_qwEpochMs = 0;
    bool m_bEpochSet = false;
    std::uint32_t m_dwDataExchanges = 0;
    // Frame count bit, kept for each requester apart (its owner and a master that only reads
    // it count their frames each on their own): a request with FCV and the same FCB as that
    // requester's last is a repetition and gets its last answer again without being executed
    // twice.
    struct SFrameCount
    {
        std::uint8_t byRequester = 0;
        bool bFcbKnown = false;
        bool bLastFcb = false;
        bool bLastAnswered = false;
        STelegram lastAnswer;
    };
    SFrameCount& FrameCountOf(std::uint8_t byRequester);
    std::vector<SFrameCount> m_frameCounts;
    // The images and generators in the board's own layout, so that the board's generator
    // engine runs on them unchanged.
    korix::SBoardSlave m_image = {};
};

} // namespace dp
