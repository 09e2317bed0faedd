#include "tests/dp/MultiDropBus.h"

#include "tests/dp/DpBusFixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace dptest
{

namespace
{

// Reads the child's lines up to the first that starts with strStart; false when the child
// ended or said nothing for a while first.
bool ReadLineStarting(testsupport::CChildProcess& child, const std::string& strStart,
                      std::string& strLine)
{
    for (int nLine = 0; nLine < 100; ++nLine)
    {
        if (!child.ReadLine(strLine, 20000))
            return false;
        if (strLine.rfind(strStart, 0) == 0)
            return true;
    }
    return false;
}

void EndChild(std::unique_ptr<testsupport::CChildProcess>& pChild)
{
    if (pChild == nullptr)
        return;
    pChild->Kill(SIGTERM);
    pChild->Wait();
    pChild.reset();
}

} // namespace

CPtyBusLine::~CPtyBusLine()
{
    if (m_pProcess)
        Stop();
}

void CPtyBusLine::Start(const std::vector<std::string>& astrNames, std::uint32_t dwBaudRate,
                        bool bEcho)
{
    m_strLinkDir = testing::TempDir() + testsupport::UniqueName("ptybus");
    std::error_code error;
    ASSERT_TRUE(std::filesystem::create_directory(m_strLinkDir, error)) << error.message();
    m_strStatsFile = m_strLinkDir + "/stats.json";
    std::string strNames;
    for (const std::string& strName : astrNames)
        strNames += (strNames.empty() ? "" : ",") + strName;
    std::vector<std::string> argv = {
        DP_PTYBUS,    "--endpoints", strNames,  "--baud",      std::to_string(dwBaudRate),
        "--link-dir", m_strLinkDir,  "--stats", m_strStatsFile};
    if (bEcho)
        argv.push_back("--echo");
    m_pProcess = std::make_unique<testsupport::CChildProcess>(argv);
    ASSERT_TRUE(m_pProcess->IsRunning());
    std::string strLine;
    ASSERT_TRUE(ReadLineStarting(*m_pProcess, "dp_ptybus: ready", strLine))
        << "the line did not start: " << strLine;
}

std::string CPtyBusLine::Path(const std::string& strName) const
{
    return m_strLinkDir + "/" + strName;
}

nlohmann::json CPtyBusLine::Stats() const
{
    std::ifstream file(m_strStatsFile);
    std::stringstream text;
    text << file.rdbuf();
    nlohmann::json stats = nlohmann::json::parse(text.str(), nullptr, false);
    return stats.is_discarded() ? nlohmann::json() : stats;
}

std::int64_t CPtyBusLine::Count(const std::string& strName, const std::string& strCount) const
{
    const nlohmann::json stats = Stats();
    if (!stats.contains("endpoints"))
        return -1;
    for (const nlohmann::json& endpoint : stats["endpoints"])
    {
        if (endpoint.value("name", "") == strName && endpoint.contains(strCount))
            return endpoint[strCount].get<std::int64_t>();
    }
    return -1;
}

int CPtyBusLine::Stop()
{
    if (!m_pProcess)
        return -1;
    m_pProcess->Kill(SIGTERM);
    const int nExit = m_pProcess->Wait();
    m_pProcess.reset();
    return nExit;
}

CMultiDropBus::~CMultiDropBus()
{
    EndStations();
}

void CMultiDropBus::Start(const SMultiDropSetUp& setUp)
{
    ASSERT_NO_FATAL_FAILURE(StartLine(setUp));
    ASSERT_NO_FATAL_FAILURE(StartStations(setUp));
}

void CMultiDropBus::StartLine(const SMultiDropSetUp& setUp)
{
    std::vector<std::string> astrNames;
    for (std::size_t n = 0; n < setUp.masters.size(); ++n)
        astrNames.push_back(MasterEndpoint(n));
    for (std::size_t n = 0; n < setUp.astrSlaveFiles.size(); ++n)
        astrNames.push_back(SlavesEndpoint(n));
    for (std::size_t n = 0; n < setUp.monitors.size(); ++n)
        astrNames.push_back(MonitorEndpoint(n));
    for (std::size_t n = 0; n < setUp.nListeners; ++n)
        astrNames.push_back(ListenerEndpoint(n));
    ASSERT_NO_FATAL_FAILURE(m_line.Start(astrNames, setUp.dwBaudRate));
}

void CMultiDropBus::StartStations(const SMultiDropSetUp& setUp)
{
    ASSERT_TRUE(m_line.IsRunning());
    std::string strLine;
    for (std::size_t n = 0; n < setUp.astrSlaveFiles.size(); ++n)
    {
        const std::string strFile = WriteTempFile("dpslaves.json", setUp.astrSlaveFiles[n]);
        m_apSlaves.push_back(std::make_unique<testsupport::CChildProcess>(
            std::vector<std::string>{DPSLAVE, "--port", m_line.Path(SlavesEndpoint(n)), "--slaves",
                                     strFile, "--baud", std::to_string(setUp.dwBaudRate)}));
        ASSERT_TRUE(ReadLineStarting(*m_apSlaves.back(), "korix-dpslave: slaves", strLine))
            << "the slave simulator did not start: " << strLine;
    }
    // The monitors before the masters, so that they hear the bus start.
    for (std::size_t n = 0; n < setUp.monitors.size(); ++n)
    {
        const SMasterStation& monitor = setUp.monitors[n];
        std::vector<std::string> argv = {
            DPMASTER,  "--listen",
            "--board", std::to_string(monitor.byBoard),
            "--port",  m_line.Path(MonitorEndpoint(n)),
            "--bus",   WriteTempFile("dpmonitor.json", monitor.strBus)};
        argv.insert(argv.end(), monitor.astrOptions.begin(), monitor.astrOptions.end());
        m_apMonitors.push_back(std::make_unique<testsupport::CChildProcess>(argv));
        ASSERT_TRUE(ReadLineStarting(*m_apMonitors.back(), "korix-dpmaster: listening", strLine))
            << "the monitor did not start: " << strLine;
    }
    for (std::size_t n = 0; n < setUp.masters.size(); ++n)
    {
        const SMasterStation& master = setUp.masters[n];
        std::vector<std::string> argv = {DPMASTER,
                                         "--board",
                                         std::to_string(master.byBoard),
                                         "--port",
                                         m_line.Path(MasterEndpoint(n)),
                                         "--bus",
                                         WriteTempFile("dpbus.json", master.strBus)};
        argv.insert(argv.end(), master.astrOptions.begin(), master.astrOptions.end());
        m_apMasters.push_back(std::make_unique<testsupport::CChildProcess>(argv));
        ASSERT_TRUE(ReadLineStarting(*m_apMasters.back(), "korix-dpmaster: serving board", strLine))
            << "the master did not start: " << strLine;
    }
}

int CMultiDropBus::EndMaster(std::size_t n, int nSignal)
{
    std::unique_ptr<testsupport::CChildProcess>& pMaster = m_apMasters.at(n);
    if (pMaster == nullptr)
        return -1;
    pMaster->Kill(nSignal);
    const int nExit = pMaster->Wait();
    pMaster.reset();
    return nExit;
}

void CMultiDropBus::EndStations()
{
    for (auto& pMaster : m_apMasters)
        EndChild(pMaster);
    for (auto& pSlaves : m_apSlaves)
        EndChild(pSlaves);
    for (auto& pMonitor : m_apMonitors)
        EndChild(pMonitor);
}

} // namespace dptest
