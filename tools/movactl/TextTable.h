// A table of text for the terminal: a heading row, columns as wide as their widest cell.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace movactl
{

class CTextTable
{
public:
    // Columns whose heading starts with '>' are right-aligned (numbers); the '>' is not shown.
    explicit CTextTable(std::vector<std::string> aHeadings);

    void AddRow(std::vector<std::string> aCells);

    // Every line ends with a line end; the heading is the first line.
    std::string Format() const;
    std::size_t GetLineCount() const { return m_aaRows.size() + 1; }

private:
    std::vector<std::string> m_aHeadings;
    std::vector<bool> m_abRight;
    std::vector<std::vector<std::string>> m_aaRows;
};

} // namespace movactl
