#include "dp/status/MasterStatusText.h"

#include "include/MovaResults.h"

#include <cstdio>

namespace dp
{

namespace
{

std::string Format(const char* pszFormat, auto... args)
{
    char szText[1024];
    std::snprintf(szText, sizeof szText, pszFormat, args...);
    return szText;
}

void AppendSlave(std::string& strText, const SStatusSlave& slave)
{
    const SStatusSlaveCounters& c = slave.counters;
    const std::string strReason = slave.szReason[0] == '\0' ? "" : Format(" (%s)", slave.szReason);
    // A slave another master owns: whose it is, as its last diagnosis said.
    std::string strObserved;
    if ((slave.byObserved & kStatusObserved) != 0)
        strObserved =
            (slave.byObserved & kStatusOwnerMask) == kStatusOwnerUnknown
                ? " (observed, owner not known)"
                : Format(" (observed, owned by master %u)", slave.byObserved & kStatusOwnerMask);
    strText += Format("  slave %u%s: %s%s; ident 0x%04X, %u in / %u out; exchanges %u, retries %u, "
                      "no answer %u, bad answers %u, restarts %u, diagnoses %u, state lines not "
                      "shown %u\n",
                      slave.byAddress, strObserved.c_str(), MovaSlaveStateText(slave.byState),
                      strReason.c_str(), slave.wIdent, slave.byInputLength, slave.byOutputLength,
                      c.dwExchanges, c.dwRetries, c.dwNoAnswer, c.dwBadAnswers, c.dwRestarts,
                      c.dwDiagnoses, c.dwUnshownStateLines);
    if (slave.byDiagLength == 0)
        return;
    strText += "    diagnosis:";
    for (std::size_t b = 0; b < slave.byDiagLength; ++b)
        strText += Format(" %02x", slave.abyDiag[b]);
    strText += "\n";
    if (slave.szDiagWords[0] != '\0')
        strText += std::string("    in words: ") + slave.szDiagWords + "\n";
}

// What a monitor heard: the line, then every station seen with its health.
std::string MonitorText(const SMasterStatus& status)
{
    const SStatusHeader& h = status.header;
    const SStatusMonitor& m = status.monitor;
    std::string strText = Format("DP monitor: listening, process %d, status of %s ago%s\n", h.nPid,
                                 AgeText(status.qwAgeMs).c_str(),
                                 status.qwAgeMs >= StaleAfterMs(h)
                                     ? " (the monitor has not updated it since: it may hang)"
                                     : "");
    strText += Format("  bus: %s at %u bit/s (the port took %u), never sending; slaves %s; "
                      "the master's mode %s\n",
                      h.szPort, h.dwBaudRate, h.dwActualRate,
                      m.dwFromBusFile != 0 ? "from the bus file" : "learnt from the line",
                      MovaMasterModeText(h.byMode));
    strText += Format("  line: telegrams %u, unanswered %u, answers in doubt %u, stray answers "
                      "%u, length mismatches %u, unknown slaves %u, skipped bytes %u, bad check "
                      "sums %u (%u outside any answer window), bad frames %u, cut short %u\n",
                      m.dwTelegrams, m.dwUnanswered, m.dwAnswersInDoubt, m.dwStrayAnswers,
                      m.dwLengthMismatches, m.dwUnknownSlaves, m.dwSkippedBytes, m.dwBadCheckSums,
                      m.dwBadCheckSumsOutside, m.dwBadFrames, m.dwTruncated);
    for (std::uint32_t a = 0; a < kStatusStations; ++a)
    {
        const SStatusStation& st = m.aStations[a];
        if (st.byKind == StationUnseen)
            continue;
        std::string strWhat;
        if (st.byKind == StationMaster)
            strWhat = st.dwRotationUs != 0
                          ? Format("master %u: token rotation %.3f ms", a, st.dwRotationUs / 1e3)
                          : Format("master %u", a);
        else
            strWhat = Format("slave %u%s: %.1f exchanges/s", a,
                             st.byMaster == 255 ? "" : Format(" of master %u", st.byMaster).c_str(),
                             st.dwExchangesPerKs / 1e3);
        strText += Format("  %s; requests %u, no answer %u, repeats %u, bad check sums %u, "
                          "answers in doubt %u, diagnosis requests %u\n",
                          strWhat.c_str(), st.dwRequests, st.dwNoAnswer, st.dwRepeats,
                          st.dwBadCheckSums, st.dwAnswersInDoubt, st.dwDiagRequests);
    }
    for (const SStatusSlave& slave : status.aSlaves)
        AppendSlave(strText, slave);
    return strText;
}

void AppendRing(std::string& strText, const SStatusHeader& h)
{
    const SStatusRing& r = h.ring;
    if (r.byState == 0)
        return;
    static const char* const kapszState[] = {"", "listening", "ready for the ring", "in the ring",
                                             "stopped"};
    static const char* const kapszFault[] = {"", ": another station sends with its address",
                                             ": a second token while it held one"};
    strText +=
        Format("  ring: station %u %s%s, HSA %u; rotation last %.3f ms, longest %.3f ms, "
               "target %.3f ms\n",
               h.byMasterAddress, kapszState[r.byState], kapszFault[r.byFault], r.byHighestAddress,
               r.dwLastRotationUs / 1e3, r.dwLongestRotationUs / 1e3, r.dwTargetRotationUs / 1e3);
    strText += Format("  tokens: received %u, passed %u, lost %u, claimed %u, passes repeated %u, "
                      "successors dropped %u, refused %u, taken from outside the LAS %u, beyond "
                      "the HSA %u, amid noise %u; FDL status answered %u, GAP asked %u, bad "
                      "answers %u, masters taken in %u\n",
                      r.dwTokensReceived, r.dwTokensPassed, r.dwTokensLost, r.dwTokensClaimed,
                      r.dwPassRepeats, r.dwStationsDropped, r.dwTokensRefused,
                      r.dwTokensFromOutside, r.dwTokensBeyondHsa, r.dwTokensInNoise,
                      r.dwStatusAnswered, r.dwGapPolls, r.dwBadStatusAnswers, r.dwTakenIn);
    static const char* const kapszKind[] = {"", "slave", "master not ready", "master ready",
                                            "master in the ring"};
    std::string strLas, strFound;
    for (unsigned n = 0; n <= r.byHighestAddress && n < sizeof r.abyStations; ++n)
    {
        const std::uint8_t byKind = r.abyStations[n];
        if (byKind == StatusStationMasterInRing)
            strLas += Format(" %u", n);
        else if (byKind != StatusStationUnknown && byKind <= kStatusStationMax)
            strFound += Format(" %u %s,", n, kapszKind[byKind]);
    }
    if (!strFound.empty())
        strFound.pop_back();
    strText +=
        "  active stations (LAS):" + (strLas.empty() ? std::string(" none") : strLas) +
        "; found by the GAP maintenance:" + (strFound.empty() ? std::string(" none") : strFound) +
        "\n";
}

} // namespace

std::string AgeText(std::uint64_t qwMs)
{
    const std::uint64_t qwSeconds = qwMs / 1000;
    if (qwMs < 10000)
        return Format("%.1f s", static_cast<double>(qwMs) / 1000.0);
    if (qwSeconds < 60)
        return Format("%llu s", static_cast<unsigned long long>(qwSeconds));
    if (qwSeconds < 3600)
        return Format("%llu min %llu s", static_cast<unsigned long long>(qwSeconds / 60),
                      static_cast<unsigned long long>(qwSeconds % 60));
    if (qwSeconds < 86400)
        return Format("%llu h %llu min", static_cast<unsigned long long>(qwSeconds / 3600),
                      static_cast<unsigned long long>(qwSeconds % 3600 / 60));
    return Format("%llu d %llu h", static_cast<unsigned long long>(qwSeconds / 86400),
                  static_cast<unsigned long long>(qwSeconds % 86400 / 3600));
}

std::uint64_t StaleAfterMs(const SStatusHeader& header)
{
    const std::uint64_t qwBoundMs = header.dwCycleBoundUs / 1000;
    const std::uint64_t qwAfter = 2 * qwBoundMs + 2 * kStatusIntervalMs;
    return qwAfter < 3000 ? 3000 : qwAfter;
}

std::string FormatMasterStatus(const SMasterStatus& status)
{
    switch (status.eStatus)
    {
    case teMasterStatus::None:
        return "DP master: none (" + status.strWhy + ")\n";
    case teMasterStatus::Refused:
        return "DP master: status not readable: " + status.strWhy + "\n";
    case teMasterStatus::Changing:
        return "DP master: status changing, try again (" + status.strWhy + ")\n";
    case teMasterStatus::Gone:
        // A process that runs but does not serve the board is no master that went: its block
        // may be anybody's.
        if (status.eGone == teMasterGone::NotServing)
            return Format("DP master: none serving (the status block's process %d does not "
                          "serve board %u; its status of %s ago is not shown)\n",
                          status.header.nPid, status.header.byBoard,
                          AgeText(status.qwAgeMs).c_str());
        return Format("DP master: gone since %s (process %d %s; its last status is not shown)\n",
                      AgeText(status.qwAgeMs).c_str(), status.header.nPid,
                      status.eGone == teMasterGone::Ended ? "ended" : "no longer runs");
    case teMasterStatus::Live:
        break;
    }
    if (status.bMonitor)
        return MonitorText(status);
    const SStatusHeader& h = status.header;
    std::string strText = Format("DP master: running, process %d, status of %s ago%s\n", h.nPid,
                                 AgeText(status.qwAgeMs).c_str(),
                                 status.qwAgeMs >= StaleAfterMs(h)
                                     ? " (the master has not updated it since: it may hang)"
                                     : "");
    strText +=
        Format("  bus: %s at %u bit/s (the port took %u), master address %u, mode %s\n", h.szPort,
               h.dwBaudRate, h.dwActualRate, h.byMasterAddress, MovaMasterModeText(h.byMode));
    const unsigned long long qwCycles =
        static_cast<unsigned long long>(h.dwCyclesHigh) << 32 | h.dwCyclesLow;
    strText += Format("  cycles: %llu, last %.3f ms, longest %.3f ms, bound %.3f ms; "
                      "Global_Control sent %u\n",
                      qwCycles, h.dwLastCycleUs / 1e3, h.dwLongestCycleUs / 1e3,
                      h.dwCycleBoundUs / 1e3, h.dwGlobalControls);
    const SStatusLineCounters& l = h.line;
    strText += Format(
        "  line: requests %u, bytes dropped %u, echoes %u, other stations %u, invalid "
        "answers %u, stray E5 %u, busy %u, answers in doubt %u, skipped bytes %u, bad "
        "check sums %u\n",
        l.dwRequests, l.dwDroppedBytes, l.dwEchoes, l.dwForeign, l.dwInvalidAnswers,
        l.dwStrayShortAcks, l.dwBusyLine, h.dwAnswersInDoubt, l.dwSkippedBytes, l.dwBadCheckSums);
    AppendRing(strText, h);
    for (const SStatusSlave& slave : status.aSlaves)
        AppendSlave(strText, slave);
    return strText;
}

} // namespace dp
