// The DP services on top of the data link layer: their service access points and the layouts
// of their data. Data_Exchange uses no SAP (the default SAP); every other service goes from
// the master's SAP 62 to the slave's SAP of the service, the answer back the other way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dp
{

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
inline constexpr std::size_t kMaxUserPrmBytes = 237; // 244 bytes in all
inline constexpr std::uint8_t kPrmWatchdogOn = 0x08;
inline constexpr std::uint8_t kPrmFreezeRequest = 0x10;
inline constexpr std::uint8_t kPrmSyncRequest = 0x20;
inline constexpr std::uint8_t kPrmUnlockRequest = 0x40;
inline constexpr std::uint8_t kPrmLockRequest = 0x80;

// Slave_Diag answer: 6 fixed bytes, then extended diagnosis.
//   0 station status 1   1 station status 2   2 station status 3   3 master address
//   4 ident number, high byte   5 low byte
inline constexpr std::size_t kDiagFixedBytes = 6;
inline constexpr std::size_t kMaxDiagBytes = 244;
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
