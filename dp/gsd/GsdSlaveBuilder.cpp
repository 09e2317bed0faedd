#include "dp/gsd/GsdSlaveBuilder.h"

#include "dp/gsd/GsdDataType.h"
#include "dp/gsd/GsdFieldPlacer.h"
#include "dp/gsd/GsdValueText.h"
#include "dp/services/ConfigBytes.h"
#include "dp/services/DpServices.h"

#include <algorithm>

namespace dp
{

namespace
{

// A DP-V1 slave's user parameter data starts with its three DP-V1 status bytes.
constexpr std::size_t kDpv1StatusBytes = 3;

std::string Quoted(const std::string& str)
{
    return "\"" + str + "\"";
}

} // namespace

bool CGsdSlaveBuilder::Fail(std::size_t nLine, const std::string& strWhy)
{
    m_strError =
        m_station.strFile + (nLine != 0 ? ":" + std::to_string(nLine) : "") + ": " + strWhy;
    return false;
}

bool CGsdSlaveBuilder::Build(const SGsdSelection& selection, SGsdSlaveData& data,
                             std::string& strError)
{
    m_strError.clear();
    m_chosenValues.clear();
    SGsdSlaveData built;
    std::vector<const SGsdModule*> modules;
    std::vector<const SGsdPrmBlock*> blocks = {&m_station.prm};
    bool bBuilt = false;
    if (!m_station.identNumber.Given())
        Fail(0, "the file gives no Ident_Number");
    else if (m_station.stationType.nValue != 0)
        Fail(m_station.stationType.nLine,
             "Station_Type " + std::to_string(m_station.stationType.nValue) + ": not a DP slave");
    else if (ChooseModules(selection.modules, modules) && BuildConfig(modules, built))
    {
        for (const SGsdModule* pModule : modules)
            blocks.push_back(&pModule->prm);
        bBuilt = TakeValues(selection.values, blocks) && PlaceStationPrm(built.abyUserPrm);
        for (std::size_t i = 1; bBuilt && i < blocks.size(); ++i)
        {
            const std::size_t nBase = built.abyUserPrm.size();
            built.abyUserPrm.resize(nBase + blocks[i]->nLength, 0);
            bBuilt = built.abyUserPrm.size() <= kMaxUserPrmBytes
                         ? PlaceBlock(*blocks[i], nBase, built.abyUserPrm)
                         : Fail(modules[i - 1]->nLine,
                                "with module " + Quoted(modules[i - 1]->strName) +
                                    " the user parameter data passes the " +
                                    std::to_string(kMaxUserPrmBytes) + " bytes a Set_Prm carries");
        }
        built.wIdent = static_cast<std::uint16_t>(m_station.identNumber.nValue);
        bBuilt = bBuilt && Check(built, selection.dwBaudRate, m_strError);
    }
    if (!bBuilt)
    {
        strError = m_strError;
        return false;
    }
    data = std::move(built);
    return true;
}

bool CGsdSlaveBuilder::FindModule(const std::string& strName, const SGsdModule*& pModule)
{
    // The exact name first; then without regard to case, if that names one module only.
    std::vector<const SGsdModule*> exact, alike;
    for (const SGsdModule& module : m_station.modules)
    {
        if (module.strName == strName)
            exact.push_back(&module);
        else if (GsdSameName(module.strName, strName))
            alike.push_back(&module);
    }
    const std::vector<const SGsdModule*>& found = exact.empty() ? alike : exact;
    if (found.size() == 1)
    {
        pModule = found.front();
        return true;
    }
    if (found.empty())
        return Fail(0, "no module " + Quoted(strName));
    std::string strLines;
    for (const SGsdModule* pFound : found)
        strLines += (strLines.empty() ? "" : ", ") + std::to_string(pFound->nLine);
    return Fail(0, Quoted(strName) + " names " + std::to_string(found.size()) + " modules (lines " +
                       strLines + ")");
}

bool CGsdSlaveBuilder::ChooseModules(const std::vector<std::string>& names,
                                     std::vector<const SGsdModule*>& modules)
{
    if (!m_station.IsModular())
    {
        // A compact station's configuration is its one Module; a file may offer several for
        // a person to choose from.
        if (names.size() > 1)
            return Fail(0,
                        "a compact station takes one module, not " + std::to_string(names.size()));
        if (names.empty() && m_station.modules.size() != 1)
            return Fail(0, m_station.modules.empty()
                               ? "the file gives no Module with the station's configuration"
                               : "the file offers " + std::to_string(m_station.modules.size()) +
                                     " configurations (Module lines): choose one");
        const SGsdModule* pModule = names.empty() ? &m_station.modules.front() : nullptr;
        if (!names.empty() && !FindModule(names.front(), pModule))
            return false;
        modules.push_back(pModule);
        return true;
    }
    if (names.empty())
        return Fail(m_station.modularStation.nLine,
                    "a modular station needs its modules, in slot order");
    if (m_station.maxModule.Given() &&
        static_cast<std::int64_t>(names.size()) > m_station.maxModule.nValue)
        return Fail(m_station.maxModule.nLine, std::to_string(names.size()) +
                                                   " modules, more than Max_Module " +
                                                   std::to_string(m_station.maxModule.nValue));
    for (const std::string& strName : names)
    {
        const SGsdModule* pModule = nullptr;
        if (!FindModule(strName, pModule))
            return false;
        modules.push_back(pModule);
    }
    return true;
}

bool CGsdSlaveBuilder::BuildConfig(const std::vector<const SGsdModule*>& modules,
                                   SGsdSlaveData& data)
{
    SImageLengths total;
    for (const SGsdModule* pModule : modules)
    {
        SImageLengths lengths;
        std::string strWhy;
        if (!ConfigImageLengths(pModule->abyConfig.data(), pModule->abyConfig.size(), lengths,
                                strWhy))
            return Fail(pModule->nLine,
                        "module " + Quoted(pModule->strName) + ": configuration " + strWhy);
        data.abyConfig.insert(data.abyConfig.end(), pModule->abyConfig.begin(),
                              pModule->abyConfig.end());
        data.moduleNames.push_back(pModule->strName);
        total.dwInputs += lengths.dwInputs;
        total.dwOutputs += lengths.dwOutputs;
        if (data.abyConfig.size() > kMaxConfigBytes || total.dwInputs > kMaxDpDataBytes ||
            total.dwOutputs > kMaxDpDataBytes)
            return Fail(pModule->nLine,
                        "with module " + Quoted(pModule->strName) + " the slave has " +
                            std::to_string(data.abyConfig.size()) + " configuration bytes, " +
                            std::to_string(total.dwInputs) + " input and " +
                            std::to_string(total.dwOutputs) + " output bytes; at most " +
                            std::to_string(kMaxDpDataBytes) + " each");
    }
    data.byInputLength = static_cast<std::uint8_t>(total.dwInputs);
    data.byOutputLength = static_cast<std::uint8_t>(total.dwOutputs);
    return true;
}

// The values given by name, each checked against its parameter; every name must be used by
// the station or one of the chosen modules.
bool CGsdSlaveBuilder::TakeValues(const std::vector<SGsdParameterValue>& values,
                                  const std::vector<const SGsdPrmBlock*>& blocks)
{
    for (const SGsdParameterValue& given : values)
    {
        bool bUsed = false;
        for (const SGsdPrmBlock* pBlock : blocks)
            for (const SGsdPrmRef& ref : pBlock->refs)
            {
                const SGsdUserPrm& prm = m_station.userPrms.at(ref.dwPrmId);
                if (!GsdSameName(prm.strName, given.strName) || m_chosenValues.count(prm.dwId))
                    continue;
                bUsed = true;
                std::int64_t nValue = 0;
                std::string strWhy;
                if (!ReadGsdValue(m_station, prm, given.strValue, nValue, strWhy))
                    return Fail(prm.nLine, Quoted(prm.strName) + ": " + strWhy);
                if (!GsdValueAllowed(prm, nValue))
                    return Fail(prm.nLine, Quoted(prm.strName) + ": " + std::to_string(nValue) +
                                               " is not among the allowed " + GsdAllowedText(prm));
                m_chosenValues[prm.dwId] = nValue;
            }
        if (!bUsed)
            return Fail(0, "no parameter " + Quoted(given.strName) +
                               " among those of the station and its chosen modules" +
                               " (or it is given twice)");
    }
    return true;
}

bool CGsdSlaveBuilder::PlaceBlock(const SGsdPrmBlock& block, std::size_t nBase,
                                  std::vector<std::uint8_t>& abyUserPrm)
{
    for (const SGsdPrmConst& entry : block.consts)
        std::copy(entry.abyBytes.begin(), entry.abyBytes.end(),
                  abyUserPrm.begin() + static_cast<std::ptrdiff_t>(nBase + entry.nOffset));
    // The fields go over the constants: a Bit field changes only its bit of a constant byte.
    for (const SGsdPrmRef& ref : block.refs)
    {
        const SGsdUserPrm& prm = m_station.userPrms.at(ref.dwPrmId);
        if (prm.eType == teGsdDataType::Unread)
            return Fail(ref.nLine, "Ext_User_Prm_Data_Ref(" + std::to_string(ref.nOffset) +
                                       ") names " + std::to_string(prm.dwId) + " " +
                                       Quoted(prm.strName) + " of type " + prm.strTypeName +
                                       ", which this reader cannot place; type user_prm by hand");
        auto it = m_chosenValues.find(prm.dwId);
        PlaceGsdField(abyUserPrm, nBase + ref.nOffset, prm,
                      it != m_chosenValues.end() ? it->second : prm.nDefault);
    }
    return true;
}

// The station's own part: its Ext_User_Prm_Data entries, or the older User_Prm_Data.
bool CGsdSlaveBuilder::PlaceStationPrm(std::vector<std::uint8_t>& abyUserPrm)
{
    const SGsdPrmBlock& station = m_station.prm;
    abyUserPrm.assign(station.nLength, 0);
    if (station.consts.empty() && station.refs.empty())
        std::copy(m_station.abyUserPrmData.begin(), m_station.abyUserPrmData.end(),
                  abyUserPrm.begin());
    else if (!PlaceBlock(station, 0, abyUserPrm))
        return false;
    // Where the file's constants leave the DP-V1 status bytes out they stay zero: DP-V1
    // functions off, which is what a master without acyclic services asks for.
    if (m_station.dpv1Slave.nValue != 0 && abyUserPrm.size() < kDpv1StatusBytes)
        abyUserPrm.resize(kDpv1StatusBytes, 0);
    return true;
}

bool CGsdSlaveBuilder::BuildStationPrm(std::vector<std::uint8_t>& abyUserPrm, std::string& strError)
{
    m_strError.clear();
    m_chosenValues.clear();
    std::vector<std::uint8_t> abyBuilt;
    if (!PlaceStationPrm(abyBuilt))
    {
        strError = m_strError;
        return false;
    }
    abyUserPrm = std::move(abyBuilt);
    return true;
}

bool CGsdSlaveBuilder::CheckBaudRate(std::uint32_t dwBaudRate)
{
    for (std::size_t i = 0; i < kGsdBaudRates.size(); ++i)
    {
        if (kGsdBaudRates[i].dwBitsPerSecond != dwBaudRate)
            continue;
        const SGsdNumber& supported = m_station.baudRates[i];
        if (supported.nValue == 0)
            return Fail(supported.nLine, std::string("the station does not support ") +
                                             std::to_string(dwBaudRate) + " bit/s (" +
                                             kGsdBaudRates[i].pszKeyword +
                                             (supported.Given() ? " = 0)" : " is not given)"));
        return true;
    }
    return Fail(0, std::to_string(dwBaudRate) + " bit/s is not a DP baud rate a GSD file declares");
}

bool CGsdSlaveBuilder::Check(const SGsdSlaveData& data, std::uint32_t dwBaudRate,
                             std::string& strError)
{
    struct SLimit
    {
        const SGsdNumber& declared;
        const char* pszKeyword;
        std::size_t nActual;
        const char* pszWhat;
    };
    const SLimit limits[] = {
        {m_station.maxInputLength, "Max_Input_Len", data.byInputLength, "input bytes"},
        {m_station.maxOutputLength, "Max_Output_Len", data.byOutputLength, "output bytes"},
        {m_station.maxDataLength, "Max_Data_Len",
         static_cast<std::size_t>(data.byInputLength) + data.byOutputLength,
         "input and output bytes together"},
        {m_station.maxUserPrmLength, "Max_User_Prm_Data_Len", data.abyUserPrm.size(),
         "bytes of user parameter data"},
    };
    bool bFine = true;
    for (const SLimit& limit : limits)
        if (bFine && limit.declared.Given() &&
            static_cast<std::int64_t>(limit.nActual) > limit.declared.nValue)
            bFine = Fail(limit.declared.nLine, std::to_string(limit.nActual) + " " + limit.pszWhat +
                                                   ", more than " + limit.pszKeyword + " " +
                                                   std::to_string(limit.declared.nValue));
    if (bFine && data.abyUserPrm.size() > kMaxUserPrmBytes)
        bFine = Fail(0, std::to_string(data.abyUserPrm.size()) +
                            " bytes of user parameter data, more than the " +
                            std::to_string(kMaxUserPrmBytes) + " a Set_Prm carries");
    if (bFine && dwBaudRate != 0)
        bFine = CheckBaudRate(dwBaudRate);
    if (!bFine)
        strError = m_strError;
    return bFine;
}

} // namespace dp
