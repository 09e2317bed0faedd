// The eight exported operations of the simulated board. Each call first meets the faults
// injected for its operation (a delay is slept out without the board's lock, so the other
// processes go on), then does its work under the lock.
#include "board/BoardOperations.h"

#include "sim/BoardErrors.h"
#include "sim/BoardLock.h"
#include "sim/Faults.h"
#include "sim/Operations.h"
#include "sim/SimControl.h"
#include "sim/Watchdog.h"

#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace korix
{

namespace
{

bool ReturnsData(teOperation eOperation)
{
    return eOperation == OpBoardReadInput || eOperation == OpBoardReadOutput ||
           eOperation == OpBoardReadSlaveStates || eOperation == OpBoardReadSlaveList;
}

std::uint16_t Dispatch(teOperation eOperation, SBoardRequest& request, PFN_PERFORM pfnPerform)
{
    request.bySlaveState = 0;
    request.byMasterState = 0;
    request.byFlags = 0;
    // Registration names the board in byHandle; every later handle carries it there too.
    std::uint8_t byBoard = request.byHandle;
    if (byBoard == 0)
        return eOperation == OpBoardRegister ? BoardErrNoSuchBoard : BoardErrUnknownHandle;

    STakenFault fault{};
    {
        CBoardLock lock(byBoard);
        if (lock.State() == nullptr)
            return BoardErrUnavailable;
        fault = TakeFault(lock.State()->aFaults[eOperation]);
    }
    if (fault.dwDelayMs != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.dwDelayMs));

    CBoardLock lock(byBoard);
    SBoardState* pState = lock.State();
    if (pState == nullptr)
        return BoardErrUnavailable;
    std::uint32_t dwNow = platform::ReadTickCount();
    ExpireOverdueWatchdogs(*pState, dwNow);
    if (fault.wErrorWord != 0)
    {
        AnswerInjected(*pState, request, eOperation, dwNow);
        return fault.wErrorWord;
    }
    return pfnPerform(*pState, request, dwNow);
}

std::int32_t RunOperation(teOperation eOperation, SBoardRequest* pRequest, PFN_PERFORM pfnPerform)
{
    if (pRequest == nullptr)
        return BoardErrUnavailable;
    SBoardRequest& request = *pRequest;
    try
    {
        request.wError = Dispatch(eOperation, request, pfnPerform);
    }
    catch (...)
    {
        request.wError = BoardErrUnavailable;
    }
    if (request.wError != BoardOk && eOperation == OpBoardRegister)
    {
        request.byHandle = 0;
        request.byHandleExt = 0;
    }
    if (request.wError != BoardOk && ReturnsData(eOperation))
        request.byLength = 0;
    return request.wError;
}

} // namespace

} // namespace korix

extern "C"
{

    KORIX_SIM_API std::int32_t KORIX_CALL BoardRegister(SBoardRequest* pRequest)
    {
        return korix::RunOperation(korix::OpBoardRegister, pRequest, korix::PerformRegister);
    }

    KORIX_SIM_API std::int32_t KORIX_CALL BoardReadSlaveList(SBoardRequest* pRequest)
    {
        return korix::RunOperation(korix::OpBoardReadSlaveList, pRequest,
                                   korix::PerformReadSlaveList);
    }

    KORIX_SIM_API std::int32_t KORIX_CALL BoardReadInput(SBoardRequest* pRequest)
    {
        return korix::RunOperation(korix::OpBoardReadInput, pRequest, korix::PerformReadInput);
    }

    KORIX_SIM_API std::int32_t KORIX_CALL BoardReadOutput(SBoardRequest* pRequest)
    {
        return korix::RunOperation(korix::OpBoardReadOutput, pRequest, korix::PerformReadOutput);
    }

    KORIX_SIM_API std::int32_t KORIX_CALL BoardWriteOutput(SBoardRequest* pRequest)
    {
        return korix::RunOperation(korix::OpBoardWriteOutput, pRequest, korix::PerformWriteOutput);
    }

    KORIX_SIM_API std::int32_t KORIX_CALL BoardReadSlaveStates(SBoardRequest* pRequest)
    {
        return korix::RunOperation(korix::OpBoardReadSlaveStates, pRequest,
                                   korix::PerformReadSlaveStates);
    }

    KORIX_SIM_API std::int32_t KORIX_CALL BoardSetWatchdog(SBoardRequest* pRequest)
    {
        return korix::RunOperation(korix::OpBoardSetWatchdog, pRequest, korix::PerformSetWatchdog);
    }

    KORIX_SIM_API std::int32_t KORIX_CALL BoardClose(SBoardRequest* pRequest)
    {
        return korix::RunOperation(korix::OpBoardClose, pRequest, korix::PerformClose);
    }

} // extern "C"
