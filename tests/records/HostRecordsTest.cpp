// A host builds its records as bytes: fields written at their contract offsets must read back
// through the structures, and an array of records must have no gaps.
#include "include/MovaRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

constexpr bool kPointers32 = sizeof(void*) == 4;
// Offsets after the connection record move by the widening of its two pointers.
constexpr std::size_t kShift = kPointers32 ? 0 : 8;
constexpr std::size_t kPtrShift = kPointers32 ? 0 : 4;

template <typename T> void Put(std::vector<unsigned char>& bytes, std::size_t nOffset, T value)
{
    std::memcpy(bytes.data() + nOffset, &value, sizeof value);
}

TEST(HostRecordsTest, JobParamFieldsSitAtTheirByteOffsets)
{
    std::vector<unsigned char> bytes(sizeof(SJobParam), 0);
    int nValue = 0;
    void* pIn = &nValue;
    void* pOut = &bytes;
    Put<std::uint32_t>(bytes, 0, 0x11111111);
    Put<std::uint32_t>(bytes, 4, JobWrite);
    Put<std::uint8_t>(bytes, 8, 7);
    Put<std::uint16_t>(bytes, 9, 0x0102);
    Put<std::uint16_t>(bytes, 11, 0x0304);
    Put<std::uint16_t>(bytes, 13, 0x0506);
    Put<void*>(bytes, 15, pIn);
    Put<void*>(bytes, 19 + kPtrShift, pOut);
    Put<std::uint16_t>(bytes, 23 + kShift, 0x0708);
    Put<std::uint16_t>(bytes, 25 + kShift, 13);
    Put<std::uint16_t>(bytes, 27 + kShift, 32);
    Put<std::int32_t>(bytes, 29 + kShift, 1);
    Put<std::int32_t>(bytes, 33 + kShift, -1);
    Put<std::int32_t>(bytes, 41 + kShift, -963);
    Put<void*>(bytes, 53 + kShift, pOut);

    SJobParam record;
    std::memcpy(&record, bytes.data(), sizeof record);
    EXPECT_EQ(0x11111111u, +record.dwUserData);
    EXPECT_EQ(JobWrite, +record.dwCommand);
    EXPECT_EQ(7, record.tsConSpec.byL2Addr);
    EXPECT_EQ(0x0102, +record.tsConSpec.wLenIn);
    EXPECT_EQ(0x0304, +record.tsConSpec.wLenOut);
    EXPECT_EQ(0x0506, +record.tsConSpec.wState);
    EXPECT_EQ(pIn, +record.tsConSpec.lpvBufferIn);
    EXPECT_EQ(pOut, +record.tsConSpec.lpvBufferOut);
    EXPECT_EQ(0x0708, +record.wByteOffset);
    EXPECT_EQ(13, +record.wBitOffset);
    EXPECT_EQ(32, +record.wBitLength);
    EXPECT_EQ(1, +record.bOutBuffer);
    EXPECT_EQ(-1, +record.bSwap);
    EXPECT_EQ(-963, +record.lResult);
    EXPECT_EQ(pOut, +record.pData);
    EXPECT_EQ(kPointers32 ? 57u : 69u, sizeof record);
}

TEST(HostRecordsTest, RecordsOfABatchFollowWithoutGaps)
{
    SJobParam batch[2] = {};
    batch[1].lResult = -800;
    const auto* pBytes = reinterpret_cast<const unsigned char*>(batch);
    std::int32_t lSecondResult = 0;
    std::memcpy(&lSecondResult, pBytes + (kPointers32 ? 98 : 118), sizeof lSecondResult);
    EXPECT_EQ(-800, lSecondResult);
}

TEST(HostRecordsTest, CommParamsSlaveTableAndMaxMsg)
{
    std::vector<unsigned char> bytes(sizeof(SCommParams), 0);
    std::size_t nEntry = sizeof(SConSpec);
    Put<std::int32_t>(bytes, 4, 2);
    Put<std::uint8_t>(bytes, 8, 50);
    Put<std::uint8_t>(bytes, 9, 3);
    Put<std::uint8_t>(bytes, 10 + 5 * nEntry, 9);
    Put<std::uint16_t>(bytes, 10 + 127 * nEntry + 5, 0x4242);
    Put<std::int32_t>(bytes, kPointers32 ? 1932 : 2956, 4711);

    SCommParams params;
    std::memcpy(&params, bytes.data(), sizeof params);
    EXPECT_EQ(2, +params.Board);
    EXPECT_EQ(50, params.byTimeWatchdog);
    EXPECT_EQ(3, params.ucNumberOfDPSlaves);
    EXPECT_EQ(9, params.aSlaves[5].byL2Addr);
    EXPECT_EQ(0x4242, +params.aSlaves[127].wState);
    EXPECT_EQ(4711, +params.nMaxMsg);
    EXPECT_EQ(kPointers32 ? 1936u : 2960u, sizeof params);
}

TEST(HostRecordsTest, ProtoParams)
{
    const unsigned char bytes[5] = {5, 0, 0, 0, 30};
    SProtoParams params;
    std::memcpy(&params, bytes, sizeof params);
    EXPECT_EQ(5u, +params.dwSize);
    EXPECT_EQ(30, params.byTimeCheckConnection);
}

} // namespace
