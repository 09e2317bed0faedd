// What a scan found at one address: the station type its FDL status answer gave and, for a
// slave, its diagnosis (ident, the master that owns it, its state) and its configuration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

enum class teStationType : std::uint8_t
{
    Slave,
    MasterNotReady,
    MasterReady, // ready to enter the token ring
    MasterInRing
};

// "slave", "master not ready", "master ready for the ring", "master in the ring".
const char* StationTypeText(teStationType eType);

struct SScannedStation
{
    std::uint8_t byAddress = 0;
    teStationType eType = teStationType::Slave;

    // Slaves only: the diagnosis, when one came.
    bool bDiagnosis = false;
    std::uint8_t byStatus1 = 0;
    std::uint8_t byStatus2 = 0;
    std::uint8_t byStatus3 = 0;
    std::uint8_t byMaster = 0xFF; // the master that parameterised it; 0xFF none
    std::uint16_t wIdent = 0;

    // Slaves only: the configuration Get_Cfg returned, when it came and formed whole
    // identifiers.
    bool bConfig = false;
    std::vector<std::uint8_t> abyConfig;
    std::uint32_t dwInputBytes = 0;
    std::uint32_t dwOutputBytes = 0;

    // What went wrong with the slave's diagnosis or configuration, in words; empty when
    // nothing did.
    std::string strTrouble;

    bool IsMaster() const { return eType != teStationType::Slave; }
};

} // namespace dp
