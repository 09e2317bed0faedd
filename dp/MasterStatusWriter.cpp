#include "dp/MasterStatusWriter.h"

#include "dp/DiagnosisText.h"
#include "dp/MasterStatusReader.h"
#include "sim/ProcessIdentity.h"

#include <algorithm>
#include <atomic>
#include <cstring>

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
    const auto dwSlaves =
        static_cast<std::uint32_t>(std::min<std::size_t>(master.SlaveCount(), kStatusMaxSlaves));
    if (!m_mapping.Create(strName, StatusBlockSize(dwSlaves), strError))
        return false;
    m_pHeader = static_cast<SStatusHeader*>(m_mapping.Data());
    m_pSlaves = reinterpret_cast<SStatusSlave*>(m_pHeader + 1);
    m_dwSlaveCount = dwSlaves;
    m_aabyWordsOf.assign(dwSlaves, {});
    m_abWordsWritten.assign(dwSlaves, false);
    // What stays for the master's life is written with every update: a reader checks the
    // whole block anyway.
    m_strPort = strPort;
    m_dwActualRate = dwActualRate;
    m_byBoard = byBoard;
    const korix::SProcessIdentity self = korix::CurrentProcess();
    m_nPid = self.nPid;
    m_qwStartTime = self.qwStartTime;
    Update(master);
    return true;
}

bool CMasterStatusWriter::UpdateIfDue(const CDpMaster& master, std::uint64_t qwNowMs)
{
    if (m_pHeader == nullptr || qwNowMs - m_qwLastWriteMs < kStatusIntervalMs)
        return false;
    m_qwLastWriteMs = qwNowMs;
    Write(master, false);
    return true;
}

void CMasterStatusWriter::Update(const CDpMaster& master)
{
    if (m_pHeader != nullptr)
        Write(master, false);
}

void CMasterStatusWriter::End(const CDpMaster& master)
{
    if (m_pHeader != nullptr)
        Write(master, true);
}

void CMasterStatusWriter::Write(const CDpMaster& master, bool bEnded)
{
    // The sequence count is odd while the block changes (see MasterStatusBlock.h). Making it
    // odd is an exchange with acquire order, which keeps every change behind it (a fence
    // would do as well, but the thread sanitizer takes none); the release store keeps the
    // changes ahead of the even count. The count goes on from what the block holds: a block an
    // earlier master left keeps counting, so that a reader amid a copy of the old block cannot take
    // a mix of old and new, and one it left odd (it died while writing) stays odd until we are
    // done.
    std::atomic_ref<std::uint32_t> sequence(m_pHeader->dwSequence);
    const std::uint32_t dwOdd = sequence.load(std::memory_order_relaxed) | 1u;
    sequence.exchange(dwOdd, std::memory_order_acq_rel);

    SStatusHeader& header = *m_pHeader;
    header.dwMagic = kStatusMagic;
    header.dwVersion = kStatusVersion;
    header.dwSize = static_cast<std::uint32_t>(StatusBlockSize(m_dwSlaveCount));
    header.nPid = m_nPid;
    header.dwStartLow = static_cast<std::uint32_t>(m_qwStartTime);
    header.dwStartHigh = static_cast<std::uint32_t>(m_qwStartTime >> 32);
    const std::uint64_t qwNow = WallClockMs();
    header.dwUpdatedLow = static_cast<std::uint32_t>(qwNow);
    header.dwUpdatedHigh = static_cast<std::uint32_t>(qwNow >> 32);
    header.byBoard = m_byBoard;
    header.byEnded = bEnded ? 1 : 0;
    header.byMasterAddress = master.Config().byMasterAddress;
    header.byMode = master.Mode();
    header.dwBaudRate = master.Config().bus.dwBaudRate;
    header.dwActualRate = m_dwActualRate;
    CopyText(header.szPort, sizeof header.szPort, m_strPort);
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
    std::memset(header.adwReserved, 0, sizeof header.adwReserved);
    for (std::size_t i = 0; i < m_dwSlaveCount; ++i)
        WriteSlave(i, master.Config().slaves[i], master.Slave(i));

    sequence.store(dwOdd + 1, std::memory_order_release);
}

void CMasterStatusWriter::WriteSlave(std::size_t nIndex, const SSlaveConfig& config,
                                     const SSlaveStatus& status)
{
    SStatusSlave& slave = m_pSlaves[nIndex];
    slave.byAddress = config.byAddress;
    slave.byState = status.eState;
    slave.byInputLength = config.byInputLength;
    slave.byOutputLength = config.byOutputLength;
    slave.wIdent = config.wIdent;
    const std::uint8_t byDiagLength =
        static_cast<std::uint8_t>(std::min<std::size_t>(status.byDiagLength, kStatusDiagSize));
    slave.byDiagLength = byDiagLength;
    slave.byReserved = 0;
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
