// The request block that every call into the board library reads and fills in place.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct SBoardRequest
{
    std::uint8_t byHandle;      // in: board number at registration, else the handle; out: handle
    std::uint8_t byHandleExt;   // in: 0x50 at registration, else the second handle byte
    std::uint8_t byL2Addr;      // slave address
    std::uint8_t byLength;      // in: capacity or count; out: actual length or count
    std::uint16_t wError;       // out: 0, or a board error word (0x80..0x95)
    std::uint8_t bySlaveState;  // out: state of the addressed slave; 2 and 3 exchange data
    std::uint8_t byMasterState; // out: 0x00, 0x40, 0x80 or 0xC0; 0x80 and 0xC0 are operational
    std::uint8_t byFlags;       // out: kBoardFlagWatchdogExpired
    std::uint8_t abyData[255];
};
#pragma pack(pop)

static_assert(sizeof(SBoardRequest) == 264);
static_assert(offsetof(SBoardRequest, byHandle) == 0);
static_assert(offsetof(SBoardRequest, byHandleExt) == 1);
static_assert(offsetof(SBoardRequest, byL2Addr) == 2);
static_assert(offsetof(SBoardRequest, byLength) == 3);
static_assert(offsetof(SBoardRequest, wError) == 4);
static_assert(offsetof(SBoardRequest, bySlaveState) == 6);
static_assert(offsetof(SBoardRequest, byMasterState) == 7);
static_assert(offsetof(SBoardRequest, byFlags) == 8);
static_assert(offsetof(SBoardRequest, abyData) == 9);

inline constexpr std::uint8_t kBoardRegistrationTag = 0x50; // byHandleExt at registration
inline constexpr std::uint8_t kBoardFlagWatchdogExpired = 0x20;
inline constexpr std::uint16_t kBoardErrorWatchdogExpired = 0x95;
inline constexpr std::uint8_t kBoardSlaveCount = 126; // addresses 0..125
inline constexpr std::uint8_t kBoardModeUnused = 0;   // registration mode of an address
inline constexpr std::uint8_t kBoardModeUsed = 2;
inline constexpr std::uint8_t kBoardNoSlave = 0xFF; // slave list entry without a slave
