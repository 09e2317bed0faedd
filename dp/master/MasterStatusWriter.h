// Publishes a master's status in the board's status block (MasterStatusBlock.h), for korixsim
// and movactl. The bus cycle pays only for what is due: the block is written at most every
// kStatusIntervalMs, and a diagnosis is put into words only when its bytes change.
#pragma once

#include "dp/master/DpMaster.h"
#include "dp/station/FdlStation.h"
#include "dp/status/MasterStatusBlock.h"
#include "dp/status/MasterStatusFile.h"
#include "dp/status/StatusBlockOwner.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dp
{

class CMasterStatusWriter
{
public:
    // Creates the board's block afresh for the master's slaves, with the status, in place of
    // whatever block an earlier master of the board left; false with the reason.
    bool Open(std::uint8_t byBoard, const CDpMaster& master, const std::string& strPort,
              std::uint32_t dwActualRate, std::string& strError);
    bool IsOpen() const { return m_file.IsOpen(); }
    // The station the master runs on, whose ring the block shows; read from the thread that
    // runs it (between its cycles). Without one the ring reads as no station.
    void SetStation(const CFdlStation* pStation) { m_pStation = pStation; }

    // Writes the status when kStatusIntervalMs have passed since the last write (qwNowMs: any
    // steady clock in milliseconds). True when it wrote.
    bool UpdateIfDue(const CDpMaster& master, std::uint64_t qwNowMs);
    // Writes the status now.
    void Update(const CDpMaster& master);
    // The last write, marked as the master's end: readers then say since when it is gone.
    void End(const CDpMaster& master);

private:
    // The block as it goes out, in one write.
    struct SImage
    {
        SStatusHeader header;
        SStatusSlave aSlaves[kStatusMaxSlaves];
    };
    static_assert(sizeof(SImage) == kStatusMaxSize, "the block goes out as it lies in memory");

    void Write(const CDpMaster& master, bool bEnded);
    void Fill(const CDpMaster& master, bool bEnded);
    void FillRing(SStatusRing& ring) const;
    void FillSlave(std::size_t nIndex, const SSlaveConfig& config, const SMasterSlaveState& status);

    const CFdlStation* m_pStation = nullptr;
    CStatusBlockFile m_file;
    std::unique_ptr<SImage> m_pImage;
    std::uint32_t m_dwSlaveCount = 0;
    std::uint64_t m_qwLastWriteMs = 0;
    CStatusBlockOwner m_owner;
    // Per slave: the diagnosis whose words the block holds, once it holds any of ours.
    std::vector<std::vector<std::uint8_t>> m_aabyWordsOf;
    std::vector<bool> m_abWordsWritten;
};

} // namespace dp
