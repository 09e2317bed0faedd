// The DP services on top of the data link layer: their service access points and the layouts
// of their data. Data_Exchange uses no SAP (the default SAP); every other service goes from
// the master's SAP 62 to the slave's SAP of the service, the answer back the other way.
#pragma once

#include "dp/fdl/Telegram.h"

#include <cstddef>
#include <cstdint>

namespace dp
{

// The most data one DP service carries: inputs, outputs, Set_Prm, the configuration, a
// diagnosis. The telegram leaves room for it behind both SAP bytes.
inline constexpr std::size_t kMaxDpDataBytes = 244;
static_assert(kMaxDpDataBytes + kSapUnits == kMaxDataUnits);

// Service access points.
inline constexpr std::uint8_t kSapSetSlaveAddress = 55;
inline constexpr std::uint8_t kSapReadInputs = 56;
inline constexpr std::uint8_t kSapReadOutputs = 57;
inline constexpr std::uint8_t kSapGlobalControl = 58;
inline constexpr std::uint8_t kSapGetConfig = 59;
inline constexpr std::uint8_t kSapSlaveDiag = 60;
inline constexpr std::uint8_t kSapSetPrm = 61;
inline constexpr std::uint8_t kSapCheckConfig = 62;
inline constexpr std::uint8_t kSapMaster = 62; // the master's end of every SAP service

// Set_Prm data: 7 fixed bytes, then the slave's user parameter data.
//   0 station status   1 WD_Fact_1   2 WD_Fact_2   3 min TSDR (bit times; 0 keeps the old)
//   4 ident number, high byte   5 low byte   6 group ident   7.. user parameter data
inline constexpr std::size_t kPrmFixedBytes = 7;
inline constexpr std::size_t kMaxUserPrmBytes = kMaxDpDataBytes - kPrmFixedBytes; // 237
inline constexpr std::uint32_t kWatchdogUnitMs = 10; // the watchdog counts WD_Fact_1 x WD_Fact_2
inline constexpr std::uint32_t kMaxWatchdogFactor = 255;
inline constexpr std::uint8_t kPrmWatchdogOn = 0x08;
inline constexpr std::uint8_t kPrmFreezeRequest = 0x10;
inline constexpr std::uint8_t kPrmSyncRequest = 0x20;
inline constexpr std::uint8_t kPrmUnlockRequest = 0x40;
inline constexpr std::uint8_t kPrmLockRequest = 0x80;

// Slave_Diag answer: 6 fixed bytes, then extended diagnosis.
//   0 station status 1   1 station status 2   2 station status 3   3 master address
//   4 ident number, high byte   5 low byte
inline constexpr std::size_t kDiagFixedBytes = 6;
inline constexpr std::size_t kMaxDiagBytes = kMaxDpDataBytes;
// Station status 1
inline constexpr std::uint8_t kDiag1StationNonExistent = 0x01; // set by the master
inline constexpr std::uint8_t kDiag1StationNotReady = 0x02;
inline constexpr std::uint8_t kDiag1ConfigFault = 0x04;
inline constexpr std::uint8_t kDiag1ExtDiag = 0x08;
inline constexpr std::uint8_t kDiag1NotSupported = 0x10;
inline constexpr std::uint8_t kDiag1InvalidSlaveResponse = 0x20; // set by the master
inline constexpr std::uint8_t kDiag1PrmFault = 0x40;
inline constexpr std::uint8_t kDiag1MasterLock = 0x80; // parameterised by another master
// Station status 2
inline constexpr std::uint8_t kDiag2PrmRequest = 0x01;
inline constexpr std::uint8_t kDiag2StatDiag = 0x02;
inline constexpr std::uint8_t kDiag2AlwaysOne = 0x04;
inline constexpr std::uint8_t kDiag2WatchdogOn = 0x08;
inline constexpr std::uint8_t kDiag2FreezeMode = 0x10;
inline constexpr std::uint8_t kDiag2SyncMode = 0x20;
inline constexpr std::uint8_t kDiag2Deactivated = 0x80; // set by the master
// Station status 3
inline constexpr std::uint8_t kDiag3ExtDiagOverflow = 0x80;
inline constexpr std::uint8_t kDiagNoMaster = 0xFF; // master address before any Set_Prm

// Chk_Cfg and Get_Cfg data: configuration identifiers (their formats in ConfigBytes.h).
inline constexpr std::size_t kMaxConfigBytes = kMaxDpDataBytes;
inline constexpr std::uint8_t kCfgConsistent = 0x80; // general identifiers and length bytes
inline constexpr std::uint8_t kCfgWords = 0x40;      // general identifiers and length bytes
inline constexpr std::uint8_t kCfgOutput = 0x20;     // general identifiers: the direction
inline constexpr std::uint8_t kCfgInput = 0x10;
inline constexpr std::uint8_t kCfgUnitsMask = 0x0F; // general: length - 1
inline constexpr std::size_t kCfgMaxGeneralUnits = 16;
inline constexpr std::uint8_t kCfgMakerBytesMask = 0x0F; // special: manufacturer byte count
inline constexpr std::uint8_t kCfgMakerBytesRefused = 15;
inline constexpr std::uint8_t kCfgSpecialKindShift = 6; // special: which length bytes follow
inline constexpr std::uint8_t kCfgSpecialNoLength = 0;
inline constexpr std::uint8_t kCfgSpecialInput = 1;
inline constexpr std::uint8_t kCfgSpecialOutput = 2;
inline constexpr std::uint8_t kCfgSpecialBoth = 3;   // the output length byte, then the input one
inline constexpr std::uint8_t kCfgLengthMask = 0x3F; // special length byte: length - 1

// Global_Control data: control command, group select (0: all groups).
inline constexpr std::uint8_t kControlClearData = 0x02;
inline constexpr std::uint8_t kControlUnfreeze = 0x04;
inline constexpr std::uint8_t kControlFreeze = 0x08;
inline constexpr std::uint8_t kControlUnsync = 0x10;
inline constexpr std::uint8_t kControlSync = 0x20;

// The DP watchdog of Set_Prm: 10 ms x WD_Fact_1 x WD_Fact_2, each factor 1 to 255. The
// factors for a time in ms, rounded up to the next time they can express; false when the time
// is 0 or beyond 255 x 255 x 10 ms.
bool WatchdogFactors(std::uint32_t dwMilliseconds, std::uint8_t& byFactor1,
                     std::uint8_t& byFactor2);

} // namespace dp
