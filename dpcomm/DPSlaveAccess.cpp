// The exchanges: reading a slave's inputs, reading back the outputs held for it, writing its
// outputs, and the connection test over all slaves. Each holds the board semaphore throughout,
// so exchanges of every process run one at a time.
#include "board/BoardStates.h"
#include "board/BoardTable.h"
#include "dpcomm/DPCommunication.h"
#include "trace/TraceApi.h"

#include <algorithm>
#include <cstring>

namespace
{

thread_local teErrorNumber g_errorSink; // stands in for an error pointer left null

} // namespace

// The words in which the two reads trace, and the board call that tells them apart.
struct CDPCommunication::SReadWords
{
    const char* pszEnter;
    const char* pszBoardError;
    const char* pszSlaveState;
    const char* pszMasterMode;
    const char* pszRelease;
    const char* pszLeave;
    PFN_BOARD_OPERATION SBoardTable::*pfnOperation;
    const std::uint16_t* pwLearnedLength;
};

int CDPCommunication::ReadFromDPSlave(std::uint8_t byL2Addr, void* pDest, teErrorNumber* pError)
{
    const SReadWords words{
        "CDPCom: Enter ReadFromDPSlave (L2Addr = %d).\n",
        "Mova: CDPCommunication: ***** Reading (addr %d) data from KX7310 failed ! (Reason = "
        "0x%x)\n",
        "Mova: CDPCommunication: ***** Reading (addr %d) failed ! Slave in wrong operation mode "
        "(State = 0x%x)\n",
        "Mova: CDPCommunication: ***** Reading (addr %d) failed ! Master not operational (State "
        "= 0x%x)\n",
        "Mova: CDPCommunication: ***** Reading: Cannot release semaphore !\n",
        "CDPCom: Leave ReadFromDPSlave (Result = %d).\n",
        &SBoardTable::pfnReadInput,
        m_awLenIn};
    return ReadSlaveImage(words, byL2Addr, pDest, pError);
}

int CDPCommunication::ReadOutForDPSlave(std::uint8_t byL2Addr, void* pDest, teErrorNumber* pError)
{
    const SReadWords words{
        "CDPCom: Enter ReadOutForDPSlave (L2Addr = %d).\n",
        "Mova: CDPCommunication: ***** ReadOut (addr %d) data from KX7310 failed ! (Reason = "
        "0x%x)\n",
        "Mova: CDPCommunication: ***** ReadOut (addr %d) failed ! Slave in wrong operation mode "
        "(State = 0x%x)\n",
        "Mova: CDPCommunication: ***** ReadOut (addr %d) failed ! Master not operational (State "
        "= 0x%x)\n",
        "Mova: CDPCommunication: ***** ReadOut: Cannot release semaphore !\n",
        "CDPCom: Leave ReadOutForDPSlave (Result = %d).\n",
        &SBoardTable::pfnReadOutput,
        m_awLenOut};
    return ReadSlaveImage(words, byL2Addr, pDest, pError);
}

int CDPCommunication::ReadSlaveImage(const SReadWords& words, std::uint8_t byL2Addr, void* pDest,
                                     teErrorNumber* pError)
{
    TraceChecked(m_pTracer, 100, words.pszEnter, byL2Addr);
    pError = pError ? pError : &g_errorSink;
    int nResult = 1;
    platform::WaitBoardSemaphore(m_hSemSyncTest);
    *pError = DPERR_NONE;

    SBoardRequest request = HandleRequest();
    request.byL2Addr = byL2Addr;
    request.byLength = 255;
    (BoardTable().*words.pfnOperation)(&request);

    if (request.wError != 0)
    {
        nResult = 0;
        *pError = GetErrorTextNumber(request.wError, ERRKIND_BOARD_ERROR);
        TraceLine(m_pTracer, -2, words.pszBoardError, byL2Addr, unsigned{request.wError});
    }
    else if (!IsSlaveExchanging(request.bySlaveState))
    {
        nResult = 0;
        *pError = GetErrorTextNumber(request.bySlaveState, ERRKIND_SLAVE_STATE);
        TraceLine(m_pTracer, -2, words.pszSlaveState, byL2Addr, unsigned{request.bySlaveState});
    }
    else if (!IsMasterOperational(request.byMasterState))
    {
        nResult = 0;
        *pError = GetErrorTextNumber(request.byMasterState, ERRKIND_MASTER_MODE);
        TraceLine(m_pTracer, -2, words.pszMasterMode, byL2Addr, unsigned{request.byMasterState});
    }
    else
    {
        // The host's buffer is sized by the length learned at opening; a longer answer is cut.
        std::uint16_t wLearned = byL2Addr < kLearnedAddresses ? words.pwLearnedLength[byL2Addr] : 0;
        std::uint32_t dwCopy = std::min<std::uint32_t>(request.byLength, wLearned);
        if (pDest)
        {
            std::memcpy(pDest, request.abyData, dwCopy);
            TraceHexDump(m_pTracer, 200, pDest, dwCopy);
        }
        if (request.byFlags & kBoardFlagWatchdogExpired)
            RetriggerWatchdog(request);
    }
    ReleaseSemaphore(words.pszRelease);
    TraceChecked(m_pTracer, 100, words.pszLeave, nResult);
    return nResult;
}

void CDPCommunication::RetriggerWatchdog(SBoardRequest& request)
{
    TraceChecked(m_pTracer, 300,
                 "Mova: CDPCommunication: Watchdog expired. Try to reset watchdog !\n");
    if (m_byTimeWatchdog != 0)
    {
        request.byLength = 1;
        request.abyData[0] = m_byTimeWatchdog;
        BoardTable().pfnSetWatchdog(&request);
    }
    if (request.wError != 0)
        TraceLine(m_pTracer, -2,
                  "Mova: CDPCommunication: ***** Could not activate WatchDog ! (Reason = 0x%x)\n",
                  unsigned{request.wError});
    else
        TraceChecked(m_pTracer, 300, "Mova: CDPCommunication: Reseting watchdog successful.\n");
}

void CDPCommunication::SetWatchdogAfterWriteExpired()
{
    std::uint16_t wError = kBoardErrorWatchdogExpired;
    if (m_byTimeWatchdog != 0)
    {
        SBoardRequest watchdog = HandleRequest();
        watchdog.byLength = 1;
        watchdog.abyData[0] = m_byTimeWatchdog;
        BoardTable().pfnSetWatchdog(&watchdog);
        wError = watchdog.wError;
    }
    if (wError != 0)
        TraceLine(m_pTracer, -2,
                  "Mova: CDPCommunication: ***** Could not activate WatchDog ! (Reason = 0x%x)\n",
                  unsigned{wError});
    else
        TraceChecked(m_pTracer, 300, "Mova: CDPCommunication: Reseting watchdog successful.\n");
}

int CDPCommunication::WriteToDPSlave(std::uint8_t byL2Addr, std::uint8_t byCount,
                                     const void* pSource, teErrorNumber* pError)
{
    TraceChecked(m_pTracer, 100, "CDPCom: Enter WriteToDPSlave (L2Addr = %d).\n", byL2Addr);
    pError = pError ? pError : &g_errorSink;
    // Without the host's bytes there is nothing to send: sending zeros instead would drive
    // real outputs.
    if (!pSource && byCount != 0)
    {
        *pError = DPERR_UNKNOWN;
        TraceChecked(m_pTracer, 100, "CDPCom: Leave WriteToDPSlave (Result = %d).\n", 0);
        return 0;
    }
    platform::WaitBoardSemaphore(m_hSemSyncTest);
    *pError = DPERR_NONE;
    int nResult = 1;
    for (int nAttempt = 0; nAttempt < kWriteAttempts; ++nAttempt)
    {
        SBoardRequest request = HandleRequest();
        request.byL2Addr = byL2Addr;
        request.byLength = byCount;
        nResult = 1;
        if (byCount != 0)
            std::memcpy(request.abyData, pSource, byCount);
        TraceHexDump(m_pTracer, 200, request.abyData, request.byLength);
        BoardTable().pfnWriteOutput(&request);

        if (request.wError != 0)
        {
            nResult = 0;
            *pError = GetErrorTextNumber(request.wError, ERRKIND_BOARD_ERROR);
            TraceLine(m_pTracer, -2,
                      "Mova: CDPCommunication: ***** Writing (addr %d) data to KX7310 failed ! "
                      "(Reason = 0x%x)\n",
                      byL2Addr, unsigned{request.wError});
            if (request.wError != kBoardErrorWatchdogExpired)
                break;
            SetWatchdogAfterWriteExpired();
            continue;
        }
        if (!IsSlaveExchanging(request.bySlaveState))
        {
            nResult = 0;
            *pError = GetErrorTextNumber(request.bySlaveState, ERRKIND_SLAVE_STATE);
            TraceLine(m_pTracer, -2,
                      "Mova: CDPCommunication: ***** Writing (addr %d) failed ! Slave in wrong "
                      "operation mode (State = 0x%x)\n",
                      byL2Addr, unsigned{request.bySlaveState});
        }
        else if (!IsMasterOperational(request.byMasterState))
        {
            nResult = 0;
            *pError = GetErrorTextNumber(request.byMasterState, ERRKIND_MASTER_MODE);
            TraceLine(m_pTracer, -2,
                      "Mova: CDPCommunication: ***** Writing (addr %d) failed ! Master not "
                      "operational (State = 0x%x)\n",
                      byL2Addr, unsigned{request.byMasterState});
        }
        break;
    }
    ReleaseSemaphore("Mova: CDPCommunication: ***** Writing: Cannot release semaphore !\n");
    TraceChecked(m_pTracer, 100, "CDPCom: Leave WriteToDPSlave (Result = %d).\n", nResult);
    return nResult;
}

int CDPCommunication::TestDPConnections(SConSpec* pSlaves, teErrorNumber* pError)
{
    TraceChecked(m_pTracer, 100, "CDPCom: Enter TestDPConnections.\n");
    pError = pError ? pError : &g_errorSink;
    int nResult = 1;
    platform::WaitBoardSemaphore(m_hSemSyncTest);
    *pError = DPERR_NONE;

    SBoardRequest states = HandleRequest();
    states.byLength = kBoardSlaveCount;
    BoardTable().pfnReadSlaveStates(&states);
    m_bStatesRefreshed = states.wError == 0;
    if (states.wError != 0)
    {
        nResult = 0;
        *pError = GetErrorTextNumber(states.wError, ERRKIND_BOARD_ERROR);
        TraceLine(m_pTracer, -2,
                  "Mova: CDPCommunication: ***** Evaluating slave states failed ! (Reason = "
                  "0x%x)\n",
                  unsigned{states.wError});
    }
    else
    {
        // A master that is not operational fails the test, but the table is still refreshed.
        if (!IsMasterOperational(states.byMasterState))
        {
            nResult = 0;
            *pError = GetErrorTextNumber(states.byMasterState, ERRKIND_MASTER_MODE);
            TraceLine(m_pTracer, -2,
                      "Mova: CDPCommunication: ***** Testing failed ! Master not operational "
                      "(State = 0x%x)\n",
                      unsigned{states.byMasterState});
        }
        EvaluateSlaveStates(states, pSlaves, nResult);
        if (states.byFlags & kBoardFlagWatchdogExpired)
            RetriggerWatchdog(states);
    }
    ReleaseSemaphore("Mova: CDPCommunication: ***** Testing: Cannot release semaphore !\n");
    TraceChecked(m_pTracer, 100, "CDPCom: Leave TestDPConnections (Result = %d).\n", nResult);
    return nResult;
}

void CDPCommunication::ReleaseSemaphore(const char* pszFailureLine)
{
    if (!platform::ReleaseBoardSemaphore(m_hSemSyncTest))
        TraceLine(m_pTracer, -2, "%s", pszFailureLine);
}
