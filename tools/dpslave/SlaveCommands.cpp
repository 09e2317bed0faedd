#include "tools/dpslave/SlaveCommands.h"

#include "tools/common/Numbers.h"

#include "dp/fdl/Telegram.h"
#include "dp/services/DpServices.h"
#include "sim/common/HexBytes.h"

#include <sstream>
#include <vector>

namespace dpslave
{

namespace
{

const char* StateName(dp::teSlaveState eState)
{
    switch (eState)
    {
    case dp::teSlaveState::WaitPrm:
        return "waiting for parameters";
    case dp::teSlaveState::WaitCfg:
        return "waiting for configuration";
    case dp::teSlaveState::DataExchange:
        return "data exchange";
    }
    return "?";
}

std::string Hex(const std::uint8_t* pby, std::size_t nCount)
{
    std::string strText;
    char szByte[4];
    for (std::size_t i = 0; i < nCount; ++i)
    {
        std::snprintf(szByte, sizeof szByte, i == 0 ? "%02x" : " %02x", pby[i]);
        strText += szByte;
    }
    return strText;
}

bool Number(const std::string& strText, std::uint64_t qwMax, std::uint64_t& qwValue)
{
    return tools::ParseNumber(strText, qwMax, qwValue);
}

bool OnOff(const std::string& strText, bool& bOn)
{
    if (strText == "on")
        bOn = true;
    else if (strText == "off")
        bOn = false;
    else
        return false;
    return true;
}

} // namespace

const char* CommandHelp()
{
    return "Commands on standard input, one per line (each answers \"ok ...\" or \"error: ...\"):\n"
           "  silent ADDR on|off       the slave answers nothing / answers again\n"
           "  late ADDR MS             the slave answers MS milliseconds late (0: on time)\n"
           "  corrupt ADDR COUNT       the next COUNT answers carry a wrong check sum\n"
           "  diag ADDR on|off         flags extended diagnosis / clears it\n"
           "  input ADDR OFFSET HEX    sets input bytes (pairs of hex digits)\n"
           "  outputs ADDR             the output bytes the slave holds\n"
           "  state ADDR               the slave's state, master and exchange count\n"
           "  counters                 requests, answers, silenced and corrupted answers\n"
           "  echo on|off              sends every byte back, as a half-duplex adapter would\n";
}

std::string RunCommandLine(const std::string& strLine, dp::CSlaveResponder& responder)
{
    std::istringstream words(strLine);
    std::vector<std::string> args;
    for (std::string strWord; words >> strWord;)
        args.push_back(strWord);
    if (args.empty())
        return "error: empty command";
    const std::string& strVerb = args[0];
    if (strVerb == "counters" && args.size() == 1)
    {
        const dp::SResponderCounters& c = responder.Counters();
        return "ok requests " + std::to_string(c.dwRequests) + " answers " +
               std::to_string(c.dwAnswers) + " silenced " + std::to_string(c.dwSilenced) +
               " corrupted " + std::to_string(c.dwCorrupted) + " skipped-bytes " +
               std::to_string(responder.ParserCounters().dwSkippedBytes);
    }
    bool bEcho = false;
    if (strVerb == "echo" && args.size() == 2 && OnOff(args[1], bEcho))
    {
        responder.SetEcho(bEcho);
        return bEcho ? "ok echo on" : "ok echo off";
    }
    std::uint64_t qwAddress = 0;
    if (args.size() < 2 || !Number(args[1], dp::kMaxStationAddress, qwAddress))
        return "error: " + strVerb + ": needs a slave address 0-" +
               std::to_string(dp::kMaxStationAddress) + " (try --help)";
    dp::CSimulatedSlave* pSlave = responder.FindSlave(static_cast<std::uint8_t>(qwAddress));
    if (pSlave == nullptr)
        return "error: no slave " + args[1] + " here";
    dp::SSlaveFaults& faults = pSlave->Faults();
    const std::string strSlave = "slave " + std::to_string(qwAddress);
    bool bOn = false;
    std::uint64_t qwValue = 0;
    if (strVerb == "silent" && args.size() == 3 && OnOff(args[2], bOn))
    {
        faults.bSilent = bOn;
        return "ok " + strSlave + (bOn ? " silent" : " answers");
    }
    if (strVerb == "late" && args.size() == 3 && Number(args[2], 60000, qwValue))
    {
        faults.dwLateMs = static_cast<std::uint32_t>(qwValue);
        return "ok " + strSlave + " answers " + args[2] + " ms late";
    }
    if (strVerb == "corrupt" && args.size() == 3 && Number(args[2], 0xFFFFFFFFu, qwValue))
    {
        faults.dwCorruptCount = static_cast<std::uint32_t>(qwValue);
        return "ok " + strSlave + ": the next " + args[2] + " answers with a wrong check sum";
    }
    if (strVerb == "diag" && args.size() == 3 && OnOff(args[2], bOn))
    {
        pSlave->FlagDiagnosis(bOn);
        return "ok " + strSlave + (bOn ? " flags diagnosis" : " diagnosis cleared");
    }
    if (strVerb == "input" && args.size() >= 4 && Number(args[2], dp::kMaxDpDataBytes - 1, qwValue))
    {
        std::string strHex;
        for (std::size_t i = 3; i < args.size(); ++i)
            strHex += args[i];
        std::vector<std::uint8_t> abyBytes;
        if (!korix::ParseHexBytes(strHex, abyBytes) || abyBytes.empty())
            return "error: input: bad hex bytes";
        if (!pSlave->SetInputs(static_cast<std::uint8_t>(qwValue), abyBytes))
            return "error: input: beyond the input length " +
                   std::to_string(pSlave->Definition().byInputLength);
        return "ok " + strSlave + " inputs set";
    }
    if (strVerb == "outputs" && args.size() == 2)
        return "ok " + Hex(pSlave->Outputs(), pSlave->Definition().byOutputLength);
    if (strVerb == "state" && args.size() == 2)
        return "ok " + strSlave + " " + StateName(pSlave->State()) + " master " +
               std::to_string(pSlave->MasterAddress()) + " exchanges " +
               std::to_string(pSlave->DataExchanges());
    return "error: cannot take \"" + strLine + "\" (try --help)";
}

} // namespace dpslave
