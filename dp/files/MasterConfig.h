// What a DP master needs to know: its own address, the bus, and each slave it is to run.
#pragma once

#include "dp/fdl/BusTiming.h"
#include "dp/services/DiagnosisText.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

struct SSlaveConfig
{
    std::uint8_t byAddress = 0;
    std::uint16_t wIdent = 0;
    std::vector<std::uint8_t> abyUserPrm;
    std::vector<std::uint8_t> abyConfig;
    std::uint32_t dwWatchdogMs = 0; // the slave's DP watchdog; 0 = off
    std::uint8_t byGroup = 0;       // Group_Ident of Set_Prm
    std::uint8_t byInputLength = 0; // from the configuration bytes
    std::uint8_t byOutputLength = 0;
    SDiagTexts diagTexts; // from the slave's device description, for its diagnosis in words
    // Another master owns the slave: the board shows it read-only and refuses hosts' writes.
    bool bReadOnly = false;
    // Another master owns the slave and this one only reads it (Slave_Diag, RD_Inp, RD_Outp,
    // Get_Cfg): never parametrised, configured, written or sent Global_Control. Implies
    // bReadOnly. The user parameter data, watchdog and group are the owner's and unused here.
    bool bObserve = false;
};

struct SMasterConfig
{
    std::uint8_t byMasterAddress = 1;
    SBusParameters bus;
    // What the operating system and the adapter add to the slot time before an answer's
    // first byte reaches us (USB adapters: about 1 ms; a pseudo-terminal: scheduling).
    std::uint32_t dwResponseAllowanceUs = 5000;
    // How often a slave that did not answer, or refused its parameters, is tried again.
    std::uint32_t dwRestartIntervalMs = 100;
    // Global_Control is repeated this often even when the mode stays (0: only on changes).
    std::uint32_t dwGlobalControlIntervalMs = 1000;
    // The token ring: the highest station address (HSA), the target rotation time (TTR, in bit
    // times; the bus file's default from DefaultTargetRotationBits) and the gap factor (G: one
    // gap address is asked every G rotations).
    std::uint8_t byHighestAddress = 126;
    std::uint32_t dwTargetRotationBits = 0;
    std::uint32_t dwGapFactor = 10;
    std::vector<SSlaveConfig> slaves;
};

} // namespace dp
