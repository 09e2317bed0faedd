#include "dp/status/StatusBlockOwner.h"

#include "dp/status/MasterStatusReader.h"
#include "sim/common/ProcessIdentity.h"

#include <algorithm>
#include <cstring>

namespace dp
{

void CStatusBlockOwner::Take(std::uint8_t byBoard, const std::string& strPort,
                             std::uint32_t dwActualRate)
{
    m_strPort = strPort;
    m_dwActualRate = dwActualRate;
    m_byBoard = byBoard;
    const korix::SProcessIdentity self = korix::CurrentProcess();
    m_nPid = self.nPid;
    m_qwStartTime = self.qwStartTime;
}

void CStatusBlockOwner::FillHeader(SStatusHeader& header, std::size_t nSize, bool bEnded) const
{
    header.dwMagic = kStatusMagic;
    header.dwVersion = kStatusVersion;
    header.dwSize = static_cast<std::uint32_t>(nSize);
    header.nPid = m_nPid;
    header.dwStartLow = static_cast<std::uint32_t>(m_qwStartTime);
    header.dwStartHigh = static_cast<std::uint32_t>(m_qwStartTime >> 32);
    const std::uint64_t qwNow = WallClockMs();
    header.dwUpdatedLow = static_cast<std::uint32_t>(qwNow);
    header.dwUpdatedHigh = static_cast<std::uint32_t>(qwNow >> 32);
    header.byBoard = m_byBoard;
    header.byEnded = bEnded ? 1 : 0;
    header.dwActualRate = m_dwActualRate;
    const std::size_t nLength = std::min(m_strPort.size(), sizeof header.szPort - 1);
    std::memcpy(header.szPort, m_strPort.data(), nLength);
    std::memset(header.szPort + nLength, 0, sizeof header.szPort - nLength);
}

} // namespace dp
