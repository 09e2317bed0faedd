#include "dp/status/MasterStatusReader.h"

#include "sim/common/ProcessIdentity.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace dp
{

namespace
{

// The writer holds the sequence odd for some microseconds per update (at most every
// kStatusIntervalMs); a reader that meets it busy this often in a row says so.
constexpr int kReadTries = 5;
constexpr auto kRetryPause = std::chrono::milliseconds(2);

bool IsTerminated(const char* pchField, std::size_t nSize)
{
    return std::memchr(pchField, '\0', nSize) != nullptr;
}

std::uint64_t Join(std::uint32_t dwLow, std::uint32_t dwHigh)
{
    return static_cast<std::uint64_t>(dwHigh) << 32 | dwLow;
}

bool CheckSlave(const SStatusSlave& slave, std::size_t nIndex, std::string& strWhy)
{
    const std::string strSlave = "slave entry " + std::to_string(nIndex);
    if (slave.byAddress > 125)
        strWhy = strSlave + ": address " + std::to_string(slave.byAddress) + " beyond 125";
    else if (slave.byDiagLength > kStatusDiagSize)
        strWhy = strSlave + ": diagnosis length " + std::to_string(slave.byDiagLength) +
                 " beyond " + std::to_string(kStatusDiagSize);
    else if (!IsTerminated(slave.szReason, sizeof slave.szReason))
        strWhy = strSlave + ": its reason is not terminated";
    else if (!IsTerminated(slave.szDiagWords, sizeof slave.szDiagWords))
        strWhy = strSlave + ": its diagnosis words are not terminated";
    else
        return true;
    return false;
}

enum class teCopy
{
    Taken,
    Busy,
    Failed // strWhy says why
};

// One attempt at a consistent copy: the sequence before, the block, the sequence after, each
// read by a system call of its own so that the copy lies between the two readings. A busy
// writer's copy is kept as well: if the writer turns out to be dead, nothing changes it any
// more.
teCopy CopyBlock(const CStatusFile& file, std::vector<std::uint8_t>& abyBlock, std::string& strWhy)
{
    const long long nSize = file.Size();
    if (nSize < static_cast<long long>(sizeof(SStatusHeader)))
    {
        strWhy = nSize < 0 ? "its size cannot be told"
                           : "too short for a status block (" + std::to_string(nSize) + " bytes)";
        return teCopy::Failed;
    }
    const std::size_t nWanted = nSize < static_cast<long long>(kStatusMaxMonitorSize)
                                    ? static_cast<std::size_t>(nSize)
                                    : kStatusMaxMonitorSize;
    std::uint32_t dwBefore = 0, dwAfter = 0;
    constexpr std::size_t nSequenceAt = offsetof(SStatusHeader, dwSequence);
    if (file.ReadAt(nSequenceAt, &dwBefore, sizeof dwBefore) != sizeof dwBefore)
    {
        strWhy = "it shrank while being read";
        return teCopy::Failed;
    }
    abyBlock.resize(nWanted);
    const long long nRead = file.ReadAt(0, abyBlock.data(), nWanted);
    if (nRead < 0)
    {
        strWhy = "it cannot be read";
        return teCopy::Failed;
    }
    // A file that shrank meanwhile gives less; CheckStatusBlock refuses what is missing.
    abyBlock.resize(static_cast<std::size_t>(nRead));
    if (file.ReadAt(nSequenceAt, &dwAfter, sizeof dwAfter) != sizeof dwAfter)
    {
        strWhy = "it shrank while being read";
        return teCopy::Failed;
    }
    std::uint32_t dwInCopy = 0;
    if (abyBlock.size() >= nSequenceAt + sizeof dwInCopy)
        std::memcpy(&dwInCopy, abyBlock.data() + nSequenceAt, sizeof dwInCopy);
    return dwBefore % 2 == 0 && dwBefore == dwAfter && dwInCopy == dwBefore ? teCopy::Taken
                                                                            : teCopy::Busy;
}

// Whether the block's master is the board's running master; when not, why.
bool IsRunningMaster(const SStatusHeader& header, const SBoardServer& server, teMasterGone& eGone)
{
    const korix::SProcessIdentity master{header.nPid, Join(header.dwStartLow, header.dwStartHigh)};
    if (header.byEnded != 0)
        eGone = teMasterGone::Ended;
    else if (!korix::IsProcessAlive(master))
        eGone = teMasterGone::NotRunning;
    else if (!server.bServed || server.nPid != master.nPid ||
             server.qwStartTime != master.qwStartTime)
        eGone = teMasterGone::NotServing;
    else
        return true;
    return false;
}

void SetAge(SMasterStatus& status)
{
    const std::uint64_t qwUpdated = Join(status.header.dwUpdatedLow, status.header.dwUpdatedHigh);
    const std::uint64_t qwNow = WallClockMs();
    status.qwAgeMs = qwNow > qwUpdated ? qwNow - qwUpdated : 0;
}

// The ring's fields hold only what the writer can put there.
bool RingFits(const SStatusRing& ring, std::string& strWhy)
{
    if (ring.byState > kStatusRingStateMax)
        strWhy = "ring state " + std::to_string(ring.byState) + " unknown";
    else if (ring.byFault > kStatusRingFaultMax)
        strWhy = "ring fault " + std::to_string(ring.byFault) + " unknown";
    else if (ring.byHighestAddress > 126)
        strWhy = "highest station address " + std::to_string(ring.byHighestAddress) + " beyond 126";
    else
    {
        for (std::size_t i = 0; i < sizeof ring.abyStations; ++i)
            if (ring.abyStations[i] > kStatusStationMax)
            {
                strWhy = "station " + std::to_string(i) + " of an unknown kind " +
                         std::to_string(ring.abyStations[i]);
                return false;
            }
        return true;
    }
    return false;
}

} // namespace

std::uint64_t WallClockMs()
{
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto qwMs = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return qwMs < 0 ? 0 : static_cast<std::uint64_t>(qwMs);
}

bool CheckStatusBlock(const std::uint8_t* pbyBlock, std::size_t nSize, std::uint8_t byBoard,
                      SMasterStatus& status, std::string& strWhy)
{
    if (nSize < sizeof(SStatusHeader))
    {
        strWhy = "too short for a status block (" + std::to_string(nSize) + " bytes)";
        return false;
    }
    SStatusHeader header;
    std::memcpy(&header, pbyBlock, sizeof header);
    if (header.dwMagic != kStatusMagic)
        strWhy = "no status block (magic number wrong)";
    else if (header.dwVersion != kStatusVersion)
        strWhy = "a status block of version " + std::to_string(header.dwVersion) + ", not " +
                 std::to_string(kStatusVersion);
    else if (header.byBoard != byBoard)
        strWhy = "the status block of board " + std::to_string(header.byBoard);
    else if (header.dwSlaveCount > kStatusMaxSlaves)
        strWhy = "slave count " + std::to_string(header.dwSlaveCount) + " beyond " +
                 std::to_string(kStatusMaxSlaves);
    else if (header.dwMonitorSize != 0 && header.dwMonitorSize != sizeof(SStatusMonitor))
        strWhy = "its monitor section's size " + std::to_string(header.dwMonitorSize) + " is not " +
                 std::to_string(sizeof(SStatusMonitor));
    else if (header.dwSize != StatusBlockSize(header.dwSlaveCount) + header.dwMonitorSize)
        strWhy = "its size field " + std::to_string(header.dwSize) + " does not fit " +
                 std::to_string(header.dwSlaveCount) + " slaves" +
                 (header.dwMonitorSize != 0 ? " and a monitor's section" : "");
    else if (nSize < header.dwSize)
        strWhy = "shorter (" + std::to_string(nSize) + " bytes) than it says (" +
                 std::to_string(header.dwSize) + ")";
    else if (header.byEnded > 1)
        strWhy = "its end mark is " + std::to_string(header.byEnded);
    else if (!IsTerminated(header.szPort, sizeof header.szPort))
        strWhy = "its port name is not terminated";
    else if (!RingFits(header.ring, strWhy))
    {
    }
    else
        strWhy.clear();
    if (!strWhy.empty())
        return false;
    std::vector<SStatusSlave> aSlaves(header.dwSlaveCount);
    for (std::size_t i = 0; i < aSlaves.size(); ++i)
    {
        std::memcpy(&aSlaves[i], pbyBlock + sizeof header + i * sizeof(SStatusSlave),
                    sizeof(SStatusSlave));
        if (!CheckSlave(aSlaves[i], i, strWhy))
            return false;
    }
    status.bMonitor = header.dwMonitorSize != 0;
    status.monitor = SStatusMonitor{};
    if (status.bMonitor)
    {
        std::memcpy(&status.monitor, pbyBlock + StatusBlockSize(header.dwSlaveCount),
                    sizeof status.monitor);
        for (const SStatusStation& station : status.monitor.aStations)
        {
            if (station.byKind > StationSlave)
            {
                strWhy = "a station of unknown kind " + std::to_string(station.byKind);
                return false;
            }
        }
    }
    status.header = header;
    status.aSlaves = std::move(aSlaves);
    return true;
}

SMasterStatus ReadMasterStatus(std::uint8_t byBoard)
{
    return ReadMasterStatus(byBoard, ReadBoardServer(byBoard));
}

SMasterStatus ReadMasterStatus(std::uint8_t byBoard, const SBoardServer& server)
{
    SMasterStatus status;
    if (!MakeStatusName(byBoard, status.strName))
    {
        status.eStatus = teMasterStatus::Refused;
        status.strWhy = "KORIXSIM_PREFIX cannot name a shared memory object";
        return status;
    }
    CStatusFile file;
    std::string strError;
    switch (file.Open(status.strName, strError))
    {
    case teStatusOpen::Opened:
        break;
    case teStatusOpen::Missing:
        status.eStatus = teMasterStatus::None;
        status.strWhy = "no DP master has served board " + std::to_string(byBoard);
        return status;
    default:
        status.eStatus = teMasterStatus::Refused;
        status.strWhy = strError;
        return status;
    }
    std::vector<std::uint8_t> abyBlock;
    std::string strWhy;
    for (int nTry = 0; nTry < kReadTries; ++nTry)
    {
        if (nTry != 0)
            std::this_thread::sleep_for(kRetryPause);
        const teCopy eCopy = CopyBlock(file, abyBlock, strWhy);
        if (eCopy == teCopy::Busy)
            continue;
        if (eCopy == teCopy::Failed ||
            !CheckStatusBlock(abyBlock.data(), abyBlock.size(), byBoard, status, strWhy))
        {
            status.eStatus = teMasterStatus::Refused;
            status.strWhy = status.strName + ": " + strWhy;
            return status;
        }
        SetAge(status);
        status.eStatus = IsRunningMaster(status.header, server, status.eGone)
                             ? teMasterStatus::Live
                             : teMasterStatus::Gone;
        return status;
    }
    // Busy every time. A writer that died amid an update, or a block in the name of a process
    // that is not the board's master, leaves the count odd for ever: that is no master at
    // work. Its last copy, when it is a sound block, says who and since when.
    SMasterStatus last;
    if (CheckStatusBlock(abyBlock.data(), abyBlock.size(), byBoard, last, strWhy) &&
        !IsRunningMaster(last.header, server, last.eGone))
    {
        last.strName = status.strName;
        last.eStatus = teMasterStatus::Gone;
        SetAge(last);
        return last;
    }
    status.eStatus = teMasterStatus::Changing;
    status.strWhy = status.strName + ": the master was changing it at every reading";
    return status;
}

} // namespace dp
