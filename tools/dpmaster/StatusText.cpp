#include "tools/dpmaster/StatusText.h"

#include "dp/services/DiagnosisText.h"

#include <cstdio>

namespace dpmaster
{

std::string FormatStatus(const dp::CDpMaster& master, const std::string& strPort)
{
    const dp::SMasterCounters& counters = master.Counters();
    const dp::SLineCounters& line = master.LineCounters();
    char szLine[512];
    std::string strText;
    std::snprintf(
        szLine, sizeof szLine,
        "bus: %s at %u bit/s, master address %u, mode %s\n"
        "cycles: %llu, last %.3f ms, longest %.3f ms, bound %.3f ms; Global_Control sent %u\n"
        "line: requests %u, bytes dropped %u, echoes %u, other stations %u, invalid answers %u, "
        "stray E5 %u, busy %u, answers in doubt %u\n",
        strPort.c_str(), master.Config().bus.dwBaudRate, master.Config().byMasterAddress,
        BoardMasterModeText(master.Mode()), static_cast<unsigned long long>(counters.qwCycles),
        counters.qwLastCycleNs / 1e6, counters.qwMaxCycleNs / 1e6, master.CycleBoundNs() / 1e6,
        counters.dwGlobalControls, line.dwRequests, line.dwDroppedBytes, line.dwEchoes,
        line.dwForeign, line.dwInvalidAnswers, line.dwStrayShortAcks, line.dwBusyLine,
        line.dwAnswersInDoubt);
    strText += szLine;
    for (std::size_t i = 0; i < master.SlaveCount(); ++i)
    {
        const dp::SSlaveConfig& config = master.Config().slaves[i];
        const dp::SMasterSlaveState& status = master.Slave(i);
        const dp::SSlaveCounters& c = status.counters;
        std::snprintf(
            szLine, sizeof szLine,
            "slave %u: %s%s%s; ident 0x%04X, %u in / %u out; exchanges %u, retries %u, "
            "no answer %u, bad answers %u, restarts %u, diagnoses %u, state lines not shown %u\n",
            config.byAddress, BoardSlaveStateText(status.eState),
            status.strProblem.empty() ? "" : " (",
            status.strProblem.empty() ? "" : (status.strProblem + ")").c_str(), config.wIdent,
            config.byInputLength, config.byOutputLength, c.dwExchanges, c.dwRetries, c.dwNoAnswer,
            c.dwBadAnswers, c.dwRestarts, c.dwDiagnoses, c.dwUnshownStateLines);
        strText += szLine;
        if (status.byDiagLength != 0)
        {
            strText += "  diagnosis:";
            for (std::size_t b = 0; b < status.byDiagLength; ++b)
            {
                std::snprintf(szLine, sizeof szLine, " %02x", status.abyDiag[b]);
                strText += szLine;
            }
            strText += "\n";
            dp::SSlaveDiag diag;
            if (dp::DecodeSlaveDiag(dp::ByteView(status.abyDiag, status.byDiagLength), diag))
                strText += "  in words: " + dp::DiagnosisText(diag, &config.diagTexts) + "\n";
        }
    }
    return strText;
}

} // namespace dpmaster
