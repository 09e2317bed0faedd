#include "tools/movactl/TextTable.h"

#include <algorithm>

namespace movactl
{

CTextTable::CTextTable(std::vector<std::string> aHeadings)
{
    for (std::string& strHeading : aHeadings)
    {
        bool bRight = !strHeading.empty() && strHeading[0] == '>';
        m_abRight.push_back(bRight);
        m_aHeadings.push_back(bRight ? strHeading.substr(1) : strHeading);
    }
}

void CTextTable::AddRow(std::vector<std::string> aCells)
{
    aCells.resize(m_aHeadings.size());
    m_aaRows.push_back(std::move(aCells));
}

std::string CTextTable::Format() const
{
    std::vector<std::size_t> anWidths;
    for (const std::string& strHeading : m_aHeadings)
        anWidths.push_back(strHeading.size());
    for (const auto& aRow : m_aaRows)
    {
        for (std::size_t i = 0; i < aRow.size(); ++i)
            anWidths[i] = std::max(anWidths[i], aRow[i].size());
    }
    std::string strText;
    auto AppendRow = [&](const std::vector<std::string>& aCells)
    {
        std::string strLine;
        for (std::size_t i = 0; i < aCells.size(); ++i)
        {
            std::string strPad(anWidths[i] - aCells[i].size(), ' ');
            strLine +=
                (i == 0 ? "" : "  ") + (m_abRight[i] ? strPad + aCells[i] : aCells[i] + strPad);
        }
        strLine.erase(strLine.find_last_not_of(' ') + 1);
        strText += strLine + "\n";
    };
    AppendRow(m_aHeadings);
    for (const auto& aRow : m_aaRows)
        AppendRow(aRow);
    return strText;
}

} // namespace movactl
