// Diagnoses in words, from byte strings worked out by hand from the Slave_Diag layout.
#include "dp/DiagnosisText.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

std::string Words(const std::vector<std::uint8_t>& abyDiag, const dp::SDiagTexts* pTexts = nullptr)
{
    dp::SSlaveDiag diag;
    EXPECT_TRUE(dp::DecodeSlaveDiag(dp::ByteView(abyDiag.data(), abyDiag.size()), diag));
    return dp::DiagnosisText(diag, pTexts);
}

TEST(DiagnosisText, StationStatusBitByBit)
{
    // A slave after power-up: not ready (1.1), parameters wanted (2.0), the always-one bit
    // (2.2), no master yet.
    EXPECT_EQ(Words({0x02, 0x05, 0x00, 0xFF, 0x0A, 0x35}),
              "not ready, parameters wanted; no master; ident 0x0A35");
    // Exchanging under master 2 with its watchdog on (2.3): nothing to say.
    EXPECT_EQ(Words({0x00, 0x0C, 0x00, 0x02, 0x0A, 0x35}), "watchdog on; master 2; ident 0x0A35");
    EXPECT_EQ(dp::StationStatusText(0x00, 0x04, 0x00), "ok");
    // Every bit that means something, each byte in turn.
    EXPECT_EQ(dp::StationStatusText(0xFF, 0x00, 0x00),
              "station not existent, not ready, configuration fault, parameter fault, locked by "
              "another master, invalid response, function not supported, extended diagnosis");
    EXPECT_EQ(dp::StationStatusText(0x00, 0xBF, 0x80),
              "parameters wanted, static diagnosis, watchdog on, freeze, sync, deactivated, "
              "diagnosis overflow");
}

TEST(DiagnosisText, ExtendedBlocksOfEachKind)
{
    // Ext_Diag; a device block of 3 bytes (header 0x03: 5a 04), an identifier block of 2
    // (header 0x42: modules 0 and 3 from 0x09), a channel block: module 1 (0x81), input
    // channel 2 (0x42), a word with overload (0xA4: type 101, error 4).
    const std::vector<std::uint8_t> abyDiag = {0x08, 0x0C, 0x00, 0x02, 0x12, 0x34, 0x03,
                                               0x5A, 0x04, 0x42, 0x09, 0x81, 0x42, 0xA4};
    EXPECT_EQ(Words(abyDiag), "extended diagnosis, watchdog on; master 2; ident 0x1234; device: "
                              "5a 04; modules with diagnosis: 0, 3; module 1 channel 2 (input, "
                              "word): overload");

    // With the device description's texts: bit 1 of 0x5A is set; bits 8-10 hold 4.
    dp::SDiagTexts texts;
    texts.unitBits[1] = "pump dry";
    texts.unitBits[0] = "never shown, bit 0 is clear";
    texts.unitAreas.push_back({8, 10, {{4, "hand mode"}, {1, "auto mode"}}});
    EXPECT_EQ(Words(abyDiag, &texts),
              "extended diagnosis, watchdog on; master 2; ident 0x1234; device: 5a 04 (pump dry, "
              "hand mode); modules with diagnosis: 0, 3; module 1 channel 2 (input, word): "
              "overload");
}

TEST(DiagnosisText, ChannelErrorsStandardAndTheMakers)
{
    // Output channel 5 of module 0 (0x80, 0x85), bit type, line break (0x26: 001 00110).
    EXPECT_EQ(Words({0x08, 0x04, 0x00, 0x02, 0x00, 0x01, 0x80, 0x85, 0x26}),
              "extended diagnosis; master 2; ident 0x0001; module 0 channel 5 (output, bit): line "
              "break");
    // Error 17 is the maker's: its text from the description, else its number.
    const std::vector<std::uint8_t> abyMaker = {0x08, 0x04, 0x00, 0x02, 0x00,
                                                0x01, 0x83, 0xC0, 0x91};
    EXPECT_EQ(Words(abyMaker), "extended diagnosis; master 2; ident 0x0001; module 3 channel 0 "
                               "(input/output, byte): maker's error 17");
    dp::SDiagTexts texts;
    texts.channelErrors[17] = "filter clogged";
    EXPECT_EQ(Words(abyMaker, &texts), "extended diagnosis; master 2; ident 0x0001; module 3 "
                                       "channel 0 (input/output, byte): filter clogged");
    EXPECT_STREQ(dp::ChannelErrorText(1), "short circuit");
    EXPECT_STREQ(dp::ChannelErrorText(9), "error");
    EXPECT_EQ(dp::ChannelErrorText(10), nullptr);
}

TEST(DiagnosisText, AMalformedBlockIsSaidAndNothingBeyondItRead)
{
    // A device block that claims 5 bytes where 2 are left.
    EXPECT_EQ(Words({0x08, 0x04, 0x00, 0x02, 0x00, 0x01, 0x05, 0x01}),
              "extended diagnosis; master 2; ident 0x0001; malformed extended diagnosis");
}

} // namespace
