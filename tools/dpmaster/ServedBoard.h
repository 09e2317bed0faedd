// The master, its port and the board it serves, wired together: opened in the order that
// disturbs nobody else's line, announced, and run cycle by cycle until a stop.
#pragma once

#include "tools/dpmaster/BusTraceSession.h"
#include "tools/dpmaster/EventWriter.h"
#include "tools/dpmaster/InputLines.h"
#include "tools/dpmaster/Options.h"

#include "dp/files/BusFiles.h"
#include "dp/line/SerialPort.h"
#include "dp/line/SerialPortLock.h"
#include "dp/master/BoardLink.h"
#include "dp/master/DpMaster.h"
#include "dp/master/MasterApplication.h"
#include "dp/master/MasterStatusWriter.h"
#include "dp/station/FdlStation.h"

#include <chrono>
#include <memory>
#include <string>

namespace dpmaster
{

class CServedBoard
{
public:
    // The writers outlive this object: the board is let go before their last lines.
    CServedBoard(const SOptions& options, const dp::SMasterConfig& config, CEventWriter& output,
                 CEventWriter& errors);
    CServedBoard(const CServedBoard&) = delete;
    CServedBoard& operator=(const CServedBoard&) = delete;

    // Takes the board, the port's lock file and the port; false, said on errors, when one of
    // them cannot be had.
    bool Open();
    // Says what is served and what is missing (trace session, status block).
    void Announce();
    // Runs the bus until a stop request or a failure; returns the exit code.
    int Run();

private:
    void Wire();
    // Between two cycles of the master: the board's exchange and the status.
    bool BetweenCycles();
    void Say(CEventWriter& writer, const std::string& strText);

    const SOptions& m_options;
    const std::uint8_t m_byBoard;
    CEventWriter& m_output;
    CEventWriter& m_errors;
    dp::CSerialPortLock m_portLock; // released after the port is closed
    dp::CSerialPort m_port;
    // The master is an application of its station: it talks while the station holds the token.
    dp::CFdlStation m_station;
    dp::CDpMaster m_master;
    dp::CMasterApplication m_application;
    bool m_bInputOpen = true;
    CInputLines m_input;
    std::chrono::steady_clock::time_point m_nextStatus;
    // Shared with the output's writer thread, which words diagnoses into it and may outlive us.
    std::shared_ptr<CBusTraceSession> m_pTrace;
    dp::CBoardLink m_link;
    // The status for korixsim show and movactl status; the bus runs without it.
    dp::CMasterStatusWriter m_status;
};

} // namespace dpmaster
