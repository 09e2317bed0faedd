// The eight operations as the library drives them: registration and handles, the slave list,
// reads, writes, slave states, the watchdog request and closing, with the answers the board
// gives to requests it cannot serve.
#include "tests/sim/SimTestSupport.h"

#include <gmock/gmock.h>

#include <set>

namespace simtest
{
namespace
{

using korix::BoardErrBadRequest;
using korix::BoardErrLength;
using korix::BoardErrNoFreeSlot;
using korix::BoardErrNoSlave;
using korix::BoardErrNoSuchBoard;
using korix::BoardErrNotRegisteredForOutput;
using korix::BoardErrUnknownHandle;
using ::testing::ElementsAreArray;

class SimOperationsTest : public CBoardTest
{
};

TEST_F(SimOperationsTest, RegistrationAnswersHandleAndMasterMode)
{
    SBoardRequest request = Call(BoardRegister, MakeRegistration(m_byBoard, {3}));
    ASSERT_EQ(0, request.wError);
    EXPECT_EQ(m_byBoard, request.byHandle);
    EXPECT_NE(0, request.byHandleExt);
    EXPECT_EQ(0xC0, request.byMasterState);
}

TEST_F(SimOperationsTest, RegistrationRefusesMalformedRequests)
{
    SBoardRequest badTag = MakeRegistration(m_byBoard, {3});
    badTag.byHandleExt = 0x51;
    SBoardRequest badCount = MakeRegistration(m_byBoard, {3});
    badCount.byLength = 125;
    SBoardRequest badMode = MakeRegistration(m_byBoard, {3});
    badMode.abyData[7] = 1;
    for (const SBoardRequest& request : {badTag, badCount, badMode})
    {
        SBoardRequest answer = Call(BoardRegister, request);
        EXPECT_EQ(BoardErrBadRequest, answer.wError);
        EXPECT_EQ(0, answer.byHandle) << "a refused registration gives no handle";
    }
    EXPECT_EQ(BoardErrNoSuchBoard, Call(BoardRegister, MakeRegistration(0, {})).wError);
}

TEST_F(SimOperationsTest, EightRegistrationsFitAndClosingFreesOne)
{
    std::set<int> handles;
    std::vector<SHandle> registrations;
    for (int i = 0; i < korix::kMaxRegistrations; ++i)
    {
        registrations.push_back(Register({}));
        handles.insert(registrations.back().byHandleExt);
    }
    EXPECT_EQ(static_cast<std::size_t>(korix::kMaxRegistrations), handles.size());
    EXPECT_EQ(BoardErrNoFreeSlot, Call(BoardRegister, MakeRegistration(m_byBoard, {})).wError);

    EXPECT_EQ(0, Call(BoardClose, MakeRequest(registrations[2])).wError);
    SHandle reused = Register({});
    EXPECT_NE(registrations[2].byHandleExt, reused.byHandleExt)
        << "a new registration in the freed slot has a handle of its own";
}

TEST_F(SimOperationsTest, HandlesThatNameNoRegistrationAreRefused)
{
    SHandle handle = Register();
    ASSERT_EQ(0, Call(BoardClose, MakeRequest(handle)).wError);
    SHandle neverIssued{m_byBoard, static_cast<std::uint8_t>(handle.byHandleExt ^ 0x08)};
    for (SHandle stale : {handle, neverIssued, SHandle{0, handle.byHandleExt}})
    {
        for (PFN_BOARD_OPERATION pfn :
             {BoardReadSlaveList, BoardReadInput, BoardReadOutput, BoardReadSlaveStates})
            EXPECT_EQ(BoardErrUnknownHandle, Call(pfn, MakeRequest(stale, 3)).wError);
        EXPECT_EQ(BoardErrUnknownHandle, Call(BoardWriteOutput, MakeWrite(stale, 3, {1})).wError);
        SBoardRequest watchdog = MakeRequest(stale, 0, 1);
        EXPECT_EQ(BoardErrUnknownHandle, Call(BoardSetWatchdog, watchdog).wError);
    }
    EXPECT_EQ(BoardErrUnknownHandle, Call(BoardClose, MakeRequest(neverIssued)).wError);
    EXPECT_EQ(BoardErrUnknownHandle, Call(BoardClose, MakeRequest({0, handle.byHandleExt})).wError);
}

TEST_F(SimOperationsTest, SecondCloseIsNoErrorUntilTheSlotIsReused)
{
    SHandle handle = Register();
    ASSERT_EQ(0, Call(BoardClose, MakeRequest(handle)).wError);
    EXPECT_EQ(0, Call(BoardClose, MakeRequest(handle)).wError);
    SHandle successor = Register();
    ASSERT_EQ(handle.byHandleExt & 7, successor.byHandleExt & 7) << "the freed slot is reused";
    EXPECT_EQ(BoardErrUnknownHandle, Call(BoardClose, MakeRequest(handle)).wError);
    EXPECT_EQ(0, Call(BoardReadInput, MakeRequest(successor, 3)).wError)
        << "the old handle's close left the new registration alone";
}

TEST_F(SimOperationsTest, SlaveListMarksAddressesWithoutSlave)
{
    SBoardRequest registration = Call(BoardRegister, MakeRegistration(m_byBoard, {}));
    SBoardRequest list = Call(BoardReadSlaveList, registration);
    ASSERT_EQ(0, list.wError);
    EXPECT_EQ(kBoardSlaveCount, list.byLength);
    for (int nAddress = 0; nAddress < 255; ++nAddress)
    {
        bool bSlave = nAddress >= 3 && nAddress <= 5;
        EXPECT_EQ(bSlave ? kBoardModeUsed : kBoardNoSlave, list.abyData[nAddress])
            << "address " << nAddress;
    }
}

// The library learns the image lengths this way, with a registration of modes 0 only.
TEST_F(SimOperationsTest, ReadsAnswerLengthsOnAnyRegistration)
{
    SHandle handle = Register({});
    struct
    {
        std::uint8_t byAddress, byInputs, byOutputs, byState;
    } const kSlaves[] = {{3, 8, 8, 2}, {4, 8, 4, 3}, {5, 244, 244, 2}};
    for (const auto& slave : kSlaves)
    {
        SBoardRequest input = Call(BoardReadInput, MakeRequest(handle, slave.byAddress));
        SBoardRequest output = Call(BoardReadOutput, MakeRequest(handle, slave.byAddress));
        ASSERT_EQ(0, input.wError);
        ASSERT_EQ(0, output.wError);
        EXPECT_EQ(slave.byInputs, input.byLength);
        EXPECT_EQ(slave.byOutputs, output.byLength);
        EXPECT_EQ(slave.byState, input.bySlaveState);
        EXPECT_EQ(0xC0, output.byMasterState);
        EXPECT_EQ(0, input.byFlags);
    }
}

TEST_F(SimOperationsTest, WrittenOutputsComeBackAsOutputsAndLoopbackInputs)
{
    SHandle handle = Register();
    std::vector<std::uint8_t> abyBytes{1, 2, 3, 4, 5, 6, 7, 8};
    SBoardRequest write = Call(BoardWriteOutput, MakeWrite(handle, kLoopbackSlave, abyBytes));
    ASSERT_EQ(0, write.wError);
    EXPECT_EQ(2, write.bySlaveState);
    EXPECT_EQ(0xC0, write.byMasterState);
    EXPECT_THAT(DataOf(Call(BoardReadOutput, MakeRequest(handle, kLoopbackSlave))),
                ElementsAreArray(abyBytes));
    EXPECT_THAT(DataOf(Call(BoardReadInput, MakeRequest(handle, kLoopbackSlave))),
                ElementsAreArray(abyBytes));

    std::vector<std::uint8_t> abyFull(244);
    for (std::size_t i = 0; i < abyFull.size(); ++i)
        abyFull[i] = static_cast<std::uint8_t>(255 - i);
    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(handle, kLargeSlave, abyFull)).wError);
    EXPECT_THAT(DataOf(Call(BoardReadInput, MakeRequest(handle, kLargeSlave))),
                ElementsAreArray(abyFull));
}

TEST_F(SimOperationsTest, ShortWriteReplacesTheFirstBytesOnly)
{
    SHandle handle = Register();
    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(handle, 3, {1, 2, 3, 4, 5, 6, 7, 8})).wError);
    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(handle, 3, {9, 9})).wError);
    EXPECT_THAT(Outputs(3), ElementsAreArray({9, 9, 3, 4, 5, 6, 7, 8}));
}

TEST_F(SimOperationsTest, WritesTheBoardCannotServeAreRefusedAndChangeNothing)
{
    SHandle handle = Register({3, 4});
    EXPECT_EQ(BoardErrLength,
              Call(BoardWriteOutput, MakeWrite(handle, 3, std::vector<std::uint8_t>(9, 1))).wError);
    EXPECT_EQ(BoardErrNotRegisteredForOutput,
              Call(BoardWriteOutput, MakeWrite(handle, 5, {1})).wError);
    EXPECT_EQ(BoardErrNoSlave, Call(BoardWriteOutput, MakeWrite(handle, 7, {1})).wError);
    EXPECT_EQ(BoardErrNoSlave, Call(BoardWriteOutput, MakeWrite(handle, 200, {1})).wError);
    EXPECT_THAT(Outputs(3), ElementsAreArray(std::vector<std::uint8_t>(8, 0)));
    EXPECT_THAT(Outputs(5), ElementsAreArray(std::vector<std::uint8_t>(244, 0)));
}

TEST_F(SimOperationsTest, ReadsOfMissingSlavesOrWithTooLittleRoomAreRefused)
{
    SHandle handle = Register();
    for (PFN_BOARD_OPERATION pfn : {BoardReadInput, BoardReadOutput})
    {
        SBoardRequest missing = Call(pfn, MakeRequest(handle, 6));
        EXPECT_EQ(BoardErrNoSlave, missing.wError);
        EXPECT_EQ(0, missing.byLength);
        EXPECT_EQ(0, missing.bySlaveState);
        EXPECT_EQ(0xC0, missing.byMasterState);
        EXPECT_EQ(BoardErrLength, Call(pfn, MakeRequest(handle, 5, 243)).wError);
        EXPECT_EQ(0, Call(pfn, MakeRequest(handle, 5, 244)).wError);
    }
}

TEST_F(SimOperationsTest, SlaveStatesListEveryAddress)
{
    SHandle handle = Register();
    ASSERT_TRUE(korix::SetSlaveState(m_byBoard, 5, 4).bOk);
    SBoardRequest states = Call(BoardReadSlaveStates, MakeRequest(handle, 0, kBoardSlaveCount));
    ASSERT_EQ(0, states.wError);
    EXPECT_EQ(kBoardSlaveCount, states.byLength);
    EXPECT_EQ(0xC0, states.byMasterState);
    for (int nAddress = 0; nAddress < kBoardSlaveCount; ++nAddress)
    {
        int nExpected = nAddress == 3 ? 2 : nAddress == 4 ? 3 : nAddress == 5 ? 4 : 0;
        EXPECT_EQ(nExpected, states.abyData[nAddress]) << "address " << nAddress;
    }
    EXPECT_EQ(BoardErrLength, Call(BoardReadSlaveStates, MakeRequest(handle, 0, 125)).wError);
}

TEST_F(SimOperationsTest, WatchdogRequestNeedsOneByte)
{
    SHandle handle = Register();
    SBoardRequest request = MakeRequest(handle, 0, 2);
    request.abyData[0] = 10;
    EXPECT_EQ(BoardErrBadRequest, Call(BoardSetWatchdog, request).wError);
    request.byLength = 1;
    EXPECT_EQ(0, Call(BoardSetWatchdog, request).wError);
    EXPECT_EQ(10, Snapshot()->sState.aRegistrations[handle.byHandleExt & 7].byWatchdogTime);
}

TEST_F(SimOperationsTest, NullRequestIsAnsweredWithoutTouchingIt)
{
    for (PFN_BOARD_OPERATION pfn :
         {BoardRegister, BoardReadSlaveList, BoardReadInput, BoardReadOutput, BoardWriteOutput,
          BoardReadSlaveStates, BoardSetWatchdog, BoardClose})
        EXPECT_EQ(korix::BoardErrUnavailable, pfn(nullptr));
}

} // namespace
} // namespace simtest
