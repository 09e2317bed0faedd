// The watchdog against a clock the test moves: expiry after the armed time without exchange,
// the fail-safe outputs, the answers while expired, and re-arming.
#include "tests/sim/SimTestSupport.h"

#include <gmock/gmock.h>

namespace simtest
{
namespace
{

using ::testing::Each;
using ::testing::ElementsAreArray;

class SimWatchdogTest : public CBoardTest
{
protected:
    SBoardRequest SetWatchdog(SHandle handle, std::uint8_t byTime)
    {
        SBoardRequest request = MakeRequest(handle, 0, 1);
        request.abyData[0] = byTime;
        return Call(BoardSetWatchdog, request);
    }

    SBoardRequest ReadInput(SHandle handle, std::uint8_t byAddress = kLoopbackSlave)
    {
        return Call(BoardReadInput, MakeRequest(handle, byAddress));
    }

    const std::vector<std::uint8_t> m_abyPattern{1, 2, 3, 4, 5, 6, 7, 8};
};

TEST_F(SimWatchdogTest, ExpiresOnlyAfterMoreThanItsTimeWithoutExchange)
{
    CFakeClock clock;
    SHandle handle = Register();
    ASSERT_EQ(0, SetWatchdog(handle, 5).wError); // 50 ms
    clock.Advance(50);
    EXPECT_EQ(0, ReadInput(handle).byFlags) << "exactly the time has not run out yet";
    clock.Advance(40);
    EXPECT_EQ(0, ReadInput(handle).byFlags) << "the read before re-armed it";
    clock.Advance(51);
    EXPECT_EQ(kBoardFlagWatchdogExpired, ReadInput(handle).byFlags);
}

TEST_F(SimWatchdogTest, ExpiryFailsOutputsSafeUntilSetAgain)
{
    CFakeClock clock;
    SHandle handle = Register();
    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(handle, 3, m_abyPattern)).wError);
    ASSERT_EQ(0, SetWatchdog(handle, 10).wError);
    clock.Advance(101);

    SBoardRequest read = ReadInput(handle);
    EXPECT_EQ(0, read.wError) << "reads go on, flagged";
    EXPECT_EQ(kBoardFlagWatchdogExpired, read.byFlags);
    EXPECT_THAT(DataOf(read), Each(0)) << "the loopback shows the dropped outputs";
    EXPECT_THAT(Outputs(3), Each(0));
    SBoardRequest states = Call(BoardReadSlaveStates, MakeRequest(handle, 0, kBoardSlaveCount));
    EXPECT_EQ(kBoardFlagWatchdogExpired, states.byFlags);

    SBoardRequest write = Call(BoardWriteOutput, MakeWrite(handle, 3, m_abyPattern));
    EXPECT_EQ(kBoardErrorWatchdogExpired, write.wError);
    EXPECT_EQ(2, write.bySlaveState);
    EXPECT_THAT(Outputs(3), Each(0)) << "a refused write stores nothing";

    ASSERT_EQ(0, SetWatchdog(handle, 10).wError);
    EXPECT_EQ(0, ReadInput(handle).byFlags);
    EXPECT_EQ(0, Call(BoardWriteOutput, MakeWrite(handle, 3, m_abyPattern)).wError);
    EXPECT_THAT(Outputs(3), ElementsAreArray(m_abyPattern));
}

TEST_F(SimWatchdogTest, ExpiryTouchesOnlyTheSlavesOfItsRegistration)
{
    CFakeClock clock;
    SHandle watched = Register({3});
    SHandle other = Register({4, 5});
    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(watched, 3, m_abyPattern)).wError);
    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(other, 5, m_abyPattern)).wError);
    ASSERT_EQ(0, SetWatchdog(watched, 1).wError);
    clock.Advance(1000);
    EXPECT_EQ(kBoardFlagWatchdogExpired, ReadInput(watched).byFlags);
    EXPECT_EQ(0, ReadInput(other, 5).byFlags);
    EXPECT_THAT(Outputs(3), Each(0));
    std::vector<std::uint8_t> abyLarge = Outputs(5);
    EXPECT_THAT(std::vector<std::uint8_t>(abyLarge.begin(), abyLarge.begin() + 8),
                ElementsAreArray(m_abyPattern));
}

TEST_F(SimWatchdogTest, DisarmedOrNeverArmedWatchdogNeverExpires)
{
    CFakeClock clock;
    SHandle never = Register({});
    SHandle disarmed = Register({});
    ASSERT_EQ(0, SetWatchdog(disarmed, 3).wError);
    ASSERT_EQ(0, SetWatchdog(disarmed, 0).wError);
    clock.Advance(100000);
    EXPECT_EQ(0, ReadInput(never).byFlags);
    EXPECT_EQ(0, ReadInput(disarmed).byFlags);
}

TEST_F(SimWatchdogTest, TickCountWrapDoesNotExpireIt)
{
    CFakeClock clock(0xFFFFFFF0u);
    SHandle handle = Register();
    ASSERT_EQ(0, SetWatchdog(handle, 5).wError);
    clock.Advance(40); // past 2^32
    EXPECT_EQ(0, ReadInput(handle).byFlags);
    clock.Advance(51);
    EXPECT_EQ(kBoardFlagWatchdogExpired, ReadInput(handle).byFlags);
}

TEST_F(SimWatchdogTest, ExpireNowHitsArmedWatchdogsOnly)
{
    SHandle armed = Register({3});
    SHandle unarmed = Register({5});
    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(armed, 3, m_abyPattern)).wError);
    ASSERT_EQ(0, Call(BoardWriteOutput, MakeWrite(unarmed, 5, m_abyPattern)).wError);
    ASSERT_EQ(0, SetWatchdog(armed, 255).wError);

    korix::SControlResult result = korix::ExpireWatchdogs(m_byBoard);
    ASSERT_TRUE(result.bOk);
    EXPECT_THAT(result.szMessage, ::testing::HasSubstr("1 watchdog expired"));
    EXPECT_EQ(kBoardErrorWatchdogExpired,
              Call(BoardWriteOutput, MakeWrite(armed, 3, m_abyPattern)).wError);
    EXPECT_THAT(Outputs(3), Each(0));
    EXPECT_EQ(0, Call(BoardWriteOutput, MakeWrite(unarmed, 5, m_abyPattern)).wError);
}

} // namespace
} // namespace simtest
