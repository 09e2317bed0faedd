// Opening and closing the board registration: the learning walk over the slave list, the
// registration with the slaves' modes, the watchdog and the first evaluation of slave states.
#include "dpcomm/DPCommunication.h"

#include "board/BoardStates.h"
#include "board/BoardTable.h"
#include "trace/SessionNames.h"
#include "trace/TraceApi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace
{

constexpr char kSemaphoreName[] = "SemSyncTest";

thread_local teErrorNumber g_errorSink; // stands in for an error pointer left null

} // namespace

CDPCommunication::CDPCommunication(std::uint8_t byBoard)
    : m_byBoard(0), m_byHandle(0), m_byRegTag(0), m_byHandleExt(0),
      m_byNumberOfSlaves(0), m_abySlaveAddr{}, m_byTimeWatchdog(0), m_hSemSyncTest(nullptr),
      m_pTracer(nullptr), m_byListedSlaves(0), m_awLenIn{}, m_awLenOut{}, m_bStatesRefreshed(false)
{
    char szTraceName[tracenames::kSessionNameSize];
    tracenames::ComposeDPComSession(szTraceName, byBoard);
    m_pTracer = CreateTracer(szTraceName, tracenames::kDPComWindowClass, TIMESTAMP_CLOCK, 0);
    TraceChecked(m_pTracer, 100, "CDPCom: Enter constructor for board %d.\n", byBoard);

    m_byBoard = byBoard;
    m_byRegTag = kBoardRegistrationTag;
    m_hSemSyncTest = platform::CreateBoardSemaphore(kSemaphoreName);
    if (!m_hSemSyncTest)
        TraceLine(m_pTracer, -2,
                  "Mova: CDPCommunication: ***** Creating Semaphore failed (cyclic connection "
                  "test not possible) !\n");
    TraceChecked(m_pTracer, 100, "CDPCom: Leave constructor.\n");
}

CDPCommunication::~CDPCommunication()
{
    TraceChecked(m_pTracer, 100, "CDPCom: Enter destructor.\n");
    if (m_hSemSyncTest)
        platform::CloseBoardSemaphore(m_hSemSyncTest);
    m_hSemSyncTest = nullptr;
    TraceChecked(m_pTracer, 100, "CDPCom: Now closing trace and come to an end.\n");
    DeleteTracer(m_pTracer);
    m_pTracer = nullptr;
}

int CDPCommunication::InitDPCommunication(std::uint8_t byNumberOfSlaves, SConSpec* pSlaves,
                                          std::uint8_t byTimeWatchdog, teErrorNumber* pError)
{
    TraceChecked(m_pTracer, 100, "CDPCom: Enter InitDPCommunication.\n");
    pError = pError ? pError : &g_errorSink;
    *pError = DPERR_NONE;
    int nResult = 1;
    m_byNumberOfSlaves = byNumberOfSlaves;
    m_byTimeWatchdog = byTimeWatchdog;

    m_byListedSlaves = 0;
    for (int i = 0; pSlaves && i < kSlaveAddresses; ++i)
        if (pSlaves[i].byL2Addr != 0)
            m_abySlaveAddr[m_byListedSlaves++] = pSlaves[i].byL2Addr;

    // Learning: a registration without slaves, only to ask for the slave list and the lengths.
    const SBoardTable& board = BoardTable();
    SBoardRequest reg{};
    reg.byHandle = m_byBoard;
    reg.byHandleExt = kBoardRegistrationTag;
    reg.byLength = kBoardSlaveCount;
    board.pfnRegister(&reg);
    board.pfnReadSlaveList(&reg);
    std::uint8_t abyModes[sizeof reg.abyData];
    std::memcpy(abyModes, reg.abyData, sizeof abyModes);
    std::fill_n(m_awLenIn, kLearnedAddresses, 0);
    std::fill_n(m_awLenOut, kLearnedAddresses, 0);
    for (int nAddr = 0; nAddr < kLearnedAddresses; ++nAddr)
    {
        if (abyModes[nAddr] == kBoardNoSlave)
        {
            abyModes[nAddr] = kBoardModeUnused;
            continue;
        }
        abyModes[nAddr] = kBoardModeUsed;
        SBoardRequest query{};
        query.byHandle = reg.byHandle;
        query.byHandleExt = reg.byHandleExt;
        query.byL2Addr = static_cast<std::uint8_t>(nAddr);
        query.byLength = 255;
        board.pfnReadInput(&query);
        m_awLenIn[nAddr] = query.byLength;
        query.byLength = 255;
        board.pfnReadOutput(&query);
        m_awLenOut[nAddr] = query.byLength;
        SetSlaveLengths(pSlaves, static_cast<std::uint8_t>(nAddr), m_awLenIn[nAddr],
                        m_awLenOut[nAddr]);
    }
    board.pfnClose(&reg);

    std::memcpy(reg.abyData, abyModes, sizeof abyModes);
    reg.byHandle = m_byBoard;
    reg.byHandleExt = kBoardRegistrationTag;
    reg.byLength = kBoardSlaveCount;
    board.pfnRegister(&reg);
    if (reg.wError != 0)
    {
        m_byHandle = 0;
        m_byHandleExt = 0;
        nResult = 0;
        *pError = GetErrorTextNumber(reg.wError, ERRKIND_BOARD_ERROR);
        TraceLine(m_pTracer, -2,
                  "Mova: CDPCommunication: ***** Registration at KX7310 failed ! (Reason = "
                  "0x%x)\n",
                  unsigned{reg.wError});
    }
    else
    {
        m_byHandle = reg.byHandle;
        m_byHandleExt = reg.byHandleExt;
        TraceLine(m_pTracer, -1,
                  "Mova: CDPCommunication: Registration at KX7310 successful ! (Handle = %d)\n",
                  reg.byHandle);
        ActivateWatchdog();
        SBoardRequest states = HandleRequest();
        states.byLength = kBoardSlaveCount;
        board.pfnReadSlaveStates(&states);
        if (states.wError != 0)
            TraceLine(m_pTracer, -2,
                      "Mova: CDPCommunication: ***** Evaluating slave states failed ! (Reason = "
                      "0x%x)\n",
                      unsigned{states.wError});
        else
            EvaluateSlaveStates(states, pSlaves, nResult);
    }
    TraceChecked(m_pTracer, 100, "CDPCom: Leave InitDPCommunication (Result = %d).\n", nResult);
    return nResult;
}

void CDPCommunication::ActivateWatchdog()
{
    if (m_byTimeWatchdog != 0)
    {
        SBoardRequest watchdog = HandleRequest();
        watchdog.byLength = 1;
        watchdog.abyData[0] = m_byTimeWatchdog;
        BoardTable().pfnSetWatchdog(&watchdog);
        if (watchdog.wError != 0)
        {
            TraceLine(m_pTracer, -2,
                      "Mova: CDPCommunication: ***** Could not activate WatchDog ! (Reason = "
                      "0x%x)\n",
                      unsigned{watchdog.wError});
            return;
        }
    }
    TraceChecked(m_pTracer, 300, "Mova: CDPCommunication: Watchdog activated (Timer = %d) !\n",
                 m_byTimeWatchdog);
}

int CDPCommunication::ExitDPCommunication(teErrorNumber* pError)
{
    TraceChecked(m_pTracer, 100, "CDPCom: Enter ExitDPCommunication.\n");
    pError = pError ? pError : &g_errorSink;
    *pError = DPERR_NONE;
    int nResult = 1;
    // A registration that was closed is forgotten: the board may give its handle to another
    // registration later, which a second close (the protocol object's destructor closes once
    // more) must not end. A close that failed keeps the handle, so that the next one retries.
    if (m_byHandle != 0)
    {
        SBoardRequest request = HandleRequest();
        BoardTable().pfnClose(&request);
        if (request.wError == 0)
        {
            m_byHandle = 0;
            m_byHandleExt = 0;
        }
        else
        {
            nResult = 0;
            *pError = GetErrorTextNumber(request.wError, ERRKIND_BOARD_ERROR);
            TraceLine(m_pTracer, -2,
                      "Mova: CDPCommunication: ***** Closing the dp communication to KX7310 "
                      "failed ! (Reason = 0x%x)\n",
                      unsigned{request.wError});
        }
    }
    TraceChecked(m_pTracer, 100, "CDPCom: Leave ExitDPCommunication (Result = %d).\n", nResult);
    return nResult;
}

void CDPCommunication::SetSlaveLengths(SConSpec* pSlaves, std::uint8_t byL2Addr,
                                       std::uint16_t wLenIn, std::uint16_t wLenOut)
{
    // A slave count beyond the table's used entries must not walk past them.
    int nEntries = std::min<int>(m_byNumberOfSlaves, kSlaveAddresses);
    for (int i = 0; pSlaves && i < nEntries; ++i)
    {
        if (pSlaves[i].byL2Addr == byL2Addr)
        {
            pSlaves[i].wLenIn = wLenIn;
            pSlaves[i].wLenOut = wLenOut;
            return;
        }
    }
}

teErrorNumber CDPCommunication::GetErrorTextNumber(std::uint16_t wValue, std::int32_t nKind)
{
    TraceChecked(m_pTracer, 420,
                 "Mova: CDPCommunication: Entering GetErrorTextNumber (DPErrorNo = 0x%x).\n",
                 unsigned{wValue});
    teErrorNumber eNumber = MapErrorNumber(wValue, nKind);
    TraceChecked(m_pTracer, 420,
                 "Mova: CDPCommunication: Leaving GetErrorTextNumber (ComClassErrNo = %d).\n",
                 static_cast<int>(eNumber));
    return eNumber;
}

void CDPCommunication::EvaluateSlaveStates(const SBoardRequest& states, SConSpec* pSlaves,
                                           int& nResult)
{
    // A board that reports more entries than the table has slave addresses is cut to them.
    int nEntries = std::min<int>(states.byLength, kSlaveAddresses);
    for (int i = 0; pSlaves && i < nEntries; ++i)
        pSlaves[i].wState =
            static_cast<std::uint16_t>(GetErrorTextNumber(states.abyData[i], ERRKIND_SLAVE_STATE));
    for (int i = 0; i < ListedSlaveCount(); ++i)
    {
        std::uint8_t byAddr = m_abySlaveAddr[i];
        // No state list entry exists for an address beyond the slave addresses.
        if (byAddr >= kSlaveAddresses)
            continue;
        std::uint8_t byState = states.abyData[byAddr];
        if (!IsSlaveExchanging(byState))
        {
            nResult = 0;
            TraceChecked(m_pTracer, 99,
                         "Mova: CDPCommunication: Connection to Slave (L2Addr = %d) disturbed !\n",
                         byAddr);
        }
    }
}

int CDPCommunication::ListedSlaveCount() const
{
    // A slave count above the configured entries would read addresses of an earlier opening.
    return std::min(m_byNumberOfSlaves, m_byListedSlaves);
}

SBoardRequest CDPCommunication::HandleRequest() const
{
    SBoardRequest request{};
    request.byHandle = m_byHandle;
    request.byHandleExt = m_byHandleExt;
    return request;
}
