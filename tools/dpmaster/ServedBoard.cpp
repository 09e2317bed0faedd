#include "tools/dpmaster/ServedBoard.h"

#include "tools/common/CommandLine.h"
#include "tools/common/StopRequest.h"
#include "tools/dpmaster/InputLines.h"
#include "tools/dpmaster/StatusAsked.h"
#include "tools/dpmaster/StatusText.h"
#include "tools/dpmaster/SystemEnd.h"

#include "dp/line/UsbLatency.h"

#include <chrono>
#include <thread>
#include <vector>

namespace dpmaster
{

namespace
{

constexpr const char* kPrefix = "korix-dpmaster: ";

dp::SStationConfig StationConfigOf(const dp::SMasterConfig& config)
{
    dp::SStationConfig station;
    station.byAddress = config.byMasterAddress;
    station.bus = config.bus;
    station.dwResponseAllowanceUs = config.dwResponseAllowanceUs;
    station.byHighestAddress = config.byHighestAddress;
    station.dwTargetRotationBits = config.dwTargetRotationBits;
    station.dwGapFactor = config.dwGapFactor;
    return station;
}

std::uint64_t MillisecondsOf(std::chrono::steady_clock::time_point time)
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

} // namespace

CServedBoard::CServedBoard(const SOptions& options, const dp::SMasterConfig& config,
                           CEventWriter& output, CEventWriter& errors)
    : m_options(options), m_byBoard(static_cast<std::uint8_t>(options.uBoard)), m_output(output),
      m_errors(errors), m_station(m_port, StationConfigOf(config)),
      m_master(m_station.Line(), config), m_application(m_master),
      m_pTrace(std::make_shared<CBusTraceSession>(m_byBoard, options.nTraceLevel)),
      m_link(m_byBoard, m_master,
             "korix-dpmaster: " + options.strPort + ", " + std::to_string(config.bus.dwBaudRate) +
                 " bit/s")
{
    Wire();
}

void CServedBoard::Say(CEventWriter& writer, const std::string& strText)
{
    writer.Post(kPrefix + strText);
}

void CServedBoard::Wire()
{
    m_master.SetEventHandler([this](const std::string& strEvent) { Say(m_output, strEvent); });
    m_master.SetTrace(m_pTrace.get());
    // A stop is heard between any two requests, however long the bus file lets one last.
    m_master.SetStopCheck([] { return StopRequested(); });
    // Putting a diagnosis into words may take long with a large GSD file: the writer thread
    // does it, so that the bus cycle never waits for it.
    const auto pConfig = std::make_shared<const dp::SMasterConfig>(m_master.Config());
    m_master.SetDiagnosisHandler(
        [this, pConfig, pTrace = m_pTrace](std::size_t nSlave, std::vector<std::uint8_t> abyDiag)
        {
            m_output.PostDeferred(
                [pConfig, nSlave, pTrace, abyDiag = std::move(abyDiag)]
                {
                    const std::string strText =
                        dp::DiagnosisEventText(pConfig->slaves[nSlave], abyDiag);
                    if (pTrace->Wants(dp::kTraceStates))
                        pTrace->Line(dp::kTraceStates, strText.c_str());
                    return kPrefix + strText;
                });
        });
    m_link.SetCyclePauseUs(m_options.uCycleUs);

    m_station.SetEventHandler([this](const std::string& strEvent) { Say(m_output, strEvent); });
    m_station.SetTrace(m_pTrace.get());
    m_station.SetStopCheck([] { return StopRequested(); });
    m_station.AddApplication(&m_application);
    m_status.SetStation(&m_station);
    m_application.SetShortestCycleNs(m_options.uCycleUs * 1000ull);
    m_application.SetBetweenCycles([this] { return BetweenCycles(); });
    // Between two of the master's steps the token goes round: at most the target rotation
    // time and the late cycles of the others, taken as once more the target rotation time, or
    // a lost token's time-out.
    m_master.SetTokenAbsenceNs(2 * m_station.TargetRotationNs() + m_station.TokenTimeoutNs());
}

bool CServedBoard::Open()
{
    const std::string& strPort = m_options.strPort;
    const std::uint32_t dwBaudRate = m_master.Config().bus.dwBaudRate;
    std::string strError;
    // The board first: a second master for it must not touch the line of the first. Then the
    // port's lock file, before the port is opened, so that nobody else's line is disturbed.
    if (!m_link.Attach(strError) || !m_portLock.Take(strPort, strError) ||
        !m_port.Open(strPort, dwBaudRate, m_options.eRs485, strError) ||
        !dp::HoldPortExclusively(m_port.Descriptor(), strPort, strError))
    {
        Say(m_errors, strError);
        return false;
    }
    return true;
}

void CServedBoard::Announce()
{
    const std::string& strPort = m_options.strPort;
    if (!m_portLock.Warning().empty())
        Say(m_errors, m_portLock.Warning());
    const std::string strLatency = dp::UsbLatencyAdvice(strPort);
    if (!strLatency.empty())
        Say(m_errors, strLatency);
    std::string strSlaves;
    for (const dp::SSlaveConfig& slave : m_master.Config().slaves)
        strSlaves += " " + std::to_string(slave.byAddress);
    const dp::SPortFeatures& features = m_port.Features();
    Say(m_output, "serving board " + std::to_string(m_options.uBoard) + " on " + strPort + " at " +
                      std::to_string(features.dwActualBaudRate) + " bit/s (" +
                      (features.bRs485 ? "RS-485 mode" : "no RS-485 mode") +
                      (features.bLowLatency ? ", low latency" : "") + "), slaves" + strSlaves);
    if (!m_pTrace->IsOpen())
        Say(m_output, "no trace: the session " + m_pTrace->Name() + " is taken");
    std::string strError;
    if (!m_status.Open(m_byBoard, m_master, strPort, features.dwActualBaudRate, strError))
        Say(m_output, "no status block: " + strError);
}

bool CServedBoard::BetweenCycles()
{
    const auto now = std::chrono::steady_clock::now();
    std::string strError;
    if (!m_link.Exchange(strError))
    {
        Say(m_errors, strError);
        return false;
    }
    m_status.UpdateIfDue(m_master, MillisecondsOf(now));
    const bool bPeriodic = m_options.uStatusSeconds != 0 && now >= m_nextStatus;
    if (StatusAsked(m_bInputOpen, m_input, m_errors) || bPeriodic)
    {
        m_output.Post(FormatStatus(m_master, m_options.strPort));
        if (bPeriodic)
            m_nextStatus = now + std::chrono::seconds(m_options.uStatusSeconds);
    }
    return true;
}

int CServedBoard::Run()
{
    tools::CStopRequest stop;
    // After the stop request's: its handler is then asked first.
    CSystemEnd systemEnd(m_options.bService);
    m_nextStatus =
        std::chrono::steady_clock::now() + std::chrono::seconds(m_options.uStatusSeconds);
    int nStatus = tools::ExitOk;
    // The board's exchange before the first cycle; then between every two.
    if (!BetweenCycles())
        nStatus = tools::ExitFailed;
    else if (!m_station.Run())
    {
        nStatus = tools::ExitFailed;
        if (m_station.Fault() != dp::teStationFault::None)
            Say(m_errors, "the station stopped sending (see above): the board's master goes "
                          "offline");
        else if (!m_application.HandlerFailed())
            Say(m_errors, m_options.strPort + ": the port failed");
    }
    m_status.End(m_master);
    m_link.Detach();
    dp::ReleasePortExclusively(m_port.Descriptor());
    return nStatus;
}

} // namespace dpmaster
