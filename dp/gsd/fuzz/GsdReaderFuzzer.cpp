// libFuzzer target: any bytes as the text of a GSD file. The reader must refuse or accept
// without a fault; what it accepts must build into a slave (first module, or the first few
// modules of a modular station) whose bytes keep the promises a bus file relies on.
//
//   build/dev/dp/gsd/gsd_reader_fuzzer -max_total_time=600 -dict=dp/gsd/fuzz/gsd.dict CORPUS_DIR
#include "dp/gsd/GsdReader.h"
#include "dp/gsd/GsdSlaveBuilder.h"
#include "dp/services/DpServices.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

namespace
{

// Every parameter the station and the chosen modules use, at the top of its allowed values.
void SetEveryParameter(const dp::SGsdStation& station, const dp::SGsdPrmBlock& block,
                       dp::SGsdSelection& selection)
{
    for (const dp::SGsdPrmRef& ref : block.refs)
    {
        const dp::SGsdUserPrm& prm = station.userPrms.at(ref.dwPrmId);
        const std::int64_t nValue = prm.bList ? prm.anAllowed.back() : prm.nMax;
        bool bGiven = false;
        for (const dp::SGsdParameterValue& given : selection.values)
            bGiven = bGiven || given.strName == prm.strName;
        if (!bGiven)
            selection.values.push_back({prm.strName, std::to_string(nValue)});
    }
}

void BuildAndCheck(const dp::SGsdStation& station)
{
    dp::SGsdSelection selection;
    const std::size_t nModules =
        station.IsModular() ? std::min<std::size_t>(station.modules.size(), 4) : 0;
    std::size_t nConfigBytes = 0;
    SetEveryParameter(station, station.prm, selection);
    // A compact station offering several configurations takes one by name.
    if (!station.IsModular() && station.modules.size() > 1)
        selection.modules.push_back(station.modules.back().strName);
    for (std::size_t i = 0; i < nModules; ++i)
    {
        selection.modules.push_back(station.modules[i].strName);
        nConfigBytes += station.modules[i].abyConfig.size();
        SetEveryParameter(station, station.modules[i].prm, selection);
    }
    dp::SGsdSlaveData data;
    std::string strError;
    dp::CGsdSlaveBuilder builder(station);
    if (!builder.Build(selection, data, strError))
    {
        // Every refusal names the file.
        if (strError.rfind("fuzz.gsd", 0) != 0)
            std::abort();
        return;
    }
    if (data.abyUserPrm.size() > dp::kMaxUserPrmBytes || data.abyConfig.empty() ||
        data.abyConfig.size() > dp::kMaxConfigBytes ||
        (nModules != 0 && data.abyConfig.size() != nConfigBytes))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbyData, std::size_t nSize)
{
    const std::string_view text(reinterpret_cast<const char*>(pbyData), nSize);
    dp::SGsdStation station;
    std::string strError;
    dp::CGsdReader reader;
    if (!reader.Read(text, "fuzz.gsd", station, strError))
    {
        if (strError.rfind("fuzz.gsd:", 0) != 0)
            std::abort();
        return 0;
    }
    BuildAndCheck(station);
    return 0;
}
