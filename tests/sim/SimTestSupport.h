// What the simulated board's tests share: a shared memory prefix of the test process's own, a
// fresh board per test, a clock the test moves, and board calls in one line each.
#pragma once

#include "board/BoardOperations.h"
#include "sim/BoardErrors.h"
#include "sim/SimControl.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace simtest
{

// Generous, for sanitizer builds on a busy machine; only a hang ever waits this long.
inline constexpr int kReplyTimeoutMs = 20000;
// How long a blocked process has to stay blocked. Passing proves little, failing proves a fault.
inline constexpr int kQuietMs = 300;

inline constexpr std::uint8_t kLoopbackSlave = 3;
inline constexpr std::uint8_t kLiveSlave = 4;
inline constexpr std::uint8_t kLargeSlave = 5;

// The KORIXSIM_PREFIX this test process and its children use.
std::string TestPrefix();

struct SHandle
{
    std::uint8_t byHandle;
    std::uint8_t byHandleExt;
};

// A request with the handle and address; byLength 255 unless given.
SBoardRequest MakeRequest(SHandle handle, std::uint8_t byAddress = 0, std::uint8_t byLength = 255);

// A registration request for the board with mode 2 at the given addresses.
SBoardRequest MakeRegistration(std::uint8_t byBoard, std::initializer_list<std::uint8_t> used);

// Calls the operation on a copy of the request and returns the copy as the board left it.
SBoardRequest Call(PFN_BOARD_OPERATION pfnOperation, SBoardRequest request);

SBoardRequest MakeWrite(SHandle handle, std::uint8_t byAddress,
                        const std::vector<std::uint8_t>& abyBytes);

std::vector<std::uint8_t> DataOf(const SBoardRequest& request);

// Each test gets a board that no other test of this process has used.
class CBoardTest : public ::testing::Test
{
protected:
    CBoardTest();

    // Registers with mode 2 at the addresses; a failure fails the test.
    SHandle Register(std::initializer_list<std::uint8_t> used = {3, 4, 5});

    std::unique_ptr<korix::SBoardSnapshot> Snapshot();

    std::vector<std::uint8_t> Outputs(std::uint8_t byAddress);

    std::uint8_t m_byBoard;
};

// Stands in for the system clock while it lives; the tick count moves only when told.
class CFakeClock
{
public:
    explicit CFakeClock(std::uint32_t dwStart = 1000);
    ~CFakeClock();
    CFakeClock(const CFakeClock&) = delete;
    CFakeClock& operator=(const CFakeClock&) = delete;

    void Advance(std::uint32_t dwMilliseconds);

private:
    const platform::SClockSource* m_pPrevious;
};

} // namespace simtest
