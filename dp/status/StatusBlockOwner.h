// What every writer of a status block (a master, a monitor) says of itself in the block's
// header: the board, its port and the rate the port took, its process and when it started, and
// when it wrote.
#pragma once

#include "dp/status/MasterStatusBlock.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace dp
{

class CStatusBlockOwner
{
public:
    // Takes this process as the block's writer.
    void Take(std::uint8_t byBoard, const std::string& strPort, std::uint32_t dwActualRate);

    // The header's fields of the writer, the layout's marks and the block's size; the rest is
    // the writer's own.
    void FillHeader(SStatusHeader& header, std::size_t nSize, bool bEnded) const;

private:
    std::string m_strPort;
    std::uint32_t m_dwActualRate = 0;
    std::uint8_t m_byBoard = 0;
    std::int32_t m_nPid = 0;
    std::uint64_t m_qwStartTime = 0;
};

} // namespace dp
