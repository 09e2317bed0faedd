// The DP master's status as it lies in shared memory, one block per served board, written by
// korix-dpmaster and read by korixsim and movactl. Readers may be 32-bit processes and the
// writer a 64-bit one, so every field has a fixed width and a fixed offset, nothing is wider
// than 4 bytes (uint64_t aligns differently on i386) and nothing holds a pointer. Readers take
// the block as hostile: every count and string is checked before it is used
// (MasterStatusReader.h). docs/dp-status-block.md describes the layout for peers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace dp
{

inline constexpr std::uint32_t kStatusMagic = 0x5453504Bu; // "KPST" read as little-endian
inline constexpr std::uint32_t kStatusVersion = 2;
inline constexpr std::uint32_t kStatusMaxSlaves = 126;
inline constexpr std::size_t kStatusPortSize = 128;
inline constexpr std::size_t kStatusReasonSize = 96;
inline constexpr std::size_t kStatusDiagSize = 244;
inline constexpr std::size_t kStatusWordsSize = 644;
inline constexpr std::uint8_t kStatusObserved = 0x80;
inline constexpr std::uint8_t kStatusOwnerMask = 0x7F;
inline constexpr std::uint8_t kStatusOwnerUnknown = 0x7F;
// The writer publishes at most this often, so that the bus cycle stays cheap.
inline constexpr std::uint32_t kStatusIntervalMs = 100;

// The counters of SSlaveCounters, in its order.
struct SStatusSlaveCounters
{
    std::uint32_t dwExchanges;
    std::uint32_t dwRetries;
    std::uint32_t dwNoAnswer;
    std::uint32_t dwBadAnswers;
    std::uint32_t dwRestarts;
    std::uint32_t dwDiagnoses;
    std::uint32_t dwUnshownStateLines;
};

struct SStatusSlave
{
    std::uint8_t byAddress;
    std::uint8_t byState; // teBoardSlaveState
    std::uint8_t byInputLength;
    std::uint8_t byOutputLength;
    std::uint16_t wIdent;
    std::uint8_t byDiagLength; // bytes of abyDiag that hold the last diagnosis; 0: none read
    // 0: a slave this master runs. A slave it observes (another master owns it): kStatusObserved
    // with the owner's address from its last diagnosis in the low bits, or kStatusOwnerUnknown
    // there when no diagnosis has named one. Took a reserved byte (0 from earlier masters).
    std::uint8_t byObserved;
    SStatusSlaveCounters counters;
    std::uint32_t dwReserved;
    char szReason[kStatusReasonSize]; // why it is not exchanging data; NUL-terminated
    std::uint8_t abyDiag[kStatusDiagSize];
    char szDiagWords[kStatusWordsSize]; // the diagnosis in words, cut short; NUL-terminated
};

// The line's counters (SLineCounters) and the parser's (SParserCounters).
struct SStatusLineCounters
{
    std::uint32_t dwRequests;
    std::uint32_t dwDroppedBytes;
    std::uint32_t dwEchoes;
    std::uint32_t dwForeign;
    std::uint32_t dwInvalidAnswers;
    std::uint32_t dwStrayShortAcks;
    std::uint32_t dwBusyLine;
    std::uint32_t dwSkippedBytes;
    std::uint32_t dwBadCheckSums;
};

// What a station is, in the live list: from the LAS (in the ring) and from the answers to the
// station's GAP maintenance.
enum teStatusStation : std::uint8_t
{
    StatusStationUnknown = 0,
    StatusStationSlave = 1,
    StatusStationMasterNotReady = 2,
    StatusStationMasterReady = 3,
    StatusStationMasterInRing = 4
};
inline constexpr std::uint8_t kStatusStationMax = StatusStationMasterInRing;

// The master's FDL station in the token ring (SStationCounters).
struct SStatusRing
{
    std::uint8_t byState; // 0: no station; else teRingState + 1
    std::uint8_t byFault; // teStationFault
    std::uint8_t byHighestAddress;
    std::uint8_t byReserved;
    std::uint32_t dwTargetRotationUs;
    std::uint32_t dwLastRotationUs;
    std::uint32_t dwLongestRotationUs;
    std::uint32_t dwTokensReceived;
    std::uint32_t dwTokensPassed;
    std::uint32_t dwTokensLost;
    std::uint32_t dwTokensClaimed;
    std::uint32_t dwPassRepeats;
    std::uint32_t dwStationsDropped;
    std::uint32_t dwTokensRefused;
    std::uint32_t dwTokensFromOutside;
    std::uint32_t dwTokensBeyondHsa;
    std::uint32_t dwTokensInNoise;
    std::uint32_t dwStatusAnswered;
    std::uint32_t dwGapPolls;
    std::uint32_t dwBadStatusAnswers;
    std::uint32_t dwTakenIn;
    std::uint8_t abyStations[128]; // teStatusStation per address, up to the HSA
};
inline constexpr std::uint8_t kStatusRingStateMax = 4; // teRingState::Stopped + 1
inline constexpr std::uint8_t kStatusRingFaultMax = 2; // teStationFault::SecondToken

struct SStatusHeader
{
    std::uint32_t dwMagic;   // kStatusMagic
    std::uint32_t dwVersion; // kStatusVersion
    std::uint32_t dwSize;    // sizeof(SStatusHeader) + dwSlaveCount * sizeof(SStatusSlave)
    // Odd while the writer changes the block: a reader takes a copy only when the count was
    // the same even number before and after it.
    std::uint32_t dwSequence;
    std::int32_t nPid;        // the master's process
    std::uint32_t dwStartLow; // and its start time, so that a reused pid is not taken for it
    std::uint32_t dwStartHigh;
    std::uint32_t dwUpdatedLow; // wall clock of the last update, ms since 1970
    std::uint32_t dwUpdatedHigh;
    std::uint8_t byBoard;
    std::uint8_t byEnded; // 1: the master has ended (the update time says when)
    std::uint8_t byMasterAddress;
    std::uint8_t byMode;          // teBoardMasterMode
    std::uint32_t dwBaudRate;     // the bus file's
    std::uint32_t dwActualRate;   // what the port's driver took
    char szPort[kStatusPortSize]; // NUL-terminated, cut short if longer
    std::uint32_t dwCyclesLow;
    std::uint32_t dwCyclesHigh;
    std::uint32_t dwLastCycleUs;
    std::uint32_t dwLongestCycleUs;
    std::uint32_t dwCycleBoundUs;
    std::uint32_t dwGlobalControls;
    SStatusLineCounters line;
    std::uint32_t dwSlaveCount; // at most kStatusMaxSlaves
    // A line counter (SLineCounters) that came after the block's layout: it took a reserved
    // word, so that readers of this version read it, and 0 from a master that did not count.
    std::uint32_t dwAnswersInDoubt;
    // A passive monitor's block (korix-dpmaster --listen) carries a section of its own behind
    // the slave records (SStatusMonitor): its size here, 0 in a master's block.
    std::uint32_t dwMonitorSize;
    std::uint32_t adwReserved[1];
    SStatusRing ring; // from version 2
};

static_assert(sizeof(SStatusSlaveCounters) == 28);
static_assert(offsetof(SStatusSlave, counters) == 8);
static_assert(offsetof(SStatusSlave, szReason) == 40);
static_assert(offsetof(SStatusSlave, abyDiag) == 136);
static_assert(offsetof(SStatusSlave, szDiagWords) == 380);
static_assert(sizeof(SStatusSlave) == 1024);
static_assert(sizeof(SStatusLineCounters) == 36);
static_assert(offsetof(SStatusHeader, dwSequence) == 12);
static_assert(offsetof(SStatusHeader, nPid) == 16);
static_assert(offsetof(SStatusHeader, dwUpdatedLow) == 28);
static_assert(offsetof(SStatusHeader, byBoard) == 36);
static_assert(offsetof(SStatusHeader, dwBaudRate) == 40);
static_assert(offsetof(SStatusHeader, szPort) == 48);
static_assert(offsetof(SStatusHeader, dwCyclesLow) == 176);
static_assert(offsetof(SStatusHeader, line) == 200);
static_assert(offsetof(SStatusHeader, dwSlaveCount) == 236);
static_assert(offsetof(SStatusHeader, dwAnswersInDoubt) == 240);
static_assert(offsetof(SStatusHeader, dwMonitorSize) == 244);
static_assert(sizeof(SStatusRing) == 200);
static_assert(offsetof(SStatusRing, abyStations) == 72);
static_assert(offsetof(SStatusHeader, ring) == 252);
static_assert(sizeof(SStatusHeader) == 452);
static_assert(alignof(SStatusHeader) == 4 && alignof(SStatusSlave) == 4);
static_assert(std::is_trivially_copyable_v<SStatusHeader>);
static_assert(std::is_trivially_copyable_v<SStatusSlave>);

// The monitor's section: every address of the bus, as far as it was seen, and the line.
inline constexpr std::uint32_t kStatusStations = 128;

enum teStatusStationKind : std::uint8_t
{
    StationUnseen = 0,
    StationMaster = 1,
    StationSlave = 2
};

struct SStatusStation
{
    std::uint8_t byKind;   // teStatusStationKind
    std::uint8_t byMaster; // a slave's master; 255: none seen
    std::uint8_t byReserved[2];
    std::uint32_t dwRotationUs;     // a master's last token rotation time; 0: none seen
    std::uint32_t dwExchangesPerKs; // a slave's exchanges per 1000 s now; 0: not exchanging
    std::uint32_t dwRequests;       // requests to it
    std::uint32_t dwBadCheckSums;   // telegrams with a wrong check sum in its answer window
    std::uint32_t dwRepeats;        // requests to it whose FCB did not toggle
    std::uint32_t dwNoAnswer;       // requests to it without an answer
    std::uint32_t dwAnswersInDoubt; // answers of it dropped as in doubt
    std::uint32_t dwDiagRequests;   // Slave_Diag requests to it
};

struct SStatusMonitor
{
    std::uint32_t dwTelegrams;
    std::uint32_t dwStrayAnswers; // responses no request waited for
    std::uint32_t dwAnswersInDoubt;
    std::uint32_t dwUnanswered;
    std::uint32_t dwLengthMismatches;    // exchanges of other lengths than the slave's, dropped
    std::uint32_t dwUnknownSlaves;       // exchanges with slaves the bus file does not name
    std::uint32_t dwBadCheckSumsOutside; // in no request's answer window
    std::uint32_t dwSkippedBytes;
    std::uint32_t dwBadCheckSums;
    std::uint32_t dwBadFrames;
    std::uint32_t dwTruncated;
    std::uint32_t dwFromBusFile; // 1: the slaves are the bus file's; 0: learnt from the line
    SStatusStation aStations[kStatusStations];
};

static_assert(sizeof(SStatusStation) == 36);
static_assert(offsetof(SStatusMonitor, aStations) == 48);
static_assert(sizeof(SStatusMonitor) == 48 + 128 * 36);
static_assert(std::is_trivially_copyable_v<SStatusMonitor>);

inline constexpr std::size_t kStatusMaxSize =
    sizeof(SStatusHeader) + kStatusMaxSlaves * sizeof(SStatusSlave);

// A monitor's block is longer by its section.
inline constexpr std::size_t kStatusMaxMonitorSize = kStatusMaxSize + sizeof(SStatusMonitor);

// The block's size for a number of slaves (without a monitor's section).
constexpr std::size_t StatusBlockSize(std::uint32_t dwSlaveCount)
{
    return sizeof(SStatusHeader) + dwSlaveCount * sizeof(SStatusSlave);
}

// Slave blocks begin 4-byte aligned behind the header.
static_assert(sizeof(SStatusHeader) % 4 == 0);

} // namespace dp
