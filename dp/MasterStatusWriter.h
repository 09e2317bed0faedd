// Publishes a master's status in the board's status block (MasterStatusBlock.h), for korixsim
// and movactl. The bus cycle pays only for what is due: the block is written at most every
// kStatusIntervalMs, and a diagnosis is put into words only when its bytes change.
#pragma once

#include "dp/DpMaster.h"
#include "dp/MasterStatusBlock.h"
#include "dp/MasterStatusFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

class CMasterStatusWriter
{
public:
    // Creates the board's block for the master's slaves (or takes over the one an earlier
    // master of the board left) and writes the status once; false with the reason.
    bool Open(std::uint8_t byBoard, const CDpMaster& master, const std::string& strPort,
              std::uint32_t dwActualRate, std::string& strError);
    bool IsOpen() const { return m_pHeader != nullptr; }

    // Writes the status when kStatusIntervalMs have passed since the last write (qwNowMs: any
    // steady clock in milliseconds). True when it wrote.
    bool UpdateIfDue(const CDpMaster& master, std::uint64_t qwNowMs);
    // Writes the status now.
    void Update(const CDpMaster& master);
    // The last write, marked as the master's end: readers then say since when it is gone.
    void End(const CDpMaster& master);

private:
    void Write(const CDpMaster& master, bool bEnded);
    void WriteSlave(std::size_t nIndex, const SSlaveConfig& config, const SSlaveStatus& status);

    CStatusMapping m_mapping;
    SStatusHeader* m_pHeader = nullptr;
    SStatusSlave* m_pSlaves = nullptr;
    std::uint32_t m_dwSlaveCount = 0;
    std::uint64_t m_qwLastWriteMs = 0;
    std::string m_strPort;
    std::uint32_t m_dwActualRate = 0;
    std::uint8_t m_byBoard = 0;
    std::int32_t m_nPid = 0;
    std::uint64_t m_qwStartTime = 0;
    // Per slave: the diagnosis whose words the block holds, once it holds any of ours.
    std::vector<std::vector<std::uint8_t>> m_aabyWordsOf;
    std::vector<bool> m_abWordsWritten;
};

} // namespace dp
