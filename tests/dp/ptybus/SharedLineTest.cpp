// The multi-drop line's rules on the test's clock: who hears a character and when, and what
// the others receive when two stations' characters overlap.
#include "tests/dp/ptybus/SharedLine.h"

#include <gmock/gmock.h>

namespace ptybus
{
namespace
{

using Bytes = std::vector<std::uint8_t>;
using testing::ElementsAre;
using testing::IsEmpty;

// 11 bits at 11 kbit/s: a character lasts 1 ms.
constexpr std::uint32_t kBaud = 11000;
constexpr std::uint64_t kChar = 1000000;

class SharedLineTest : public testing::Test
{
protected:
    void Write(std::size_t nFrom, const Bytes& abyBytes, std::uint64_t qwNowNs)
    {
        ASSERT_EQ(m_line.Write(nFrom, abyBytes.data(), abyBytes.size(), qwNowNs), abyBytes.size());
    }
    void Advance(std::uint64_t qwNowNs) { m_line.Advance(qwNowNs, m_received); }

    CSharedLine m_line{3, kBaud, false};
    std::vector<Bytes> m_received{3};
};

TEST_F(SharedLineTest, ACharacterReachesEveryOtherStationWhenItHasCrossedTheLine)
{
    EXPECT_EQ(m_line.CharacterNs(), kChar);
    Write(0, {0x10, 0x68}, 5 * kChar);
    EXPECT_EQ(m_line.NextEndNs(), 6 * kChar);
    Advance(6 * kChar - 1);
    EXPECT_THAT(m_received[1], IsEmpty());
    Advance(6 * kChar);
    EXPECT_THAT(m_received[1], ElementsAre(0x10));
    EXPECT_THAT(m_received[2], ElementsAre(0x10));
    Advance(7 * kChar);
    EXPECT_THAT(m_received[1], ElementsAre(0x10, 0x68));
    EXPECT_THAT(m_received[2], ElementsAre(0x10, 0x68));
    EXPECT_THAT(m_received[0], IsEmpty()); // no echo
    EXPECT_EQ(m_line.NextEndNs(), UINT64_MAX);
    EXPECT_EQ(m_line.Counts(0).qwBytesSent, 2u);
    EXPECT_EQ(m_line.GarbledCharacters(), 0u);
}

TEST_F(SharedLineTest, StationsThatTakeTurnsDoNotGarble)
{
    // An answer that starts the instant the request's last character ends is no overlap.
    Write(0, {0x01, 0x02}, 0);
    Write(1, {0x40}, 2 * kChar);
    Advance(10 * kChar);
    EXPECT_THAT(m_received[2], ElementsAre(0x01, 0x02, 0x40));
    EXPECT_THAT(m_received[0], ElementsAre(0x40));
    EXPECT_THAT(m_received[1], ElementsAre(0x01, 0x02));
    EXPECT_EQ(m_line.GarbledCharacters(), 0u);
}

TEST_F(SharedLineTest, OverlappingCharactersReachEveryoneAsTheOrOfWhatWasOnTheLine)
{
    // Station 1 starts half a character into station 0's first: its character overlaps both
    // of station 0's, and each of those overlaps it.
    Write(0, {0x01, 0x02}, 0);
    Write(1, {0x40}, kChar / 2);
    Advance(10 * kChar);
    EXPECT_THAT(m_received[2], ElementsAre(0x41, 0x43, 0x42));
    EXPECT_THAT(m_received[0], ElementsAre(0x43));       // what station 0 hears of station 1
    EXPECT_THAT(m_received[1], ElementsAre(0x41, 0x42)); // and station 1 of station 0
    EXPECT_EQ(m_line.GarbledCharacters(), 3u);
    EXPECT_EQ(m_line.Counts(0).qwCharactersGarbled, 2u);
    EXPECT_EQ(m_line.Counts(1).qwCharactersGarbled, 1u);
}

TEST_F(SharedLineTest, ACharacterWrittenWhileTheStationStillSendsFollowsItsLastOne)
{
    Write(0, {0x01}, 0);
    Write(0, {0x02}, kChar / 4); // back to back, not on top of its own
    Advance(2 * kChar);
    EXPECT_THAT(m_received[1], ElementsAre(0x01, 0x02));
    EXPECT_EQ(m_line.GarbledCharacters(), 0u);
    // A third station's character in the gap after them overlaps nothing.
    Write(2, {0x80}, 2 * kChar);
    Advance(3 * kChar);
    EXPECT_THAT(m_received[1], ElementsAre(0x01, 0x02, 0x80));
}

TEST_F(SharedLineTest, AStationBehindOnItsCharactersIsHeldAtItsLimit)
{
    CSharedLine line(2, kBaud, false, 4);
    const Bytes abyMany(6, 0x55);
    EXPECT_EQ(line.Write(0, abyMany.data(), abyMany.size(), 0), 4u);
    EXPECT_EQ(line.Room(0), 0u);
    std::vector<Bytes> received(2);
    line.Advance(2 * kChar, received);
    EXPECT_EQ(line.Room(0), 2u);
    EXPECT_EQ(line.Counts(0).qwBytesSent, 4u);
}

TEST(SharedLineEchoTest, WithEchoTheSenderHearsTheLineAsTheOthersDo)
{
    CSharedLine line(2, kBaud, true);
    const Bytes abyA = {0x0F};
    const Bytes abyB = {0xF0};
    line.Write(0, abyA.data(), 1, 0);
    line.Write(1, abyB.data(), 1, 10);
    std::vector<Bytes> received(2);
    line.Advance(3 * kChar, received);
    EXPECT_THAT(received[0], ElementsAre(0xFF, 0xFF));
    EXPECT_THAT(received[1], ElementsAre(0xFF, 0xFF));
}

} // namespace
} // namespace ptybus
