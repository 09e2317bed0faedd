// The list of active stations as token passes show it: predecessor and successor round the
// circle up to the HSA, stations a pass skips dropped, a station passing to itself alone.
#include "dp/station/ActiveStationList.h"

#include <gmock/gmock.h>

namespace
{

using Members = std::vector<std::uint8_t>;

TEST(ActiveStationList, NeighboursGoRoundTheCircleUpToTheHsa)
{
    dp::CActiveStationList las(20);
    EXPECT_EQ(las.Predecessor(5), 5); // alone
    EXPECT_EQ(las.Successor(5), 5);
    for (std::uint8_t by : {2, 9, 17})
        las.Add(by);
    las.Add(21); // beyond the HSA: no member
    EXPECT_EQ(las.Members(), (Members{2, 9, 17}));
    EXPECT_EQ(las.Successor(9), 17);
    EXPECT_EQ(las.Successor(17), 2); // round past the HSA
    EXPECT_EQ(las.Predecessor(2), 17);
    EXPECT_EQ(las.Predecessor(5), 2); // not a member itself
    EXPECT_EQ(las.Successor(5), 9);
    EXPECT_EQ(las.Next(20), 0);
    EXPECT_EQ(las.Previous(0), 20);
}

TEST(ActiveStationList, APassDropsTheStationsItSkips)
{
    dp::CActiveStationList las(20);
    for (std::uint8_t by : {2, 5, 9, 17})
        las.Add(by);
    // 17 passes to 5: 2, beyond the wrap, is gone.
    EXPECT_TRUE(las.NoteTokenPass(17, 5));
    EXPECT_EQ(las.Members(), (Members{5, 9, 17}));
    // A station passing to itself believes it is alone.
    EXPECT_TRUE(las.NoteTokenPass(9, 9));
    EXPECT_EQ(las.Members(), (Members{9}));
    // A pass naming an address beyond the HSA teaches nothing.
    EXPECT_FALSE(las.NoteTokenPass(9, 40));
    EXPECT_FALSE(las.NoteTokenPass(40, 9));
    EXPECT_EQ(las.Members(), (Members{9}));
}

} // namespace
