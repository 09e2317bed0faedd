// Diagnoses in words, from byte strings worked out by hand from the Slave_Diag layout.
#include "dp/services/DiagnosisText.h"

#include <gtest/gtest.h>

#include <string>
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
    // (header 0x42: modules 0 and 3 from 0x09, slots 1 and 4), a channel block: module 1
    // (0x81, slot 2), input channel 2 (0x42), a word with overload (0xA4: type 101, error 4).
    const std::vector<std::uint8_t> abyDiag = {0x08, 0x0C, 0x00, 0x02, 0x12, 0x34, 0x03,
                                               0x5A, 0x04, 0x42, 0x09, 0x81, 0x42, 0xA4};
    EXPECT_EQ(Words(abyDiag), "extended diagnosis, watchdog on; master 2; ident 0x1234; device: "
                              "5a 04; modules with diagnosis: slot 1, slot 4; slot 2 channel 2 "
                              "(input, word): overload");

    // With the device description's texts: bit 1 of 0x5A is set; bits 8-10 hold 4.
    dp::SDiagTexts texts;
    texts.unitBits[1] = "pump dry";
    texts.unitBits[0] = "never shown, bit 0 is clear";
    texts.unitAreas.push_back({8, 10, {{4, "hand mode"}, {1, "auto mode"}}});
    EXPECT_EQ(Words(abyDiag, &texts),
              "extended diagnosis, watchdog on; master 2; ident 0x1234; device: 5a 04 (pump dry, "
              "hand mode); modules with diagnosis: slot 1, slot 4; slot 2 channel 2 (input, word): "
              "overload");
}

TEST(DiagnosisText, ChannelErrorsStandardAndTheMakers)
{
    // Output channel 5 of module 0 (0x80, 0x85: slot 1), bit type, line break (0x26: 001
    // 00110).
    EXPECT_EQ(Words({0x08, 0x04, 0x00, 0x02, 0x00, 0x01, 0x80, 0x85, 0x26}),
              "extended diagnosis; master 2; ident 0x0001; slot 1 channel 5 (output, bit): line "
              "break");
    // Error 17 is the maker's: its text from the description, else its number.
    const std::vector<std::uint8_t> abyMaker = {0x08, 0x04, 0x00, 0x02, 0x00,
                                                0x01, 0x83, 0xC0, 0x91};
    EXPECT_EQ(Words(abyMaker), "extended diagnosis; master 2; ident 0x0001; slot 4 channel 0 "
                               "(input/output, byte): maker's error 17");
    dp::SDiagTexts texts;
    texts.channelErrors[17] = "filter clogged";
    EXPECT_EQ(Words(abyMaker, &texts), "extended diagnosis; master 2; ident 0x0001; slot 4 "
                                       "channel 0 (input/output, byte): filter clogged");
    EXPECT_STREQ(dp::ChannelErrorText(1), "short circuit");
    EXPECT_STREQ(dp::ChannelErrorText(9), "error");
    EXPECT_EQ(dp::ChannelErrorText(10), nullptr);
}

TEST(DiagnosisText, ModulesAreSaidBySlotAndNamedWhereTheConfigurationNamesThem)
{
    // Identifier block: modules 0, 1 and 4 (0x13); channel blocks of module 1 (0x81) and of
    // module 4 (0x84), beyond the named ones.
    const std::vector<std::uint8_t> abyDiag = {0x08, 0x04, 0x00, 0x02, 0x12, 0x34, 0x42,
                                               0x13, 0x81, 0x42, 0x21, 0x84, 0x40, 0x21};
    dp::SDiagTexts texts;
    texts.moduleNames = {"8 DI", "AI 4x12 bit", "", "8 DO"};
    EXPECT_EQ(Words(abyDiag, &texts),
              "extended diagnosis; master 2; ident 0x1234; modules with diagnosis: slot 1 (8 DI), "
              "slot 2 (AI 4x12 bit), slot 5; slot 2 (AI 4x12 bit) channel 2 (input, bit): short "
              "circuit; slot 5 channel 0 (input, bit): short circuit");
}

TEST(DiagnosisText, LongModuleNamesKeepTheWordsBounded)
{
    // Every one of 63 identifier bytes set, each slot named at length, then channel blocks.
    dp::SDiagTexts texts;
    texts.moduleNames.assign(504, std::string(100000, 'm'));
    std::vector<std::uint8_t> abyDiag = {0x08, 0x04, 0x00, 0x02, 0x12, 0x34, 0x40 | 63};
    abyDiag.insert(abyDiag.end(), 62, 0xFF);
    for (int i = 0; i < 50; ++i)
        abyDiag.insert(abyDiag.end(), {0x81, 0x42, 0x21});
    const std::string strWords = Words(abyDiag, &texts);
    EXPECT_EQ(strWords.size(), dp::kMaxDiagnosisTextLength);
    EXPECT_EQ(strWords.rfind("extended diagnosis; master 2; ident 0x1234; modules with "
                             "diagnosis: slot 1 (mmm",
                             0),
              0u);
    EXPECT_EQ(strWords.substr(strWords.size() - 16), " ... (cut short)");
}

TEST(DiagnosisText, AMalformedBlockIsSaidAndNothingBeyondItRead)
{
    // A device block that claims 5 bytes where 2 are left.
    EXPECT_EQ(Words({0x08, 0x04, 0x00, 0x02, 0x00, 0x01, 0x05, 0x01}),
              "extended diagnosis; master 2; ident 0x0001; malformed extended diagnosis");
}

// The most areas a description may declare, all beginning in the block's first byte: from
// each bit 0-7, 1 to 32 bits long, each with a text for all clear and for all set.
dp::SDiagTexts CrowdedAreas()
{
    dp::SDiagTexts texts;
    for (std::uint32_t dwFirst = 0; dwFirst < 8; ++dwFirst)
    {
        for (std::uint32_t dwWidth = 1; dwWidth <= 32; ++dwWidth)
        {
            const std::uint32_t dwLast = dwFirst + dwWidth - 1;
            const std::string strName = std::to_string(dwFirst) + "-" + std::to_string(dwLast);
            const std::uint32_t dwAllSet = dwWidth == 32 ? 0xFFFFFFFFu : (1u << dwWidth) - 1;
            texts.unitAreas.push_back(
                {dwFirst, dwLast, {{0, strName + " clear"}, {dwAllSet, strName + " set"}}});
        }
    }
    EXPECT_EQ(texts.unitAreas.size(), dp::kMaxUnitDiagAreas);
    return texts;
}

TEST(DiagnosisText, EmptyDeviceBlocksAgainstTheMostAreasSayOnlyTheirBytes)
{
    // A slave that sends as many empty device blocks as a diagnosis holds: no area begins in
    // them, so none is worded, however many the description declares.
    const dp::SDiagTexts texts = CrowdedAreas();
    std::vector<std::uint8_t> abyDiag = {0x08, 0x04, 0x00, 0x02, 0x12, 0x34};
    std::string strExpected = "extended diagnosis; master 2; ident 0x1234";
    while (abyDiag.size() < 244)
    {
        abyDiag.push_back(0x01);
        strExpected += "; device: ";
    }
    EXPECT_EQ(Words(abyDiag, &texts), strExpected);
}

TEST(DiagnosisText, FullDeviceBlocksAgainstTheMostAreasAreCutShort)
{
    // Seven blocks of 32 bytes all set: every area is set in each, 256 words a block.
    const dp::SDiagTexts texts = CrowdedAreas();
    std::vector<std::uint8_t> abyDiag = {0x08, 0x04, 0x00, 0x02, 0x12, 0x34};
    for (int nBlock = 0; nBlock < 7; ++nBlock)
    {
        abyDiag.push_back(0x21);
        abyDiag.insert(abyDiag.end(), 32, 0xFF);
    }
    const std::string strWords = Words(abyDiag, &texts);
    EXPECT_LE(strWords.size(), dp::kMaxDiagnosisTextLength);
    std::string strBytes = "ff";
    for (int i = 1; i < 32; ++i)
        strBytes += " ff";
    EXPECT_EQ(strWords.rfind("extended diagnosis; master 2; ident 0x1234; device: " + strBytes +
                                 " (0-0 set, 0-1 set, 0-2 set, ",
                             0),
              0u)
        << strWords.substr(0, 300);
    EXPECT_EQ(strWords.find("clear"), std::string::npos);
    EXPECT_EQ(strWords.substr(strWords.size() - 16), " ... (cut short)");
}

TEST(DiagnosisText, AnAreaWhoseValueDoesNotFit32BitsHasNoText)
{
    // Bits 0-39 with only bit 39 set: 2^39, no text's value; not 0 with the top bits lost.
    dp::SDiagTexts texts;
    texts.unitAreas.push_back({0, 39, {{0, "ok"}}});
    EXPECT_EQ(
        Words({0x08, 0x04, 0x00, 0x02, 0x12, 0x34, 0x06, 0x00, 0x00, 0x00, 0x00, 0x80}, &texts),
        "extended diagnosis; master 2; ident 0x1234; device: 00 00 00 00 80");
    EXPECT_EQ(
        Words({0x08, 0x04, 0x00, 0x02, 0x12, 0x34, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00}, &texts),
        "extended diagnosis; master 2; ident 0x1234; device: 00 00 00 00 00 "
        "(ok)");
}

} // namespace
