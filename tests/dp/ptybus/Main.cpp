// dp_ptybus: several pseudo-terminals joined into one multi-drop RS-485 line, for tests that
// put more than two real processes on one DP bus (a master, slave simulators, a listener, a
// second master). Each endpoint is a pseudo-terminal whose other end a program opens as its
// serial port (korix-dpmaster --port, korix-dpslave --port); --link-dir gives each a stable
// name. Every character one endpoint writes reaches all the others when it has crossed the
// line at the baud rate (11 bits a character), and not the writer itself unless --echo asks
// for the echo a half-duplex adapter gives. Nothing decides who may send: characters of two
// endpoints that overlap in time garble, and the others receive the OR of the bytes that were
// on the line together (see SharedLine.h). The counts (bytes sent, received and dropped per
// endpoint, garbled characters) go as one JSON object to --stats FILE, rewritten every 100 ms,
// on SIGUSR1 and at the end; without --stats, SIGUSR1 and the end print it on standard output.
// SIGTERM ends it. Started, it prints "dp_ptybus: endpoint NAME PATH" for each endpoint, then
// "dp_ptybus: ready". A test tool, not installed.
#include "tests/dp/ptybus/LineStats.h"
#include "tests/dp/ptybus/SharedLine.h"
#include "tests/dp/ptybus/SystemCalls.h"

#include "tools/common/CommandLine.h"
#include "tools/common/Numbers.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace
{

constexpr std::size_t kMaxEndpoints = 64;
constexpr std::uint64_t kStatsEveryNs = 100000000;
// Characters that end within this time of each other are handed on together: a wake-up per
// character at 12 Mbit/s would be a busy loop. When they garble is worked out in the line's
// own time, so only the delivery is late, by less than a slot time at the slow rates.
constexpr std::uint64_t kBatchNs = 100000;
// With nothing on the line and no stats file the wait still ends now and then; harmless.
constexpr std::uint64_t kIdleWaitNs = 1000000000;

// "3" is three endpoints named 0, 1, 2; "master,slave,listener" names them. A name becomes a
// file name in the link folder, so it is kept to letters, digits, '-', '_' and '.'.
bool ParseEndpoints(const std::string& strText, std::vector<std::string>& astrNames,
                    std::string& strError)
{
    std::uint64_t qwCount = 0;
    if (tools::ParseNumber(strText, kMaxEndpoints, qwCount))
    {
        if (qwCount < 2)
        {
            strError = "--endpoints: a line needs at least 2 endpoints";
            return false;
        }
        for (std::uint64_t n = 0; n < qwCount; ++n)
            astrNames.push_back(std::to_string(n));
        return true;
    }
    std::set<std::string> seen;
    std::size_t nStart = 0;
    for (;;)
    {
        const std::size_t nEnd = strText.find(',', nStart);
        const std::string strName = strText.substr(nStart, nEnd - nStart);
        const bool bPlain =
            !strName.empty() && strName != "." && strName != ".." &&
            std::all_of(strName.begin(), strName.end(),
                        [](char ch)
                        {
                            return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                                   (ch >= '0' && ch <= '9') || ch == '-' || ch == '_' || ch == '.';
                        });
        if (!bPlain || !seen.insert(strName).second)
        {
            strError = "--endpoints: '" + strName +
                       "' is no name for an endpoint (letters, "
                       "digits, '-', '_', '.'; each once)";
            return false;
        }
        astrNames.push_back(strName);
        if (nEnd == std::string::npos)
            break;
        nStart = nEnd + 1;
    }
    if (astrNames.size() < 2 || astrNames.size() > kMaxEndpoints)
    {
        strError = "--endpoints: from 2 to 64 endpoints";
        return false;
    }
    return true;
}

class CLineRunner
{
public:
    CLineRunner(ptybus::CSystemCalls& system, const ptybus::SLineSettings& settings,
                std::string strStatsFile)
        : m_system(system), m_settings(settings), m_strStatsFile(std::move(strStatsFile)),
          m_line(system.Terminals().size(), settings.dwBaudRate, settings.bEcho),
          m_aReceived(system.Terminals().size())
    {
    }

    int Run()
    {
        const std::size_t nEndpoints = m_system.Terminals().size();
        std::vector<bool> abWantRead(nEndpoints), abReadable;
        std::uint64_t qwNextStats = ptybus::CSystemCalls::NowNs() + kStatsEveryNs;
        while (!ptybus::CSystemCalls::StopRequested())
        {
            for (std::size_t n = 0; n < nEndpoints; ++n)
                abWantRead[n] = m_line.Room(n) > 0;
            const std::uint64_t qwNow = ptybus::CSystemCalls::NowNs();
            std::uint64_t qwDeadline = qwNow + kIdleWaitNs;
            if (m_line.NextEndNs() != UINT64_MAX)
                qwDeadline = std::max(m_line.NextEndNs(), qwNow + kBatchNs);
            if (!m_strStatsFile.empty())
                qwDeadline = std::min(qwDeadline, qwNextStats);
            if (!m_system.Wait(abWantRead, qwDeadline, abReadable))
                return Fail("waiting for the endpoints failed");
            ++m_qwWakeups;
            if (!Carry(abReadable))
                return tools::ExitFailed;
            const bool bAsked = ptybus::CSystemCalls::TakeStatsRequest();
            const std::uint64_t qwAfter = ptybus::CSystemCalls::NowNs();
            if (bAsked || (!m_strStatsFile.empty() && qwAfter >= qwNextStats))
            {
                PutStats();
                qwNextStats = qwAfter + kStatsEveryNs;
            }
        }
        PutStats();
        return tools::ExitOk;
    }

private:
    // Takes what the endpoints wrote, then hands on every character that has crossed the line.
    bool Carry(const std::vector<bool>& abReadable)
    {
        const std::uint64_t qwNow = ptybus::CSystemCalls::NowNs();
        std::uint8_t abyBuffer[4096];
        for (std::size_t n = 0; n < abReadable.size(); ++n)
        {
            if (!abReadable[n])
                continue;
            const long nRead =
                m_system.Read(n, abyBuffer, std::min(sizeof abyBuffer, m_line.Room(n)));
            if (nRead < 0)
            {
                Fail(m_system.Terminals()[n].strPath + ": reading failed");
                return false;
            }
            m_line.Write(n, abyBuffer, static_cast<std::size_t>(nRead), qwNow);
        }
        m_line.Advance(qwNow, m_aReceived);
        for (std::size_t n = 0; n < m_aReceived.size(); ++n)
        {
            std::vector<std::uint8_t>& abyBytes = m_aReceived[n];
            if (abyBytes.empty())
                continue;
            // A side that nobody reads fills up; the line does not wait for it, as a real
            // line does not wait for a station that is switched off.
            const long nTaken = m_system.Write(n, abyBytes.data(), abyBytes.size());
            const std::size_t nCarried = nTaken < 0 ? 0 : static_cast<std::size_t>(nTaken);
            m_line.CountReceived(n, nCarried);
            m_line.CountDropped(n, abyBytes.size() - nCarried);
            abyBytes.clear();
        }
        return true;
    }

    void PutStats()
    {
        const std::string strStats =
            ptybus::StatsJson(m_line, m_system.Terminals(), m_settings, m_qwWakeups);
        if (m_strStatsFile.empty())
        {
            std::printf("%s\n", strStats.c_str());
            std::fflush(stdout);
        }
        else if (!ptybus::CSystemCalls::WriteFileAtomically(m_strStatsFile, strStats + "\n") &&
                 !m_bStatsFailed)
        {
            std::fprintf(stderr, "dp_ptybus: %s: cannot write the stats\n", m_strStatsFile.c_str());
            m_bStatsFailed = true;
        }
    }

    int Fail(const std::string& strWhy)
    {
        std::fprintf(stderr, "dp_ptybus: %s\n", strWhy.c_str());
        PutStats();
        return tools::ExitFailed;
    }

    ptybus::CSystemCalls& m_system;
    ptybus::SLineSettings m_settings;
    std::string m_strStatsFile;
    ptybus::CSharedLine m_line;
    std::vector<std::vector<std::uint8_t>> m_aReceived;
    std::uint64_t m_qwWakeups = 0;
    bool m_bStatsFailed = false;
};

int Run(int argc, char** argv)
{
    CLI::App app{"Joins pseudo-terminals into one multi-drop RS-485 line, paced at the baud "
                 "rate, for tests with several DP stations as real processes.",
                 "dp_ptybus"};
    std::string strEndpoints = "2";
    std::string strLinkDir;
    std::string strStatsFile;
    ptybus::SLineSettings settings;
    settings.dwBaudRate = 1500000;
    app.add_option("--endpoints", strEndpoints,
                   "how many endpoints (named 0, 1, ...), or their names: master,slave,listener");
    app.add_option("--baud", settings.dwBaudRate, "the line's rate in bit/s (11 bits a character)")
        ->transform(tools::Number(300, 12000000));
    app.add_option("--link-dir", strLinkDir,
                   "make a link DIR/NAME to each endpoint's port (the folder must exist)");
    app.add_flag("--echo", settings.bEcho,
                 "each endpoint also receives its own characters, as from a half-duplex adapter");
    app.add_option("--stats", strStatsFile,
                   "write the counts (JSON) to this file every 100 ms, on SIGUSR1 and at the end");
    if (std::optional<int> nDone = tools::ParseCommandLine(app, argc, argv))
        return *nDone;

    std::vector<std::string> astrNames;
    std::string strError;
    if (!ParseEndpoints(strEndpoints, astrNames, strError))
    {
        std::fprintf(stderr, "dp_ptybus: %s\nTry 'dp_ptybus --help'.\n", strError.c_str());
        return tools::ExitUsage;
    }
    ptybus::CSystemCalls system;
    if (!ptybus::CSystemCalls::CatchSignals(strError) ||
        !system.OpenPseudoTerminals(astrNames, strLinkDir, strError))
    {
        std::fprintf(stderr, "dp_ptybus: %s\n", strError.c_str());
        return tools::ExitFailed;
    }
    for (const ptybus::SPseudoTerminal& terminal : system.Terminals())
        std::printf("dp_ptybus: endpoint %s %s\n", terminal.strName.c_str(),
                    terminal.strPath.c_str());
    std::printf("dp_ptybus: ready, %zu endpoints at %u bit/s\n", system.Terminals().size(),
                static_cast<unsigned>(settings.dwBaudRate));
    std::fflush(stdout);
    CLineRunner runner(system, settings, strStatsFile);
    return runner.Run();
}

} // namespace

int main(int argc, char** argv)
{
    return tools::RunGuarded("dp_ptybus", [&] { return Run(argc, argv); });
}
