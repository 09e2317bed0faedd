// Publishes a monitor's status in the board's status block (dp/status/MasterStatusBlock.h):
// the header and slave records as a master's, then the monitor's section (the stations seen
// and the line's health). The file is made for the most slaves at once, since a monitor
// without a bus file learns its slaves as it goes.
#pragma once

#include "dp/monitor/BusMonitor.h"
#include "dp/status/MasterStatusBlock.h"
#include "dp/status/MasterStatusFile.h"
#include "dp/status/StatusBlockOwner.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

class CMonitorStatusWriter
{
public:
    bool Open(std::uint8_t byBoard, const CBusMonitor& monitor, const std::string& strPort,
              std::uint32_t dwActualRate, std::string& strError);
    bool IsOpen() const { return m_file.IsOpen(); }
    // Writes when kStatusIntervalMs have passed since the last write; true when it wrote.
    bool UpdateIfDue(const CBusMonitor& monitor, std::uint64_t qwNowMs);
    void Update(const CBusMonitor& monitor) { Write(monitor, false); }
    // The last write, marked as the end.
    void End(const CBusMonitor& monitor) { Write(monitor, true); }

private:
    void Write(const CBusMonitor& monitor, bool bEnded);
    std::size_t Fill(const CBusMonitor& monitor, bool bEnded);

    CStatusBlockFile m_file;
    std::vector<std::uint8_t> m_abyImage; // the block as it goes out
    std::uint64_t m_qwLastWriteMs = 0;
    CStatusBlockOwner m_owner;
    // Per address: the diagnosis whose words the block holds, and the words.
    std::vector<std::vector<std::uint8_t>> m_aabyWordsOf;
    std::vector<std::string> m_astrWords;
};

} // namespace dp
