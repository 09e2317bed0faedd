// Every value of every kind maps to the number of its row in the table below, and everything
// without a row to 99.
#include "dpcomm/ErrorNumber.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

const std::map<std::uint16_t, int> kBoardErrorRows = {
    {0x00, 0},  {0x80, 1},  {0x81, 2},  {0x82, 3},  {0x83, 4},  {0x84, 5},  {0x85, 6},  {0x86, 7},
    {0x87, 8},  {0x88, 9},  {0x89, 10}, {0x8A, 11}, {0x8B, 12}, {0x8C, 13}, {0x8D, 14}, {0x8E, 15},
    {0x8F, 16}, {0x90, 17}, {0x91, 18}, {0x92, 19}, {0x93, 20}, {0x94, 21}, {0x95, 22}};
const std::map<std::uint16_t, int> kSlaveStateRows = {{0, 40}, {1, 41}, {2, 42},
                                                      {3, 43}, {4, 44}, {5, 45}};
const std::map<std::uint16_t, int> kMasterModeRows = {
    {0x00, 50}, {0x40, 51}, {0x80, 52}, {0xC0, 53}};

void ExpectRows(std::int32_t nKind, const std::map<std::uint16_t, int>& rows)
{
    for (std::uint32_t value = 0; value <= 0xFFFF; ++value)
    {
        auto row = rows.find(static_cast<std::uint16_t>(value));
        int nExpected = row == rows.end() ? 99 : row->second;
        ASSERT_EQ(nExpected, MapErrorNumber(static_cast<std::uint16_t>(value), nKind))
            << "kind " << nKind << " value 0x" << std::hex << value;
    }
}

TEST(ErrorNumberTest, BoardErrorWords)
{
    ExpectRows(ERRKIND_BOARD_ERROR, kBoardErrorRows);
}

TEST(ErrorNumberTest, SlaveStates)
{
    ExpectRows(ERRKIND_SLAVE_STATE, kSlaveStateRows);
}

TEST(ErrorNumberTest, MasterModes)
{
    ExpectRows(ERRKIND_MASTER_MODE, kMasterModeRows);
}

TEST(ErrorNumberTest, OtherKindsGive99)
{
    for (std::int32_t nKind : {0, 4, -1, 1000})
        for (std::uint16_t wValue : {0x00, 0x02, 0x80, 0xC0})
            EXPECT_EQ(DPERR_UNKNOWN, MapErrorNumber(wValue, nKind));
}

} // namespace
