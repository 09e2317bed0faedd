// Bus times from the rate and the bus parameters, worked out by hand.
#include "dp/fdl/BusTiming.h"
#include "dp/services/ConfigBytes.h"
#include "dp/services/DpServices.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

TEST(BusTiming, DefaultsPerRate)
{
    dp::SBusParameters p;
    ASSERT_TRUE(dp::DefaultBusParameters(12000000, p));
    EXPECT_EQ(p.dwSlotTime, 1000u);
    EXPECT_EQ(p.dwMaxTsdr, 800u);
    EXPECT_EQ(p.dwQuietTime, 9u);
    EXPECT_EQ(p.dwSetupTime, 16u);
    ASSERT_TRUE(dp::DefaultBusParameters(1500000, p));
    EXPECT_EQ(p.dwSlotTime, 300u);
    EXPECT_EQ(p.dwMaxTsdr, 150u);
    // 115200 is no DP rate: it gets the parameters of the next rate above, 187.5 kbit/s.
    ASSERT_TRUE(dp::DefaultBusParameters(115200, p));
    EXPECT_EQ(p.dwBaudRate, 115200u);
    EXPECT_EQ(p.dwSlotTime, 100u);
    EXPECT_FALSE(dp::IsStandardBaudRate(115200));
    EXPECT_TRUE(dp::IsStandardBaudRate(45450));
    ASSERT_TRUE(dp::DefaultBusParameters(20000000, p)); // above 12M: 12M's values
    EXPECT_EQ(p.dwSlotTime, 1000u);
    EXPECT_FALSE(dp::DefaultBusParameters(0, p));
}

TEST(BusTiming, DataExchangeOfEightAndEightBytesAtTwelveMegabit)
{
    dp::SBusParameters p;
    ASSERT_TRUE(dp::DefaultBusParameters(12000000, p));
    // TID1 = max(TSYN 33 + TSET 16, TQUI 9 + min TSDR 11) = 49 bits.
    EXPECT_EQ(dp::IdleTime1Bits(p), 49u);
    // TID2 = max(49, max TSDR 800) = 800 bits.
    EXPECT_EQ(dp::IdleTime2Bits(p), 800u);
    // SD2 with 8 data bytes: 4 header + DA SA FC + 8 + FCS ED = 17 characters, 187 bits, each
    // way. 49 + 187 + 11 + 187 = 434 bits = 36.17 us.
    EXPECT_EQ(dp::ExchangeBits(p, 17, 17), 434u);
    EXPECT_EQ(dp::BitsToNanoseconds(434, 12000000), 36167u);
    EXPECT_EQ(dp::BitsToNanoseconds(11, 9600), 1145834u);
}

TEST(DpServices, WatchdogFactorsCoverTheTime)
{
    std::uint8_t by1 = 0, by2 = 0;
    ASSERT_TRUE(dp::WatchdogFactors(200, by1, by2)); // 20 units
    EXPECT_EQ(by1 * by2, 20);
    ASSERT_TRUE(dp::WatchdogFactors(5, by1, by2)); // rounds up to 10 ms
    EXPECT_EQ(by1 * by2, 1);
    ASSERT_TRUE(dp::WatchdogFactors(10000, by1, by2)); // 1000 units: more than one factor holds
    EXPECT_EQ(by1 * by2, 1000);
    ASSERT_TRUE(dp::WatchdogFactors(2570, by1, by2)); // 257 units: a prime, rounded up to 258
    EXPECT_EQ(by1 * by2, 258);
    EXPECT_FALSE(dp::WatchdogFactors(0, by1, by2));
    EXPECT_FALSE(dp::WatchdogFactors(255u * 255u * 10u + 1u, by1, by2));
}

TEST(ConfigBytes, GeneralAndSpecialIdentifiers)
{
    dp::SImageLengths lengths;
    std::string strError;
    // 0x17: 8 input bytes; 0x27: 8 output bytes; 0x31: 2 bytes both ways; 0x60: 1 output word;
    // 0x00: empty slot.
    std::vector<std::uint8_t> general = {0x17, 0x27, 0x31, 0x60, 0x00};
    ASSERT_TRUE(dp::ConfigImageLengths(general.data(), general.size(), lengths, strError));
    EXPECT_EQ(lengths.dwInputs, 8u + 2u);
    EXPECT_EQ(lengths.dwOutputs, 8u + 2u + 2u);
    // 0xC2: special, output and input length bytes, 2 manufacturer bytes; output length byte
    // 0x43 (4 words), input length byte 0x0F (16 bytes), then the 2 manufacturer bytes.
    // 0x40: special, one input length byte, no manufacturer bytes; length 0x80|0x01: 2 bytes.
    std::vector<std::uint8_t> special = {0xC2, 0x43, 0x0F, 0xAB, 0xCD, 0x40, 0x81};
    ASSERT_TRUE(dp::ConfigImageLengths(special.data(), special.size(), lengths, strError));
    EXPECT_EQ(lengths.dwOutputs, 8u);
    EXPECT_EQ(lengths.dwInputs, 16u + 2u);
    std::vector<std::uint8_t> cut = {0x17, 0xC2, 0x43};
    EXPECT_FALSE(dp::ConfigImageLengths(cut.data(), cut.size(), lengths, strError));
    EXPECT_EQ(strError, "byte 1: special identifier runs past the end");
    std::vector<std::uint8_t> fifteen = {0x0F};
    EXPECT_FALSE(dp::ConfigImageLengths(fifteen.data(), fifteen.size(), lengths, strError));
}

} // namespace
