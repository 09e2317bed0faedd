// Faults injected through the control API reach the library's requests as they were set:
// error words for a number of calls, delays without the board's lock, slave states and master
// modes.
#include "tests/sim/SimTestSupport.h"

#include <gmock/gmock.h>

#include <atomic>
#include <thread>

namespace simtest
{
namespace
{

using korix::teOperation;

class SimFaultTest : public CBoardTest
{
protected:
    // A request of the operation that succeeds on the default plant.
    SBoardRequest RequestFor(teOperation eOperation, SHandle handle)
    {
        switch (eOperation)
        {
        case korix::OpBoardRegister:
            return MakeRegistration(m_byBoard, {3});
        case korix::OpBoardWriteOutput:
            return MakeWrite(handle, 3, {1, 2});
        case korix::OpBoardReadSlaveStates:
            return MakeRequest(handle, 0, kBoardSlaveCount);
        case korix::OpBoardSetWatchdog:
            return MakeRequest(handle, 0, 1);
        default:
            return MakeRequest(handle, 3);
        }
    }

    PFN_BOARD_OPERATION Function(teOperation eOperation)
    {
        static const PFN_BOARD_OPERATION kFunctions[] = {
#define KORIX_FUNCTION(name, ordinal, member) name,
            KORIX_BOARD_OPERATIONS(KORIX_FUNCTION)
#undef KORIX_FUNCTION
        };
        return kFunctions[eOperation];
    }
};

TEST_F(SimFaultTest, EveryBoardErrorWordComesBackFromEveryOperation)
{
    SHandle handle = Register();
    for (std::uint8_t i = 0; i < korix::OpCount; ++i)
    {
        auto eOperation = static_cast<teOperation>(i);
        for (std::uint16_t wWord = 0x80; wWord <= 0x95; ++wWord)
        {
            ASSERT_TRUE(korix::InjectError(m_byBoard, eOperation, wWord, 1).bOk);
            SBoardRequest answer = Call(Function(eOperation), RequestFor(eOperation, handle));
            EXPECT_EQ(wWord, answer.wError) << korix::OperationName(eOperation);
        }
        // The fault is used up; the close must not have ended the registration either.
        EXPECT_EQ(0, Call(Function(eOperation), RequestFor(eOperation, handle)).wError)
            << korix::OperationName(eOperation);
        if (eOperation == korix::OpBoardClose)
            handle = Register();
    }
}

TEST_F(SimFaultTest, ErrorLastsForCountCallsAndCountZeroClears)
{
    SHandle handle = Register();
    ASSERT_TRUE(korix::InjectError(m_byBoard, korix::OpBoardReadInput, 0x8A, 3).bOk);
    for (int i = 0; i < 3; ++i)
    {
        SBoardRequest answer = Call(BoardReadInput, MakeRequest(handle, 3));
        EXPECT_EQ(0x8A, answer.wError);
        EXPECT_EQ(0, answer.byLength) << "a failed read returns no data";
        EXPECT_EQ(2, answer.bySlaveState);
    }
    EXPECT_EQ(0, Call(BoardReadInput, MakeRequest(handle, 3)).wError);
    EXPECT_EQ(0, Call(BoardReadOutput, MakeRequest(handle, 3)).wError)
        << "other operations are not affected";

    ASSERT_TRUE(korix::InjectError(m_byBoard, korix::OpBoardReadInput, 0x8A, 5).bOk);
    ASSERT_TRUE(korix::InjectError(m_byBoard, korix::OpBoardReadInput, 0, 0).bOk);
    EXPECT_EQ(0, Call(BoardReadInput, MakeRequest(handle, 3)).wError);
    EXPECT_FALSE(korix::InjectError(m_byBoard, korix::OpBoardReadInput, 0, 1).bOk);
}

TEST_F(SimFaultTest, FailedWriteStoresNothing)
{
    SHandle handle = Register();
    ASSERT_TRUE(korix::InjectError(m_byBoard, korix::OpBoardWriteOutput, 0x95, 1).bOk);
    EXPECT_EQ(0x95, Call(BoardWriteOutput, MakeWrite(handle, 3, {7, 7})).wError);
    EXPECT_THAT(Outputs(3), ::testing::Each(0));
}

TEST_F(SimFaultTest, FailedRegistrationGivesNoHandle)
{
    ASSERT_TRUE(korix::InjectError(m_byBoard, korix::OpBoardRegister, 0x85, 1).bOk);
    SBoardRequest answer = Call(BoardRegister, MakeRegistration(m_byBoard, {3}));
    EXPECT_EQ(0x85, answer.wError);
    EXPECT_EQ(0, answer.byHandle);
    EXPECT_EQ(0, answer.byHandleExt);
    auto pSnapshot = Snapshot();
    for (const korix::SRegistration& registration : pSnapshot->sState.aRegistrations)
        EXPECT_EQ(0, registration.byInUse);
}

TEST_F(SimFaultTest, EverySlaveStateComesBackInReadsWritesAndTheStateList)
{
    SHandle handle = Register();
    for (std::uint8_t byState = 0; byState <= 5; ++byState)
    {
        ASSERT_TRUE(korix::SetSlaveState(m_byBoard, 3, byState).bOk);
        EXPECT_EQ(byState, Call(BoardReadInput, MakeRequest(handle, 3)).bySlaveState);
        EXPECT_EQ(byState, Call(BoardReadOutput, MakeRequest(handle, 3)).bySlaveState);
        EXPECT_EQ(byState, Call(BoardWriteOutput, MakeWrite(handle, 3, {1})).bySlaveState);
        EXPECT_EQ(byState,
                  Call(BoardReadSlaveStates, MakeRequest(handle, 0, kBoardSlaveCount)).abyData[3]);
    }
    EXPECT_FALSE(korix::SetSlaveState(m_byBoard, 6, 2).bOk) << "no slave at address 6";
}

TEST_F(SimFaultTest, EveryMasterModeComesBackFromEveryOperation)
{
    SHandle handle = Register();
    for (std::uint8_t byMode : {0x00, 0x40, 0x80, 0xC0})
    {
        ASSERT_TRUE(korix::SetMasterMode(m_byBoard, byMode).bOk);
        for (std::uint8_t i = 0; i < korix::OpCount; ++i)
        {
            auto eOperation = static_cast<teOperation>(i);
            if (eOperation == korix::OpBoardClose)
                continue;
            SBoardRequest answer = Call(Function(eOperation), RequestFor(eOperation, handle));
            EXPECT_EQ(0, answer.wError);
            EXPECT_EQ(byMode, answer.byMasterState) << korix::OperationName(eOperation);
        }
    }
}

TEST_F(SimFaultTest, DelayIsUsedUpAndTheCallStillSucceeds)
{
    SHandle handle = Register();
    ASSERT_TRUE(korix::InjectDelay(m_byBoard, korix::OpBoardReadInput, 20, 2).bOk);
    EXPECT_EQ(2u, Snapshot()->sState.aFaults[korix::OpBoardReadInput].dwDelayCount);
    EXPECT_EQ(0, Call(BoardReadInput, MakeRequest(handle, 3)).wError);
    EXPECT_EQ(0, Call(BoardReadInput, MakeRequest(handle, 3)).wError);
    EXPECT_EQ(0u, Snapshot()->sState.aFaults[korix::OpBoardReadInput].dwDelayCount);
}

// A delayed call sleeps without the board's lock, so a call of another thread finishes first.
TEST_F(SimFaultTest, DelayedCallDoesNotHoldTheBoard)
{
    SHandle handle = Register();
    ASSERT_TRUE(korix::InjectDelay(m_byBoard, korix::OpBoardReadInput, 3000, 1).bOk);
    ASSERT_TRUE(korix::InjectError(m_byBoard, korix::OpBoardReadInput, 0x90, 1).bOk);
    std::atomic<bool> bDelayedDone{false};
    SBoardRequest delayed{};
    std::thread slow(
        [&]
        {
            delayed = Call(BoardReadInput, MakeRequest(handle, 3));
            bDelayedDone = true;
        });
    // Wait until the slow call has taken its faults, then go past it.
    while (Snapshot()->sState.aFaults[korix::OpBoardReadInput].dwDelayCount != 0)
        std::this_thread::yield();
    EXPECT_EQ(0, Call(BoardReadOutput, MakeRequest(handle, 3)).wError);
    EXPECT_FALSE(bDelayedDone) << "the delayed call held the board";
    slow.join();
    EXPECT_EQ(0x90, delayed.wError) << "delay and error word apply to the same call";
}

TEST_F(SimFaultTest, ResetClearsFaultsAndKeepsRegistrations)
{
    SHandle handle = Register();
    ASSERT_TRUE(korix::InjectError(m_byBoard, korix::OpBoardReadInput, 0x81, 10).bOk);
    ASSERT_TRUE(korix::InjectDelay(m_byBoard, korix::OpBoardClose, 10, 10).bOk);
    ASSERT_TRUE(korix::SetMasterMode(m_byBoard, 0x40).bOk);
    ASSERT_TRUE(korix::ResetBoard(m_byBoard).bOk);
    SBoardRequest answer = Call(BoardReadInput, MakeRequest(handle, 3));
    EXPECT_EQ(0, answer.wError);
    EXPECT_EQ(0xC0, answer.byMasterState);
    EXPECT_EQ(0u, Snapshot()->sState.aFaults[korix::OpBoardClose].dwDelayCount);
}

TEST_F(SimFaultTest, OperationsAreFoundByNameInAnyCase)
{
    korix::teOperation eOperation = korix::OpCount;
    ASSERT_TRUE(korix::FindOperation("boardwriteOUTPUT", eOperation));
    EXPECT_EQ(korix::OpBoardWriteOutput, eOperation);
    EXPECT_STREQ("BoardReadSlaveStates", korix::OperationName(korix::OpBoardReadSlaveStates));
    EXPECT_FALSE(korix::FindOperation("BoardWrite", eOperation));
    EXPECT_FALSE(korix::InjectError(m_byBoard, korix::OpCount, 0x80, 1).bOk);
}

} // namespace
} // namespace simtest
