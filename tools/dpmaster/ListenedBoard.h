// korix-dpmaster --listen: a passive monitor, its port opened read-only and the board it serves
// read-only, wired together and run turn by turn until a stop. Nothing here writes to the port.
#pragma once

#include "tools/dpmaster/EventWriter.h"
#include "tools/dpmaster/Options.h"

#include "dp/line/SerialPort.h"
#include "dp/line/SerialPortLock.h"
#include "dp/master/BoardLink.h"
#include "dp/monitor/BusMonitor.h"
#include "dp/monitor/MonitorStatusWriter.h"

#include <string>
#include <vector>

namespace dpmaster
{

// How long the monitor listens between two exchanges with the board.
inline constexpr std::uint64_t kListenTurnNs = 10000000;

class CListenedBoard
{
public:
    CListenedBoard(const SOptions& options, const dp::SMonitorConfig& config, CEventWriter& output,
                   CEventWriter& errors);
    CListenedBoard(const CListenedBoard&) = delete;
    CListenedBoard& operator=(const CListenedBoard&) = delete;

    // Takes the board, the port's lock file and the port (read-only); false, said on errors.
    bool Open();
    void Announce();
    // Listens until a stop request or a failure; returns the exit code.
    int Run();

private:
    bool Turn();
    // Says which slaves began or stopped exchanging since the last turn.
    void SayStateChanges();
    void Say(CEventWriter& writer, const std::string& strText);

    const SOptions& m_options;
    const std::uint8_t m_byBoard;
    CEventWriter& m_output;
    CEventWriter& m_errors;
    dp::CSerialPortLock m_portLock; // released after the port is closed
    dp::CSerialPort m_port;
    dp::CBusMonitor m_monitor;
    dp::CBoardLink m_link;
    dp::CMonitorStatusWriter m_status;
    std::vector<std::uint8_t> m_abyShownStates; // per slave, as last said
};

// The monitor's status for people: the stations seen, the line's health, the slaves.
std::string FormatMonitorStatus(const dp::CBusMonitor& monitor, const std::string& strPort);

} // namespace dpmaster
