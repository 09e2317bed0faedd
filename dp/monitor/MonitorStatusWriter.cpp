#include "dp/monitor/MonitorStatusWriter.h"

#include "dp/services/DiagnosisText.h"

#include <algorithm>
#include <cstring>

namespace dp
{

namespace
{

void CopyText(char* pchField, std::size_t nSize, const std::string& strText)
{
    const std::size_t nLength = std::min(strText.size(), nSize - 1);
    std::memcpy(pchField, strText.data(), nLength);
    std::memset(pchField + nLength, 0, nSize - nLength);
}

std::uint32_t Clamp32(std::uint64_t qwValue)
{
    return qwValue > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(qwValue);
}

} // namespace

bool CMonitorStatusWriter::Open(std::uint8_t byBoard, const CBusMonitor& monitor,
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
    m_abyImage.assign(kStatusMaxMonitorSize, 0);
    m_aabyWordsOf.assign(kStatusStations, {});
    m_astrWords.assign(kStatusStations, {});
    m_owner.Take(byBoard, strPort, dwActualRate);
    Fill(monitor, false);
    // The file takes the longest block at once: later ones are never longer.
    return m_file.Create(strName, m_abyImage.data(), m_abyImage.size(), strError);
}

bool CMonitorStatusWriter::UpdateIfDue(const CBusMonitor& monitor, std::uint64_t qwNowMs)
{
    if (!m_file.IsOpen() || qwNowMs - m_qwLastWriteMs < kStatusIntervalMs)
        return false;
    m_qwLastWriteMs = qwNowMs;
    Write(monitor, false);
    return true;
}

void CMonitorStatusWriter::Write(const CBusMonitor& monitor, bool bEnded)
{
    if (!m_file.IsOpen())
        return;
    const std::size_t nSize = Fill(monitor, bEnded);
    m_file.Publish(m_abyImage.data(), nSize);
}

std::size_t CMonitorStatusWriter::Fill(const CBusMonitor& monitor, bool bEnded)
{
    const auto dwSlaves =
        static_cast<std::uint32_t>(std::min<std::size_t>(monitor.SlaveCount(), kStatusMaxSlaves));
    const std::size_t nSize = StatusBlockSize(dwSlaves) + sizeof(SStatusMonitor);
    SStatusHeader header{};
    m_owner.FillHeader(header, nSize, bEnded);
    header.byMasterAddress = 0xFF; // it has none: it never sends
    header.byMode = monitor.Mode();
    header.dwBaudRate = monitor.Config().bus.dwBaudRate;
    header.dwCyclesLow = static_cast<std::uint32_t>(monitor.Turns());
    header.dwCyclesHigh = static_cast<std::uint32_t>(monitor.Turns() >> 32);
    // A reader takes the block for stuck when it is older than twice this.
    header.dwCycleBoundUs = Clamp32(monitor.Config().qwTurnNs / 1000);
    const SMonitorCounters& counters = monitor.Counters();
    const SParserCounters& parser = monitor.ParserCounters();
    header.line.dwSkippedBytes = parser.dwSkippedBytes;
    header.line.dwBadCheckSums = parser.dwBadCheckSums;
    header.dwSlaveCount = dwSlaves;
    header.dwAnswersInDoubt = counters.dwAnswersInDoubt;
    header.dwMonitorSize = sizeof(SStatusMonitor);
    // The sequence count is the file's business (Publish), not ours.
    std::memcpy(m_abyImage.data(), &header, sizeof header);

    for (std::uint32_t i = 0; i < dwSlaves; ++i)
    {
        const SSlaveConfig& config = monitor.SlaveConfig(i);
        const SMasterSlaveState& state = monitor.SlaveState(i);
        const SStationSeen& station = monitor.Station(config.byAddress);
        SStatusSlave slave{};
        slave.byAddress = config.byAddress;
        slave.byState = state.eState;
        slave.byInputLength = config.byInputLength;
        slave.byOutputLength = config.byOutputLength;
        slave.wIdent = config.wIdent;
        slave.byDiagLength =
            static_cast<std::uint8_t>(std::min<std::size_t>(state.byDiagLength, kStatusDiagSize));
        const SSlaveCounters& c = state.counters;
        slave.counters = SStatusSlaveCounters{c.dwExchanges,
                                              station.dwRepeats,
                                              station.dwNoAnswer,
                                              c.dwBadAnswers,
                                              c.dwRestarts,
                                              c.dwDiagnoses,
                                              0};
        CopyText(slave.szReason, sizeof slave.szReason, state.strProblem);
        std::memcpy(slave.abyDiag, state.abyDiag, slave.byDiagLength);
        // Words only for a diagnosis not put into words before: they cost far more than the
        // rest of the update.
        std::vector<std::uint8_t>& abyWordsOf = m_aabyWordsOf[config.byAddress & 0x7F];
        std::string& strWords = m_astrWords[config.byAddress & 0x7F];
        if (abyWordsOf.size() != slave.byDiagLength ||
            !std::equal(abyWordsOf.begin(), abyWordsOf.end(), state.abyDiag))
        {
            abyWordsOf.assign(state.abyDiag, state.abyDiag + slave.byDiagLength);
            strWords.clear();
            SSlaveDiag diag;
            if (slave.byDiagLength != 0 &&
                DecodeSlaveDiag(ByteView(state.abyDiag, slave.byDiagLength), diag))
                strWords = DiagnosisText(diag, &config.diagTexts);
        }
        CopyText(slave.szDiagWords, sizeof slave.szDiagWords, strWords);
        std::memcpy(m_abyImage.data() + sizeof header + i * sizeof slave, &slave, sizeof slave);
    }

    SStatusMonitor section{};
    section.dwTelegrams = counters.dwTelegrams;
    section.dwStrayAnswers = counters.dwStrayAnswers;
    section.dwAnswersInDoubt = counters.dwAnswersInDoubt;
    section.dwUnanswered = counters.dwUnanswered;
    section.dwLengthMismatches = counters.dwLengthMismatches;
    section.dwUnknownSlaves = counters.dwUnknownSlaves;
    section.dwBadCheckSumsOutside = counters.dwBadCheckSumsOutside;
    section.dwSkippedBytes = parser.dwSkippedBytes;
    section.dwBadCheckSums = parser.dwBadCheckSums;
    section.dwBadFrames = parser.dwBadFrames;
    section.dwTruncated = parser.dwTruncated;
    section.dwFromBusFile = monitor.Config().bFromBusFile ? 1 : 0;
    for (std::uint32_t a = 0; a < kStatusStations; ++a)
    {
        const SStationSeen& seen = monitor.Station(static_cast<std::uint8_t>(a));
        SStatusStation& station = section.aStations[a];
        station.byKind = static_cast<std::uint8_t>(seen.eKind);
        station.byMaster = seen.byMaster;
        station.dwRotationUs = Clamp32(seen.qwRotationNs / 1000);
        const int nIndex = monitor.FindSlave(static_cast<std::uint8_t>(a));
        if (nIndex >= 0)
            station.dwExchangesPerKs =
                Clamp32(static_cast<std::uint64_t>(monitor.ExchangeRate(nIndex) * 1000.0));
        station.dwRequests = seen.dwRequests;
        station.dwBadCheckSums = seen.dwBadCheckSums;
        station.dwRepeats = seen.dwRepeats;
        station.dwNoAnswer = seen.dwNoAnswer;
        station.dwAnswersInDoubt = seen.dwInDoubt;
        station.dwDiagRequests = seen.dwDiagRequests;
    }
    std::memcpy(m_abyImage.data() + StatusBlockSize(dwSlaves), &section, sizeof section);
    return nSize;
}

} // namespace dp
