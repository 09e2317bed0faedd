// A multi-drop DP line for tests with more than two stations as real processes: dp_ptybus
// joins pseudo-terminals into one line paced at the baud rate, and korix-dpmaster and
// korix-dpslave processes each open one endpoint as their port. An endpoint nobody opens is a
// listener's place: the test (or a passive monitor) opens it, and the line's counts say whether
// it ever sent.
#pragma once

#include "tests/support/ChildProcess.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace dptest
{

// dp_ptybus as a child process, its endpoints reached through links in a folder of the test's
// own, its counts read from the stats file it rewrites every 100 ms.
class CPtyBusLine
{
public:
    CPtyBusLine() = default;
    ~CPtyBusLine(); // ends a line still running
    CPtyBusLine(const CPtyBusLine&) = delete;
    CPtyBusLine& operator=(const CPtyBusLine&) = delete;

    // Starts the line with endpoints of these names; a failure fails the test (call it under
    // ASSERT_NO_FATAL_FAILURE).
    void Start(const std::vector<std::string>& astrNames, std::uint32_t dwBaudRate = 1500000,
               bool bEcho = false);
    bool IsRunning() const { return m_pProcess != nullptr; }
    int Pid() const { return m_pProcess ? m_pProcess->GetPid() : -1; }

    // The port a station opens for the endpoint (a link to its pseudo-terminal).
    std::string Path(const std::string& strName) const;

    // The counts the line wrote last (see tests/dp/ptybus/LineStats.h); null before the first.
    nlohmann::json Stats() const;
    // One endpoint's count ("bytes_sent", "bytes_received", "bytes_dropped",
    // "characters_garbled") from Stats(); -1 when there is none yet.
    std::int64_t Count(const std::string& strName, const std::string& strCount) const;

    // Ends the line with SIGTERM and returns its exit code; Stats() then gives its last counts.
    int Stop();

private:
    std::unique_ptr<testsupport::CChildProcess> m_pProcess;
    std::string m_strLinkDir;
    std::string m_strStatsFile;
};

// A master station: korix-dpmaster serving a board with a bus file.
struct SMasterStation
{
    std::uint8_t byBoard = 0;
    std::string strBus;                   // the bus file's text
    std::vector<std::string> astrOptions; // more of its command line, e.g. {"--cycle-us", "500"}
};

// What goes on the line: endpoints "master0", "master1", ... for the masters, "slaves0", ...
// for one korix-dpslave per slave file, "monitor0", ... for passive monitors (korix-dpmaster
// --listen), and "listener0", ... that no process opens.
struct SMultiDropSetUp
{
    std::vector<SMasterStation> masters;
    std::vector<SMasterStation> monitors;    // served with --listen
    std::vector<std::string> astrSlaveFiles; // the slave files' texts
    std::size_t nListeners = 1;
    std::uint32_t dwBaudRate = 1500000;
};

// The line and its stations. Every process is ended (SIGTERM) when it goes.
class CMultiDropBus
{
public:
    CMultiDropBus() = default;
    ~CMultiDropBus();
    CMultiDropBus(const CMultiDropBus&) = delete;
    CMultiDropBus& operator=(const CMultiDropBus&) = delete;

    // Brings the line up, then the slaves, the monitors and the masters; each master and
    // monitor has said that it serves its board when this returns. A failure fails the test
    // (ASSERT_NO_FATAL_FAILURE).
    void Start(const SMultiDropSetUp& setUp);
    // Start in two halves, for a test that opens a listener endpoint before anything is sent.
    void StartLine(const SMultiDropSetUp& setUp);
    void StartStations(const SMultiDropSetUp& setUp);

    CPtyBusLine& Line() { return m_line; }
    // The station processes, in the order of the set-up, while they run.
    testsupport::CChildProcess& Master(std::size_t n) { return *m_apMasters.at(n); }
    testsupport::CChildProcess& Slaves(std::size_t n) { return *m_apSlaves.at(n); }
    testsupport::CChildProcess& Monitor(std::size_t n) { return *m_apMonitors.at(n); }

    // Ends a master with the signal and waits for it; its exit code. For a master that dies
    // under the others (SIGKILL) or one that ends as told (SIGTERM).
    int EndMaster(std::size_t n, int nSignal);
    // Ends every station (SIGTERM), masters first, monitors last; the line runs on.
    void EndStations();

    static std::string MasterEndpoint(std::size_t n) { return "master" + std::to_string(n); }
    static std::string SlavesEndpoint(std::size_t n) { return "slaves" + std::to_string(n); }
    static std::string MonitorEndpoint(std::size_t n) { return "monitor" + std::to_string(n); }
    static std::string ListenerEndpoint(std::size_t n) { return "listener" + std::to_string(n); }

private:
    CPtyBusLine m_line;
    std::vector<std::unique_ptr<testsupport::CChildProcess>> m_apMasters;
    std::vector<std::unique_ptr<testsupport::CChildProcess>> m_apSlaves;
    std::vector<std::unique_ptr<testsupport::CChildProcess>> m_apMonitors;
};

} // namespace dptest
