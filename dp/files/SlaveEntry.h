// What a slave entry has in both DP files, the master's bus file and the slave simulator's
// slave file: address, ident, parameters, configuration, and the image lengths the
// configuration gives; and the walk over the root's "slaves" array.
#pragma once

#include "sim/common/PlantFields.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dp
{

struct SSlaveIdentity
{
    std::uint8_t byAddress = 0;
    std::uint16_t wIdent = 0;
    std::vector<std::uint8_t> abyUserPrm;
    std::vector<std::uint8_t> abyConfig;
    std::uint8_t byInputLength = 0;
    std::uint8_t byOutputLength = 0;
};

// The fields both files give a slave: address, ident, parameters and configuration.
template <typename TSlave> void TakeIdentity(const SSlaveIdentity& identity, TSlave& slave)
{
    slave.byAddress = identity.byAddress;
    slave.wIdent = identity.wIdent;
    slave.abyUserPrm = identity.abyUserPrm;
    slave.abyConfig = identity.abyConfig;
    slave.byInputLength = identity.byInputLength;
    slave.byOutputLength = identity.byOutputLength;
}

using FReadSlave = std::function<bool(const korix::json& jSlave, const std::string& strPlace,
                                      const SSlaveIdentity& identity)>;

// Fills a slave's identity from what else its entry names (the bus file: a device description
// file) before the bytes typed by hand are read over it; bFilled says that it did, and that
// "ident" and "config" may then be left out. False with the reason in fields.
using FFillSlave = std::function<bool(const korix::json& jSlave, const std::string& strPlace,
                                      SSlaveIdentity& identity, bool& bFilled)>;

// Walks the root's "slaves" array: each element is checked for its keys, its identity and an
// address of its own (not byReservedAddress), then handed to readSlave with its place in the
// file ("slaves[2]"). The first failure ends the walk. The ident is a number, or a string of
// one in decimal or 0x hex ("0x0A35").
bool ReadSlaveArray(korix::CFieldReader& fields, const korix::json& jRoot,
                    const std::vector<std::string_view>& keys, std::uint8_t byReservedAddress,
                    const FReadSlave& readSlave, const FFillSlave& fillSlave = nullptr);

} // namespace dp
