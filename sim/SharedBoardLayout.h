// The state of one simulated board as it lies in shared memory. 32-bit hosts and 64-bit tools
// map the same bytes, so every field has a fixed width and a fixed offset, nothing is wider
// than 4 bytes (uint64_t aligns differently on i386) and nothing holds a pointer.
// docs/simulated-board.md describes the layout for peers.
#pragma once

#include "board/BoardOperations.h"
#include "board/BoardRequest.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace korix
{

inline constexpr std::uint32_t kBoardMagic = 0x4B52584Bu; // "KXRK" read as little-endian
inline constexpr std::uint32_t kBoardVersion = 2;
inline constexpr std::uint8_t kMaxDataLength = 244;  // DP maximum of inputs or outputs
inline constexpr std::uint8_t kMaxGenerators = 16;   // per slave
inline constexpr std::uint8_t kMaxRegistrations = 8; // per board
inline constexpr std::uint8_t kMaxGeneration = 31;   // handle generations run 1..31
inline constexpr std::size_t kPlantSourceSize = 128;

enum teOperation : std::uint8_t
{
#define KORIX_OPERATION_ENUM(name, ordinal, member) Op##name,
    KORIX_BOARD_OPERATIONS(KORIX_OPERATION_ENUM)
#undef KORIX_OPERATION_ENUM
        OpCount
};

enum teGeneratorKind : std::uint8_t
{
    GenNone = 0,
    GenConstant = 1,
    GenCounter = 2,
    GenSine = 3,
    GenLoopback = 4,
    GenRandom = 5
};

// Fills input bytes [byOffset, byOffset + byLength) of its slave whenever the inputs are read.
struct SGenerator
{
    std::uint8_t byKind;   // teGeneratorKind
    std::uint8_t byOffset; // first input byte
    std::uint8_t byLength;
    std::uint8_t bySource;     // loopback: first output byte
    std::uint32_t dwPeriodMs;  // counter: one step per period; sine: one full wave
    std::uint32_t dwStep;      // counter
    std::uint32_t dwValueHigh; // constant: the value; counter: the start value
    std::uint32_t dwValueLow;
    std::int32_t nAmplitude;     // sine
    std::int32_t nCenter;        // sine
    std::uint32_t dwRandomState; // random: xorshift32 state, never 0
};

// One slave as the board shows it to hosts: the simulated plant's or a serving master's.
struct SBoardSlave
{
    std::uint8_t byPresent; // 0: no slave at this address
    std::uint8_t byState;   // 2 and 3 exchange data
    std::uint8_t byInputLength;
    std::uint8_t byOutputLength;
    std::uint8_t byGeneratorCount;
    // 1: the slave's outputs belong to another master (a slave observed or listened to by a
    // served board): hosts read it, and a write is refused without touching the outputs.
    std::uint8_t byReadOnly;
    std::uint8_t abyReserved[2];
    SGenerator aGenerators[kMaxGenerators];
    std::uint8_t abyInput[kMaxDataLength];
    std::uint8_t abyOutput[kMaxDataLength]; // what the master holds for the slave
};

// What a plant file or the default plant describes.
struct SPlant
{
    std::uint8_t byMasterMode;
    std::uint8_t abyReserved[3];
    std::uint32_t dwEpoch;                 // tick count at which the generators' time begins
    char szSource[kPlantSourceSize];       // "default" or the file the plant came from
    SBoardSlave aSlaves[kBoardSlaveCount]; // indexed by address
};

struct SRegistration
{
    std::uint8_t byInUse;
    std::uint8_t byGeneration;   // 1..31; part of the handle, so a stale handle is refused
    std::uint8_t byWatchdogTime; // in 10 ms, 0 = disarmed
    std::uint8_t byExpired;
    std::int32_t nPid;        // owner process
    std::uint32_t dwStartLow; // owner's start time, so a reused pid is not taken for it
    std::uint32_t dwStartHigh;
    std::uint32_t dwLastExchange;            // tick count of the last exchange or watchdog setting
    std::uint32_t dwRegisteredAt;            // tick count
    std::uint8_t abyModes[kBoardSlaveCount]; // kBoardModeUnused or kBoardModeUsed per address
    std::uint8_t byServesBoard; // kRegistrationServesBoard: a DP master's (sim/ServedBoard.h)
    std::uint8_t byReserved;
};

// "The next N calls answer W" and "the next N calls take D ms", for one operation.
struct SFault
{
    std::uint16_t wErrorWord;
    std::uint16_t wReserved;
    std::uint32_t dwErrorCount;
    std::uint32_t dwDelayMs;
    std::uint32_t dwDelayCount;
};

// How fresh what a serving DP master posted is (sim/ServedBoard.h). Ticks are tick counts
// (platform::ReadTickCount()); cycles count the master's bus cycles from 1, modulo 2^32. All
// zero on a board that no master serves.
struct SFreshness
{
    std::uint32_t dwBoundMs;     // the oldest anything posted may be; 0 = not served, no promise
    std::uint32_t dwMasterTick;  // the master's last exchange with the board (its heartbeat)
    std::uint32_t dwMasterCycle; // cycles the master had completed then
    std::uint32_t adwInputsTick[kBoardSlaveCount];  // per address: inputs last brought then
    std::uint32_t adwInputsCycle[kBoardSlaveCount]; // and by that cycle
};

struct SBoardState
{
    std::uint32_t dwMagic;   // kBoardMagic once initialised
    std::uint32_t dwVersion; // kBoardVersion
    std::uint32_t dwSize;    // sizeof(SBoardState)
    std::uint8_t byBoard;
    std::uint8_t byInside;         // set while a lock holder works; found set: the holder died
    std::uint8_t byDeclaredServed; // kBoardDeclaredServed: meant for a DP master (ServedBoard.h)
    std::uint8_t byReserved;
    SRegistration aRegistrations[kMaxRegistrations];
    SFault aFaults[OpCount];
    SPlant sPlant;
    SFreshness sFreshness;
};

static_assert(OpCount == 8);
static_assert(sizeof(SGenerator) == 32);
static_assert(sizeof(SBoardSlave) == 8 + 16 * 32 + 2 * 244);
static_assert(offsetof(SBoardSlave, aGenerators) == 8);
static_assert(offsetof(SBoardSlave, abyInput) == 520);
static_assert(offsetof(SBoardSlave, abyOutput) == 764);
static_assert(sizeof(SPlant) == 136 + 126 * 1008);
static_assert(offsetof(SPlant, dwEpoch) == 4);
static_assert(offsetof(SPlant, szSource) == 8);
static_assert(offsetof(SPlant, aSlaves) == 136);
static_assert(sizeof(SRegistration) == 152);
static_assert(offsetof(SRegistration, nPid) == 4);
static_assert(offsetof(SRegistration, dwLastExchange) == 16);
static_assert(offsetof(SRegistration, abyModes) == 24);
static_assert(offsetof(SRegistration, byServesBoard) == 150);
static_assert(sizeof(SFault) == 16);
static_assert(offsetof(SBoardState, byDeclaredServed) == 14);
static_assert(offsetof(SBoardState, aRegistrations) == 16);
static_assert(offsetof(SBoardState, aFaults) == 16 + 8 * 152);
static_assert(sizeof(SFreshness) == 12 + 2 * 126 * 4);
static_assert(offsetof(SFreshness, adwInputsTick) == 12);
static_assert(offsetof(SFreshness, adwInputsCycle) == 12 + 126 * 4);
static_assert(offsetof(SBoardState, sPlant) == 16 + 8 * 152 + 8 * 16);
static_assert(offsetof(SBoardState, sFreshness) == 1360 + sizeof(SPlant));
static_assert(sizeof(SBoardState) == 1360 + sizeof(SPlant) + sizeof(SFreshness));
static_assert(alignof(SBoardState) == 4);
static_assert(std::is_trivially_copyable_v<SBoardState>);

} // namespace korix
