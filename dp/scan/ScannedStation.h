// What a scan found at one address: the station type its FDL status answer gave and, for a
// slave, its diagnosis (ident, the master that owns it, its state) and its configuration.
#pragma once

#include "dp/fdl/StationKind.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

struct SScannedStation
{
    std::uint8_t byAddress = 0;
    teStationKind eKind = teStationKind::Slave;

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

    bool IsMaster() const { return eKind != teStationKind::Slave; }
};

} // namespace dp
