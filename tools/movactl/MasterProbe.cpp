#include "tools/movactl/MasterProbe.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"

#include "board/BoardStates.h"

#include <cstdio>

namespace movactl
{

namespace
{

// "mode 0xC0, operate" for the error number of a master mode (50 to 53: the modes 0x00, 0x40,
// 0x80 and 0xC0 in their order).
std::string MasterModeName(std::int32_t nErrorNumber)
{
    if (nErrorNumber < DPERR_MASTER_OFFLINE || nErrorNumber > DPERR_MASTER_OPERATE)
        return "mode unknown";
    const auto byMode = static_cast<std::uint8_t>((nErrorNumber - DPERR_MASTER_OFFLINE) * 0x40);
    char szText[64];
    std::snprintf(szText, sizeof szText, "mode 0x%02X, %s", byMode, BoardMasterModeText(byMode));
    return szText;
}

} // namespace

// A connection test reads the slave states, and the library reports a slave that exchanges
// data as connected whatever mode the master is in; a read or write is what the master's mode
// refuses. So one read from a connected slave says whether the plant can be worked with.
SMasterState ProbeMaster(CBoardSession& session, const std::vector<SJobParam>& aRecords)
{
    const SJobParam* pConnected = nullptr;
    for (const SJobParam& record : aRecords)
    {
        if (record.lResult == MOVA_RESULT_DONE)
        {
            pConnected = &record;
            break;
        }
    }
    if (pConnected == nullptr)
    {
        // The test of a slave that is not exchanging data carries the master's mode, if the
        // board reported one that does not operate.
        for (const SJobParam& record : aRecords)
        {
            std::int32_t nErrorNumber = MOVA_RESULT_BOARD_BASE - record.lResult;
            if (nErrorNumber >= 50 && nErrorNumber <= 53)
                return {false, std::string("not operational (") + MasterModeName(nErrorNumber) +
                                   "): the connection test answered " +
                                   DescribeResult(record.lResult)};
        }
        return {false, "unknown, no slave exchanges data to read from"};
    }
    std::uint8_t byAddress = pConnected->tsConSpec.byL2Addr;
    bool bOutputs = pConnected->tsConSpec.wLenIn == 0;
    std::uint16_t wLength = bOutputs ? pConnected->tsConSpec.wLenOut : pConnected->tsConSpec.wLenIn;
    CVariableBatch probe = MakeReadBatch(session, {WholeImage(byAddress, wLength, bOutputs)});
    std::string strSlave = "a read of slave " + std::to_string(byAddress);
    if (!ReadVariables(session, probe))
        return {false, "unknown, " + strSlave + " could not be put"};
    std::int32_t lResult = probe.GetResult(0);
    if (lResult == MOVA_RESULT_DONE)
        return {true, "operational (" + strSlave + " went through)"};
    std::int32_t nErrorNumber = MOVA_RESULT_BOARD_BASE - lResult;
    if (nErrorNumber >= 50 && nErrorNumber <= 53)
        return {false, std::string("not operational (") + MasterModeName(nErrorNumber) +
                           "): " + strSlave + " answered " + DescribeResult(lResult) +
                           "; reads and writes fail until the master operates"};
    return {false, "unknown, " + strSlave + " answered " + DescribeResult(lResult)};
}

} // namespace movactl
