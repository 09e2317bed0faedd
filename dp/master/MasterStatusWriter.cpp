#include "dp/master/MasterStatusWriter.h"

#include "dp/fdl/Telegram.h"
#include "dp/services/DiagnosisText.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace dp
{

namespace
{

// Copies the text into the field, cut short to leave room for its NUL.
void CopyText(char* pchField, std::size_t nSize, const std::string& strText)
{
    const std::size_t nLength = std::min(strText.size(), nSize - 1);
    std::memcpy(pchField, strText.data(), nLength);
    std::memset(pchField + nLength, 0, nSize - nLength);
}

std::uint32_t Microseconds(std::uint64_t qwNs)
{
    const std::uint64_t qwUs = qwNs / 1000;
    return qwUs > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(qwUs);
}

} // namespace

bool CMasterStatusWriter::Open(std::uint8_t byBoard, const CDpMaster& master,
                               const std::string& strPort, std::uint32_t dwActualRate,
                               std::string& strError)
{
    std::string strName;
    if (!MakeStatusName(byBoard, strName))
    {
        strError = "KORIXSIM_PREFIX cannot name a shared memory object";
        return false;
    }
    if (m_file.IsOpen())
    {
        strError = strName + ": the status block is open already";
        return false;
    }
    const auto dwSlaves =
        static_cast<std::uint32_t>(std::min<std::size_t>(master.SlaveCount(), kStatusMaxSlaves));
    m_pImage.reset(new (std::nothrow) SImage{});
    if (m_pImage == nullptr)
    {
        strError = strName + ": no memory for the status block";
        return false;
    }
    m_dwSlaveCount = dwSlaves;
    m_aabyWordsOf.assign(dwSlaves, {});
    m_abWordsWritten.assign(dwSlaves, false);
    // What stays for the master's life is written with every update: a reader checks the
    // whole block anyway.
    m_owner.Take(byBoard, strPort, dwActualRate);
    Fill(master, false);
    if (!m_file.Create(strName, m_pImage.get(), StatusBlockSize(dwSlaves), strError))
    {
        m_pImage.reset();
        return false;
    }
    return true;
}

bool CMasterStatusWriter::UpdateIfDue(const CDpMaster& master, std::uint64_t qwNowMs)
{
    if (!m_file.IsOpen() || qwNowMs - m_qwLastWriteMs < kStatusIntervalMs)
        return false;
    m_qwLastWriteMs = qwNowMs;
    Write(master, false);
    return true;
}

void CMasterStatusWriter::Update(const CDpMaster& master)
{
    if (m_file.IsOpen())
        Write(master, false);
}

void CMasterStatusWriter::End(const CDpMaster& master)
{
    if (m_file.IsOpen())
        Write(master, true);
}

void CMasterStatusWriter::Write(const CDpMaster& master, bool bEnded)
{
    Fill(master, bEnded);
    // A write the system refused is made good by the next: every update writes it all.
    m_file.Publish(m_pImage.get(), StatusBlockSize(m_dwSlaveCount));
}

void CMasterStatusWriter::Fill(const CDpMaster& master, bool bEnded)
{
    SStatusHeader& header = m_pImage->header;
    m_owner.FillHeader(header, StatusBlockSize(m_dwSlaveCount), bEnded);
    header.byMasterAddress = master.Config().byMasterAddress;
    header.byMode = master.Mode();
    header.dwBaudRate = master.Config().bus.dwBaudRate;
    const SMasterCounters& counters = master.Counters();
    header.dwCyclesLow = static_cast<std::uint32_t>(counters.qwCycles);
    header.dwCyclesHigh = static_cast<std::uint32_t>(counters.qwCycles >> 32);
    header.dwLastCycleUs = Microseconds(counters.qwLastCycleNs);
    header.dwLongestCycleUs = Microseconds(counters.qwMaxCycleNs);
    header.dwCycleBoundUs = Microseconds(master.CycleBoundNs());
    header.dwGlobalControls = counters.dwGlobalControls;
    const SLineCounters& line = master.LineCounters();
    const SParserCounters& parser = master.ParserCounters();
    header.line =
        SStatusLineCounters{line.dwRequests, line.dwDroppedBytes,   line.dwEchoes,
                            line.dwForeign,  line.dwInvalidAnswers, line.dwStrayShortAcks,
                            line.dwBusyLine, parser.dwSkippedBytes, parser.dwBadCheckSums};
    header.dwSlaveCount = m_dwSlaveCount;
    header.dwAnswersInDoubt = line.dwAnswersInDoubt;
    header.dwMonitorSize = 0;
    std::memset(header.adwReserved, 0, sizeof header.adwReserved);
    FillRing(header.ring);
    for (std::size_t i = 0; i < m_dwSlaveCount; ++i)
        FillSlave(i, master.Config().slaves[i], master.Slave(i));
}

void CMasterStatusWriter::FillRing(SStatusRing& ring) const
{
    std::memset(&ring, 0, sizeof ring);
    if (m_pStation == nullptr)
        return;
    const CFdlStation& station = *m_pStation;
    const SStationCounters& c = station.Counters();
    ring.byState = static_cast<std::uint8_t>(static_cast<std::uint8_t>(station.RingState()) + 1);
    ring.byFault = static_cast<std::uint8_t>(station.Fault());
    ring.byHighestAddress = station.ActiveStations().HighestAddress();
    ring.dwTargetRotationUs = Microseconds(station.TargetRotationNs());
    ring.dwLastRotationUs = Microseconds(c.qwLastRotationNs);
    ring.dwLongestRotationUs = Microseconds(c.qwMaxRotationNs);
    ring.dwTokensReceived = c.dwTokensReceived;
    ring.dwTokensPassed = c.dwTokensPassed;
    ring.dwTokensLost = c.dwTokensLost;
    ring.dwTokensClaimed = c.dwTokensClaimed;
    ring.dwPassRepeats = c.dwPassRepeats;
    ring.dwStationsDropped = c.dwStationsDropped;
    ring.dwTokensRefused = c.dwTokensRefused;
    ring.dwTokensFromOutside = c.dwTokensFromOutside;
    ring.dwTokensBeyondHsa = c.dwTokensBeyondHsa;
    ring.dwTokensInNoise = c.dwTokensInNoise;
    ring.dwStatusAnswered = c.dwStatusAnswered;
    ring.dwGapPolls = c.dwGapPolls;
    ring.dwBadStatusAnswers = c.dwBadStatusAnswers;
    ring.dwTakenIn = c.dwTakenIn;
    for (std::uint8_t by = 0; by <= ring.byHighestAddress; ++by)
    {
        if (station.ActiveStations().Contains(by))
        {
            ring.abyStations[by] = StatusStationMasterInRing;
            continue;
        }
        switch (station.GapStation(by))
        {
        case teStationKind::Slave:
            ring.abyStations[by] = StatusStationSlave;
            break;
        case teStationKind::MasterNotReady:
            ring.abyStations[by] = StatusStationMasterNotReady;
            break;
        case teStationKind::MasterReady:
            ring.abyStations[by] = StatusStationMasterReady;
            break;
        case teStationKind::MasterInRing:
            ring.abyStations[by] = StatusStationMasterInRing;
            break;
        case teStationKind::Unknown:
            break;
        }
    }
}

void CMasterStatusWriter::FillSlave(std::size_t nIndex, const SSlaveConfig& config,
                                    const SMasterSlaveState& status)
{
    SStatusSlave& slave = m_pImage->aSlaves[nIndex];
    slave.byAddress = config.byAddress;
    slave.byState = status.eState;
    slave.byInputLength = config.byInputLength;
    slave.byOutputLength = config.byOutputLength;
    slave.wIdent = config.wIdent;
    const std::uint8_t byDiagLength =
        static_cast<std::uint8_t>(std::min<std::size_t>(status.byDiagLength, kStatusDiagSize));
    slave.byDiagLength = byDiagLength;
    slave.byObserved = 0;
    if (config.bObserve)
        slave.byObserved = static_cast<std::uint8_t>(
            kStatusObserved |
            (status.byOwner <= kMaxStationAddress ? status.byOwner : kStatusOwnerUnknown));
    const SSlaveCounters& c = status.counters;
    slave.counters =
        SStatusSlaveCounters{c.dwExchanges, c.dwRetries,   c.dwNoAnswer,         c.dwBadAnswers,
                             c.dwRestarts,  c.dwDiagnoses, c.dwUnshownStateLines};
    slave.dwReserved = 0;
    CopyText(slave.szReason, sizeof slave.szReason, status.strProblem);
    std::memcpy(slave.abyDiag, status.abyDiag, byDiagLength);
    std::memset(slave.abyDiag + byDiagLength, 0, kStatusDiagSize - byDiagLength);
    // Words only for a diagnosis not put into words before: the bytes change seldom, the
    // words take far longer than the rest of the update.
    std::vector<std::uint8_t>& abyWordsOf = m_aabyWordsOf[nIndex];
    if (m_abWordsWritten[nIndex] && abyWordsOf.size() == byDiagLength &&
        std::equal(abyWordsOf.begin(), abyWordsOf.end(), status.abyDiag))
        return;
    m_abWordsWritten[nIndex] = true;
    abyWordsOf.assign(status.abyDiag, status.abyDiag + byDiagLength);
    std::string strWords;
    SSlaveDiag diag;
    if (byDiagLength != 0 && DecodeSlaveDiag(ByteView(status.abyDiag, byDiagLength), diag))
        strWords = DiagnosisText(diag, &config.diagTexts);
    CopyText(slave.szDiagWords, sizeof slave.szDiagWords, strWords);
}

} // namespace dp
