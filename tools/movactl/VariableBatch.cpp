#include "tools/movactl/VariableBatch.h"

#include "tools/movactl/ResultWords.h"

#include <string>

namespace movactl
{

CVariableBatch::CVariableBatch(std::vector<SVariable> aVariables, std::uint32_t dwCommand,
                               const SConSpec& connection)
    : m_aVariables(std::move(aVariables))
{
    for (const SVariable& variable : m_aVariables)
    {
        std::vector<std::uint8_t> abyValue = variable.abyValue;
        abyValue.resize(ValueSize(variable.wBitLength));
        m_aabyValues.push_back(std::move(abyValue));
    }
    for (std::size_t i = 0; i < m_aVariables.size(); ++i)
    {
        const SVariable& variable = m_aVariables[i];
        SJobParam record{};
        record.dwUserData = static_cast<std::uint32_t>(i);
        record.dwCommand = dwCommand;
        record.tsConSpec = connection;
        record.wByteOffset = variable.wByteOffset;
        record.wBitOffset = variable.wBitOffset;
        record.wBitLength = variable.wBitLength;
        record.bOutBuffer = variable.bOutputs ? 1 : 0;
        record.bSwap = variable.bSwap ? 1 : 0;
        record.lResult = kResultNotRun;
        record.pData = m_aabyValues[i].data();
        m_aRecords.push_back(record);
    }
}

bool CVariableBatch::AnyFailed() const
{
    for (const SJobParam& record : m_aRecords)
    {
        if (record.lResult != MOVA_RESULT_DONE)
            return true;
    }
    return false;
}

std::string CVariableBatch::Describe() const
{
    std::string strText =
        !m_aRecords.empty() && m_aRecords.front().dwCommand == JobWrite ? "write" : "read";
    for (const SVariable& variable : m_aVariables)
        strText += " " + variable.strText;
    return strText;
}

SVariable WholeImage(std::uint8_t byAddress, std::uint16_t wLength, bool bOutputs)
{
    SVariable variable;
    variable.byAddress = byAddress;
    variable.wBitLength = static_cast<std::uint16_t>(wLength * 8);
    variable.bOutputs = bOutputs;
    variable.strText = std::to_string(byAddress) + ":0:" + std::to_string(variable.wBitLength) +
                       (bOutputs ? ":out" : "");
    return variable;
}

} // namespace movactl
