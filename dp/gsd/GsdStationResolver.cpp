#include "dp/gsd/GsdStationResolver.h"

#include "dp/gsd/GsdDataType.h"
#include "dp/services/DpServices.h"

#include <algorithm>

namespace dp
{

bool CGsdStationResolver::Fail(std::size_t nLine, const std::string& strWhy)
{
    m_strError = m_station.strFile + ":" + std::to_string(nLine) + ": " + strWhy;
    return false;
}

bool CGsdStationResolver::Resolve(std::string& strError)
{
    if (ResolveAll())
        return true;
    strError = m_strError;
    return false;
}

bool CGsdStationResolver::ResolveAll()
{
    for (const auto& [dwId, prm] : m_station.userPrms)
        if (prm.nTextRefLine != 0 && m_station.prmTexts.count(prm.dwTextRef) == 0)
            return Fail(prm.nTextRefLine, "Prm_Text_Ref names " + std::to_string(prm.dwTextRef) +
                                              ", which no PrmText defines");
    for (SGsdModule& module : m_station.modules)
        if (!ResolveBlock(module.prm, "Ext_Module_Prm_Data_Len"))
            return false;
    return ResolveStationPrm();
}

bool CGsdStationResolver::ResolveBlock(SGsdPrmBlock& block, const char* pszLengthKeyword)
{
    std::size_t nEnd = 0;
    std::size_t nEndLine = 0;
    std::string strEntry;
    for (const SGsdPrmConst& entry : block.consts)
        if (entry.nOffset + entry.abyBytes.size() > nEnd)
        {
            nEnd = entry.nOffset + entry.abyBytes.size();
            nEndLine = entry.nLine;
            strEntry = "Ext_User_Prm_Data_Const(" + std::to_string(entry.nOffset) + ")";
        }
    for (const SGsdPrmRef& ref : block.refs)
    {
        const std::string strRef = "Ext_User_Prm_Data_Ref(" + std::to_string(ref.nOffset) + ")";
        auto it = m_station.userPrms.find(ref.dwPrmId);
        if (it == m_station.userPrms.end())
            return Fail(ref.nLine, strRef + " names " + std::to_string(ref.dwPrmId) +
                                       ", which no ExtUserPrmData defines");
        const std::size_t nFieldEnd = ref.nOffset + GsdTypeBytes(it->second.eType);
        if (nFieldEnd > kMaxUserPrmBytes)
            return Fail(ref.nLine, strRef + " reaches beyond the " +
                                       std::to_string(kMaxUserPrmBytes) +
                                       " bytes of user parameters a Set_Prm carries");
        if (nFieldEnd > nEnd)
        {
            nEnd = nFieldEnd;
            nEndLine = ref.nLine;
            strEntry = strRef;
        }
    }
    if (block.nDeclaredLine != 0 && nEnd > block.nDeclaredLength)
        return Fail(nEndLine, strEntry + " reaches byte " + std::to_string(nEnd - 1) + ", beyond " +
                                  pszLengthKeyword + " " + std::to_string(block.nDeclaredLength) +
                                  " (line " + std::to_string(block.nDeclaredLine) + ")");
    block.nLength = block.nDeclaredLine != 0 ? block.nDeclaredLength : nEnd;
    return true;
}

// The station's own user parameters: its Ext_User_Prm_Data entries, or else the older
// User_Prm_Data bytes. User_Prm_Data_Len, where given, is the length of that part.
bool CGsdStationResolver::ResolveStationPrm()
{
    SGsdPrmBlock& block = m_station.prm;
    if (m_station.userPrmLength.Given())
    {
        block.nDeclaredLength = static_cast<std::size_t>(m_station.userPrmLength.nValue);
        block.nDeclaredLine = m_station.userPrmLength.nLine;
    }
    if (!block.consts.empty() || !block.refs.empty() || m_station.nUserPrmDataLine == 0)
        return ResolveBlock(block, "User_Prm_Data_Len");
    if (block.nDeclaredLine != 0 && m_station.abyUserPrmData.size() > block.nDeclaredLength)
        return Fail(m_station.nUserPrmDataLine,
                    "User_Prm_Data has " + std::to_string(m_station.abyUserPrmData.size()) +
                        " bytes, more than User_Prm_Data_Len " +
                        std::to_string(block.nDeclaredLength) + " (line " +
                        std::to_string(block.nDeclaredLine) + ")");
    block.nLength = std::max(block.nDeclaredLength, m_station.abyUserPrmData.size());
    return true;
}

} // namespace dp
