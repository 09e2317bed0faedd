// The one object that talks to a DP master board: registration, the slaves' image lengths,
// the watchdog, slave states, and the data exchanges, one at a time across every process under
// the board semaphore.
#pragma once

#include "dpcomm/ErrorNumber.h"
#include "include/MovaRecords.h"
#include "platform/BoardSemaphore.h"

#include <cstdint>

class CTracer;
struct SBoardRequest;

class CDPCommunication
{
public:
    static constexpr std::uint8_t kSlaveAddresses = 126; // slave addresses 0..125
    static constexpr int kLearnedAddresses = 127;        // the learning walk covers 0..126
    static constexpr int kWriteAttempts = 5;

    explicit CDPCommunication(std::uint8_t byBoard);
    ~CDPCommunication();
    CDPCommunication(const CDPCommunication&) = delete;
    CDPCommunication& operator=(const CDPCommunication&) = delete;

    int InitDPCommunication(std::uint8_t byNumberOfSlaves, SConSpec* pSlaves,
                            std::uint8_t byTimeWatchdog, teErrorNumber* pError);
    int ExitDPCommunication(teErrorNumber* pError);
    void SetSlaveLengths(SConSpec* pSlaves, std::uint8_t byL2Addr, std::uint16_t wLenIn,
                         std::uint16_t wLenOut);
    teErrorNumber GetErrorTextNumber(std::uint16_t wValue, std::int32_t nKind);

    int ReadFromDPSlave(std::uint8_t byL2Addr, void* pDest, teErrorNumber* pError);
    int ReadOutForDPSlave(std::uint8_t byL2Addr, void* pDest, teErrorNumber* pError);
    int WriteToDPSlave(std::uint8_t byL2Addr, std::uint8_t byCount, const void* pSource,
                       teErrorNumber* pError);
    int TestDPConnections(SConSpec* pSlaves, teErrorNumber* pError);
    // Whether the last TestDPConnections wrote the slave states into the table: a board that
    // refused the state list leaves what an earlier test stored, which is stale.
    bool LastTestRefreshedStates() const { return m_bStatesRefreshed; }

private:
    struct SReadWords;
    int ReadSlaveImage(const SReadWords& words, std::uint8_t byL2Addr, void* pDest,
                       teErrorNumber* pError);
    void ActivateWatchdog();
    void RetriggerWatchdog(SBoardRequest& request);
    void SetWatchdogAfterWriteExpired();
    void ReleaseSemaphore(const char* pszFailureLine);
    void EvaluateSlaveStates(const SBoardRequest& request, SConSpec* pSlaves, int& nResult);
    int ListedSlaveCount() const;
    SBoardRequest HandleRequest() const;

    std::uint8_t m_byBoard;
    std::uint8_t m_byHandle;
    std::uint8_t m_byRegTag;
    std::uint8_t m_byHandleExt;
    std::uint8_t m_byNumberOfSlaves;
    std::uint8_t m_abySlaveAddr[kSlaveAddresses];
    std::uint8_t m_byTimeWatchdog;
    platform::HBoardSemaphore m_hSemSyncTest;
    CTracer* m_pTracer;

    // The image lengths the board reported at opening, per address: a board answer is never
    // copied past them into the host's buffers, which are sized by them.
    std::uint8_t m_byListedSlaves; // how many addresses m_abySlaveAddr holds
    std::uint16_t m_awLenIn[kLearnedAddresses];
    std::uint16_t m_awLenOut[kLearnedAddresses];
    bool m_bStatesRefreshed;
};
