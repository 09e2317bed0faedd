// Builds what the master needs of one slave from its station's GSD file and a choice of
// modules and parameter values, and checks it against what the file declares. Errors name the
// file and, where the file has one, the line: "pump.gsd:12: 9 modules, more than Max_Module 8".
#pragma once

#include "dp/gsd/GsdSlaveData.h"
#include "dp/gsd/GsdStation.h"

#include <map>
#include <string>
#include <vector>

namespace dp
{

class CGsdSlaveBuilder
{
public:
    explicit CGsdSlaveBuilder(const SGsdStation& station) : m_station(station) {}

    // The ident, the configuration of the chosen modules (or the compact station's own), the
    // user parameter data, then Check().
    bool Build(const SGsdSelection& selection, SGsdSlaveData& data, std::string& strError);

    // Checks data (built here, or with fields typed by hand) against the station's declared
    // lengths, its maximum user parameter length and, when dwBaudRate is not 0, its baud rates.
    bool Check(const SGsdSlaveData& data, std::uint32_t dwBaudRate, std::string& strError);

    // The station's own part of the user parameter data, every field at its default: what
    // every slave of the station begins its Set_Prm's user parameters with. False with the
    // reason when a field cannot be placed.
    bool BuildStationPrm(std::vector<std::uint8_t>& abyUserPrm, std::string& strError);

private:
    bool ChooseModules(const std::vector<std::string>& names,
                       std::vector<const SGsdModule*>& modules);
    bool FindModule(const std::string& strName, const SGsdModule*& pModule);
    bool BuildConfig(const std::vector<const SGsdModule*>& modules, SGsdSlaveData& data);
    bool TakeValues(const std::vector<SGsdParameterValue>& values,
                    const std::vector<const SGsdPrmBlock*>& blocks);
    bool PlaceBlock(const SGsdPrmBlock& block, std::size_t nBase,
                    std::vector<std::uint8_t>& abyUserPrm);
    bool PlaceStationPrm(std::vector<std::uint8_t>& abyUserPrm);
    bool CheckBaudRate(std::uint32_t dwBaudRate);

    bool Fail(std::size_t nLine, const std::string& strWhy);

    const SGsdStation& m_station;
    std::map<std::uint32_t, std::int64_t> m_chosenValues; // by ExtUserPrmData id
    std::string m_strError;
};

} // namespace dp
