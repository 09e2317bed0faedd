#include "tools/movactl/TextTable.h"

#include <algorithm>

namespace movactl
{

namespace
{

// Columns line up on a terminal by characters, and cells may hold UTF-8 (watch's plots): each
// character counts once, whatever its number of bytes.
std::size_t WidthOf(const std::string& strCell)
{
    std::size_t nWidth = 0;
    for (char ch : strCell)
    {
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80)
            ++nWidth;
    }
    return nWidth;
}

} // namespace

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
        anWidths.push_back(WidthOf(strHeading));
    for (const auto& aRow : m_aaRows)
    {
        for (std::size_t i = 0; i < aRow.size(); ++i)
            anWidths[i] = std::max(anWidths[i], WidthOf(aRow[i]));
    }
    std::string strText;
    auto AppendRow = [&](const std::vector<std::string>& aCells)
    {
        std::string strLine;
        for (std::size_t i = 0; i < aCells.size(); ++i)
        {
            std::string strPad(anWidths[i] - WidthOf(aCells[i]), ' ');
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
