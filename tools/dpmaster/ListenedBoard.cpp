#include "tools/dpmaster/ListenedBoard.h"

#include "tools/common/CommandLine.h"
#include "tools/common/StopRequest.h"
#include "tools/dpmaster/InputLines.h"
#include "tools/dpmaster/StatusAsked.h"
#include "tools/dpmaster/SystemEnd.h"

#include "dp/line/UsbLatency.h"
#include "platform/Clock.h"

#include <chrono>
#include <cstdio>

namespace dpmaster
{

namespace
{

constexpr const char* kPrefix = "korix-dpmaster: ";

std::string Format(const char* pszFormat, auto... args)
{
    char szText[512];
    std::snprintf(szText, sizeof szText, pszFormat, args...);
    return szText;
}

std::uint64_t SteadyMs()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

} // namespace

std::string FormatMonitorStatus(const dp::CBusMonitor& monitor, const std::string& strPort)
{
    const dp::SMonitorCounters& c = monitor.Counters();
    const dp::SParserCounters& p = monitor.ParserCounters();
    std::string strText = Format(
        "listening to %s at %u bit/s, never sending; slaves %s\n"
        "line: telegrams %u, unanswered %u, answers in doubt %u, stray answers %u, length "
        "mismatches %u, unknown slaves %u, skipped bytes %u, bad check sums %u (%u outside any "
        "answer window), bad frames %u, cut short %u\n",
        strPort.c_str(), monitor.Config().bus.dwBaudRate,
        monitor.Config().bFromBusFile ? "from the bus file" : "learnt from the line", c.dwTelegrams,
        c.dwUnanswered, c.dwAnswersInDoubt, c.dwStrayAnswers, c.dwLengthMismatches,
        c.dwUnknownSlaves, p.dwSkippedBytes, p.dwBadCheckSums, c.dwBadCheckSumsOutside,
        p.dwBadFrames, p.dwTruncated);
    for (unsigned a = 0; a < 128; ++a)
    {
        const dp::SStationSeen& st = monitor.Station(static_cast<std::uint8_t>(a));
        if (st.eKind == dp::teSeenKind::Unseen)
            continue;
        std::string strWhat;
        if (st.eKind == dp::teSeenKind::Master)
            strWhat = st.qwRotationNs != 0
                          ? Format("master %u: token rotation %.3f ms", a, st.qwRotationNs / 1e6)
                          : Format("master %u", a);
        else
        {
            const int nIndex = monitor.FindSlave(static_cast<std::uint8_t>(a));
            strWhat =
                Format("slave %u of master %u: %.1f exchanges/s", a, st.byMaster,
                       nIndex >= 0 ? monitor.ExchangeRate(static_cast<std::size_t>(nIndex)) : 0.0);
        }
        strText += Format("%s; requests %u, no answer %u, repeats %u, bad check sums %u, answers "
                          "in doubt %u, diagnosis requests %u\n",
                          strWhat.c_str(), st.dwRequests, st.dwNoAnswer, st.dwRepeats,
                          st.dwBadCheckSums, st.dwInDoubt, st.dwDiagRequests);
    }
    for (std::size_t i = 0; i < monitor.SlaveCount(); ++i)
    {
        const dp::SSlaveConfig& config = monitor.SlaveConfig(i);
        const dp::SMasterSlaveState& state = monitor.SlaveState(i);
        strText += Format("slave %u: %s%s%s; %u in / %u out; exchanges %u\n", config.byAddress,
                          BoardSlaveStateText(state.eState), state.strProblem.empty() ? "" : " (",
                          state.strProblem.empty() ? "" : (state.strProblem + ")").c_str(),
                          config.byInputLength, config.byOutputLength, state.counters.dwExchanges);
    }
    return strText;
}

CListenedBoard::CListenedBoard(const SOptions& options, const dp::SMonitorConfig& config,
                               CEventWriter& output, CEventWriter& errors)
    : m_options(options), m_byBoard(static_cast<std::uint8_t>(options.uBoard)), m_output(output),
      m_errors(errors), m_monitor(m_port, config),
      m_link(m_byBoard, m_monitor,
             "korix-dpmaster --listen: " + options.strPort + ", " +
                 std::to_string(config.bus.dwBaudRate) + " bit/s")
{
}

void CListenedBoard::Say(CEventWriter& writer, const std::string& strText)
{
    writer.Post(kPrefix + strText);
}

bool CListenedBoard::Open()
{
    const std::string& strPort = m_options.strPort;
    std::string strError;
    // The board first, then the port's lock file: nobody else's line is touched, and no
    // master takes this port while the monitor listens on it.
    if (!m_link.Attach(strError) || !m_portLock.Take(strPort, strError) ||
        !m_port.OpenListenOnly(strPort, m_monitor.Config().bus.dwBaudRate, strError) ||
        !dp::HoldPortExclusively(m_port.Descriptor(), strPort, strError))
    {
        Say(m_errors, strError);
        return false;
    }
    return true;
}

void CListenedBoard::Announce()
{
    const std::string& strPort = m_options.strPort;
    if (!m_portLock.Warning().empty())
        Say(m_errors, m_portLock.Warning());
    const std::string strLatency = dp::UsbLatencyAdvice(strPort);
    if (!strLatency.empty())
        Say(m_errors, strLatency);
    std::string strSlaves;
    for (std::size_t i = 0; i < m_monitor.SlaveCount(); ++i)
        strSlaves += " " + std::to_string(m_monitor.SlaveConfig(i).byAddress);
    Say(m_output, "listening on " + strPort + " at " +
                      std::to_string(m_port.Features().dwActualBaudRate) +
                      " bit/s without ever sending, serving board " +
                      std::to_string(m_options.uBoard) + " read-only, slaves" +
                      (m_monitor.Config().bFromBusFile ? strSlaves : " learnt from the line"));
    std::string strError;
    if (!m_status.Open(m_byBoard, m_monitor, strPort, m_port.Features().dwActualBaudRate, strError))
        Say(m_output, "no status block: " + strError);
}

void CListenedBoard::SayStateChanges()
{
    m_abyShownStates.resize(m_monitor.SlaveCount(), SlaveNotReachable);
    for (std::size_t i = 0; i < m_monitor.SlaveCount(); ++i)
    {
        const dp::SMasterSlaveState& state = m_monitor.SlaveState(i);
        const bool bNow = IsSlaveExchanging(state.eState);
        if (bNow == IsSlaveExchanging(m_abyShownStates[i]))
            continue;
        m_abyShownStates[i] = state.eState;
        const std::uint8_t byAddress = m_monitor.SlaveConfig(i).byAddress;
        Say(m_output, "slave " + std::to_string(byAddress) +
                          (bNow ? ": exchanging data with master " +
                                      std::to_string(m_monitor.Station(byAddress).byMaster)
                                : ": not exchanging (" + state.strProblem + ")"));
    }
}

bool CListenedBoard::Turn()
{
    if (!m_monitor.Listen(platform::ReadMonotonicNs() + kListenTurnNs))
    {
        Say(m_errors, m_options.strPort + ": the port failed");
        return false;
    }
    std::string strError;
    if (!m_link.Exchange(strError))
    {
        Say(m_errors, strError);
        return false;
    }
    SayStateChanges();
    m_status.UpdateIfDue(m_monitor, SteadyMs());
    return true;
}

int CListenedBoard::Run()
{
    tools::CStopRequest stop;
    // After the stop request's: its handler is then asked first.
    CSystemEnd systemEnd(m_options.bService);
    bool bInputOpen = true;
    CInputLines input;
    const std::uint64_t qwEveryMs = m_options.uStatusSeconds * 1000ull;
    std::uint64_t qwNextStatusMs = SteadyMs() + qwEveryMs;
    int nStatus = tools::ExitOk;
    while (!StopRequested())
    {
        if (!Turn())
        {
            nStatus = tools::ExitFailed;
            break;
        }
        const bool bPeriodic = qwEveryMs != 0 && SteadyMs() >= qwNextStatusMs;
        if (StatusAsked(bInputOpen, input, m_errors) || bPeriodic)
        {
            m_output.Post(FormatMonitorStatus(m_monitor, m_options.strPort));
            if (bPeriodic)
                qwNextStatusMs = SteadyMs() + qwEveryMs;
        }
    }
    m_status.End(m_monitor);
    m_link.Detach();
    dp::ReleasePortExclusively(m_port.Descriptor());
    return nStatus;
}

} // namespace dpmaster
