// Telegrams against byte strings worked out by hand from the published layouts. Each string
// is written field by field; the check sum is the sum of the bytes from DA on, modulo 256.
#include "dp/fdl/Telegram.h"
#include "dp/fdl/FunctionCodes.h"
#include "dp/fdl/TelegramParser.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(const dp::STelegram& telegram)
{
    std::uint8_t abyOut[dp::kMaxTelegramSize];
    std::size_t nSize = dp::EncodeTelegram(telegram, abyOut, sizeof abyOut);
    return Bytes(abyOut, abyOut + nSize);
}

std::vector<dp::STelegram> ParseAll(const Bytes& bytes, dp::CTelegramParser& parser)
{
    std::vector<dp::STelegram> found;
    std::size_t nAt = 0;
    dp::STelegram telegram;
    while (nAt < bytes.size())
    {
        nAt += parser.Feed(bytes.data() + nAt, bytes.size() - nAt);
        while (parser.Take(telegram))
            found.push_back(telegram);
    }
    return found;
}

std::vector<dp::STelegram> ParseAll(const Bytes& bytes)
{
    dp::CTelegramParser parser;
    return ParseAll(bytes, parser);
}

dp::STelegram Telegram(dp::teFrame eFrame, std::uint8_t byDa, std::uint8_t bySa, std::uint8_t byFc,
                       const Bytes& data = {})
{
    dp::STelegram t;
    t.eFrame = eFrame;
    t.byDa = byDa;
    t.bySa = bySa;
    t.byFc = byFc;
    t.byDataLength = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), t.abyData);
    return t;
}

dp::STelegram WithSaps(dp::STelegram t, std::uint8_t byDsap, std::uint8_t bySsap)
{
    t.bHasDsap = t.bHasSsap = true;
    t.byDsap = byDsap;
    t.bySsap = bySsap;
    return t;
}

// The FDL status request of master 2 to station 3 (SD1).
const Bytes kFdlStatus = {0x10,       // SD1
                          0x03, 0x02, // DA 3, SA 2
                          0x49,       // FC: request, FCB 0, FCV 0, code 9 (FDL status)
                          0x4E,       // FCS = 03 + 02 + 49
                          0x16};      // ED

// Slave_Diag request: SD2 from master SAP 62 to slave SAP 60, first frame after a restart.
const Bytes kDiagRequest = {0x68, 0x05, 0x05, 0x68, // SD2, LE = LEr = 3 + 2 SAP bytes, SD2
                            0x83,                   // DA 3 + address extension
                            0x82,                   // SA 2 + address extension
                            0x6D,                   // FC: request, FCB 1, FCV 0, SRD high
                            0x3C,                   // DSAP 60 (Slave_Diag)
                            0x3E,                   // SSAP 62 (master)
                            0xEC,                   // FCS: 83+82+6D+3C+3E = 1EC
                            0x16};

// The slave's diagnosis answer: not ready, parameters requested, ident 0x1234.
const Bytes kDiagAnswer = {0x68, 0x0B, 0x0B, 0x68, // LE = 3 + 2 SAPs + 6 data
                           0x82, 0x83,             // DA 2 + ext, SA 3 + ext
                           0x08,                   // FC: response, slave, DL (data low)
                           0x3E, 0x3C,             // DSAP 62, SSAP 60
                           0x02,                   // status 1: station not ready
                           0x05,                   // status 2: Prm_Req + the bit that is always 1
                           0x00,                   // status 3
                           0xFF,                   // master address: none yet
                           0x12, 0x34,             // ident number
                           0xD3,                   // FCS: 82+83+08+3E+3C+02+05+00+FF+12+34 = 2D3
                           0x16};

// Data_Exchange, two output bytes, no SAPs (default SAP).
const Bytes kDataExchange = {0x68, 0x05, 0x05, 0x68, // LE = 3 + 2 data
                             0x03, 0x02,             // DA 3, SA 2
                             0x7D,                   // FC: request, FCB 1, FCV 1, SRD high
                             0xAA, 0x55,             // outputs
                             0x81,                   // FCS: 03+02+7D+AA+55 = 181
                             0x16};

// Global_Control "clear data" to every station.
const Bytes kGlobalClear = {0x68, 0x07, 0x07, 0x68, // LE = 3 + 2 SAPs + 2 data
                            0xFF,                   // DA 127 (broadcast) + ext
                            0x82,                   // SA 2 + ext
                            0x46,                   // FC: request, SDN high
                            0x3A, 0x3E,             // DSAP 58 (Global_Control), SSAP 62
                            0x02, 0x00,             // control: Clear_Data; group select: all
                            0x41,                   // FCS: FF+82+46+3A+3E+02+00 = 241
                            0x16};

// SD3: 8 data units without SAPs.
const Bytes kSd3 = {0xA2,                                           // SD3
                    0x02, 0x03,                                     // DA 2, SA 3
                    0x08,                                           // FC: response DL
                    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, // data
                    0x31,                                           // FCS: 02+03+08+24 = 31
                    0x16};

const Bytes kToken = {0xDC, 0x02, 0x02}; // SD4, DA 2, SA 2
const Bytes kShortAck = {0xE5};

TEST(TelegramEncoding, FramesComeOutByteForByte)
{
    EXPECT_EQ(
        Encode(Telegram(dp::teFrame::Sd1, 3, 2, dp::RequestFc(dp::ReqFdlStatus, false, false))),
        kFdlStatus);
    EXPECT_EQ(
        Encode(WithSaps(
            Telegram(dp::teFrame::Sd2, 3, 2, dp::RequestFc(dp::ReqSrdHigh, true, false)), 60, 62)),
        kDiagRequest);
    EXPECT_EQ(Encode(WithSaps(Telegram(dp::teFrame::Sd2, 2, 3, dp::ResponseFc(dp::RespDataLow),
                                       {0x02, 0x05, 0x00, 0xFF, 0x12, 0x34}),
                              62, 60)),
              kDiagAnswer);
    EXPECT_EQ(Encode(Telegram(dp::teFrame::Sd2, 3, 2, dp::RequestFc(dp::ReqSrdHigh, true, true),
                              {0xAA, 0x55})),
              kDataExchange);
    EXPECT_EQ(Encode(WithSaps(Telegram(dp::teFrame::Sd2, 127, 2,
                                       dp::RequestFc(dp::ReqSdnHigh, false, false), {0x02, 0x00}),
                              58, 62)),
              kGlobalClear);
    EXPECT_EQ(Encode(Telegram(dp::teFrame::Sd3, 2, 3, 0x08, {1, 2, 3, 4, 5, 6, 7, 8})), kSd3);
    EXPECT_EQ(Encode(Telegram(dp::teFrame::Sd4, 2, 2, 0)), kToken);
    EXPECT_EQ(Encode(Telegram(dp::teFrame::ShortAck, 0, 0, 0)), kShortAck);
}

TEST(TelegramEncoding, RefusesWhatItsFrameCannotCarry)
{
    EXPECT_TRUE(Encode(Telegram(dp::teFrame::Sd1, 3, 2, 0x49, {0x01})).empty()); // SD1 with data
    EXPECT_TRUE(Encode(WithSaps(Telegram(dp::teFrame::Sd1, 3, 2, 0x49), 60, 62)).empty());
    EXPECT_TRUE(Encode(Telegram(dp::teFrame::Sd3, 3, 2, 0x08, {1, 2, 3})).empty()); // not 8 units
    EXPECT_TRUE(Encode(Telegram(dp::teFrame::Sd1, 128, 2, 0x49)).empty());          // address
    dp::STelegram tooLong = WithSaps(Telegram(dp::teFrame::Sd2, 3, 2, 0x7D), 1, 2);
    tooLong.byDataLength = 245; // 247 units: LE would be 250
    EXPECT_TRUE(Encode(tooLong).empty());
    tooLong.byDataLength = 244; // 246 units: the most, LE 249
    Bytes largest = Encode(tooLong);
    ASSERT_EQ(largest.size(), dp::kMaxTelegramSize);
    EXPECT_EQ(largest[1], 249);
    std::uint8_t abySmall[5];
    EXPECT_EQ(dp::EncodeTelegram(Telegram(dp::teFrame::Sd1, 3, 2, 0x49), abySmall, sizeof abySmall),
              0u);
}

TEST(TelegramParsing, ReadsEachFrameWithItsFields)
{
    auto found = ParseAll(kDiagAnswer);
    ASSERT_EQ(found.size(), 1u);
    const dp::STelegram& diag = found[0];
    EXPECT_EQ(diag.eFrame, dp::teFrame::Sd2);
    EXPECT_EQ(diag.byDa, 2);
    EXPECT_EQ(diag.bySa, 3);
    EXPECT_EQ(diag.byFc, 0x08);
    EXPECT_FALSE(dp::IsRequestFc(diag.byFc));
    EXPECT_EQ(dp::FcCode(diag.byFc), dp::RespDataLow);
    EXPECT_TRUE(diag.bHasDsap && diag.bHasSsap);
    EXPECT_EQ(diag.byDsap, 62);
    EXPECT_EQ(diag.bySsap, 60);
    ASSERT_EQ(diag.byDataLength, 6);
    EXPECT_EQ(Bytes(diag.abyData, diag.abyData + 6), (Bytes{0x02, 0x05, 0x00, 0xFF, 0x12, 0x34}));

    found = ParseAll(kFdlStatus);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].eFrame, dp::teFrame::Sd1);
    EXPECT_EQ(dp::FcCode(found[0].byFc), dp::ReqFdlStatus);
    EXPECT_TRUE(dp::IsRequestFc(found[0].byFc));
    EXPECT_FALSE(dp::FcFcv(found[0].byFc));

    found = ParseAll(kDataExchange);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].bHasDsap);
    EXPECT_TRUE(dp::FcFcb(found[0].byFc) && dp::FcFcv(found[0].byFc));
    EXPECT_EQ(found[0].byDataLength, 2);

    found = ParseAll(kGlobalClear);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].byDa, dp::kBroadcastAddress);
    EXPECT_EQ(found[0].byDsap, 58);

    found = ParseAll(kSd3);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].eFrame, dp::teFrame::Sd3);
    EXPECT_EQ(found[0].byDataLength, 8);
    EXPECT_EQ(found[0].abyData[7], 8);

    found = ParseAll(kToken);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].eFrame, dp::teFrame::Sd4);
    found = ParseAll(kShortAck);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].eFrame, dp::teFrame::ShortAck);
}

TEST(TelegramParsing, FindsTelegramsWhateverTheChunks)
{
    Bytes stream;
    for (const Bytes* p : {&kFdlStatus, &kDiagRequest, &kDiagAnswer, &kShortAck, &kDataExchange,
                           &kSd3, &kToken, &kGlobalClear})
        stream.insert(stream.end(), p->begin(), p->end());
    dp::CTelegramParser whole;
    EXPECT_EQ(ParseAll(stream, whole).size(), 8u);
    dp::CTelegramParser byteWise;
    std::size_t nFound = 0;
    dp::STelegram t;
    for (std::uint8_t by : stream)
    {
        ASSERT_EQ(byteWise.Feed(&by, 1), 1u);
        nFound += byteWise.Take(t) ? 1 : 0;
    }
    EXPECT_EQ(nFound, 8u);
    EXPECT_EQ(byteWise.Counters().dwSkippedBytes, 0u);
}

TEST(TelegramParsing, ResynchronisesAfterDamage)
{
    // Noise (including start delimiters that lead nowhere) before a telegram.
    Bytes noisy = {0x00, 0xFF, 0x68, 0x05, 0x06, 0x10, 0x99, 0xA2, 0x01};
    noisy.insert(noisy.end(), kDiagAnswer.begin(), kDiagAnswer.end());
    // The A2 candidate needs 14 bytes and swallows the start of the answer; it fails on
    // its end delimiter and the answer is found behind it.
    auto found = ParseAll(noisy);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].bySa, 3);

    // A wrong check sum loses that telegram only.
    Bytes badSum = kDataExchange;
    badSum[9] ^= 0x01;
    badSum.insert(badSum.end(), kFdlStatus.begin(), kFdlStatus.end());
    dp::CTelegramParser parser;
    found = ParseAll(badSum, parser);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].eFrame, dp::teFrame::Sd1);
    EXPECT_EQ(parser.Counters().dwBadCheckSums, 1u);

    // LE and LEr differ; LE below 3; LE above 249; second SD2 wrong; end delimiter wrong.
    for (Bytes bad : {Bytes{0x68, 0x05, 0x06, 0x68}, Bytes{0x68, 0x02, 0x02, 0x68},
                      Bytes{0x68, 0xFA, 0xFA, 0x68}, Bytes{0x68, 0x05, 0x05, 0x69}})
    {
        bad.insert(bad.end(), kToken.begin(), kToken.end());
        found = ParseAll(bad);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].eFrame, dp::teFrame::Sd4);
    }
    Bytes badEnd = kFdlStatus;
    badEnd[5] = 0x17;
    badEnd.insert(badEnd.end(), kShortAck.begin(), kShortAck.end());
    found = ParseAll(badEnd);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].eFrame, dp::teFrame::ShortAck);

    // An address extension bit in SD1, which has no room for a SAP byte.
    Bytes sd1Ext = {0x10, 0x83, 0x02, 0x49, 0xCE, 0x16};
    EXPECT_TRUE(ParseAll(sd1Ext).empty());
    // SD2 with more extension bits than data units.
    Bytes sd2Ext = {0x68, 0x04, 0x04, 0x68, 0x83, 0x82, 0x6D, 0x3C, 0xAE, 0x16};
    EXPECT_TRUE(ParseAll(sd2Ext).empty());
}

TEST(TelegramParsing, AnIdleLineGivesUpATruncatedTelegram)
{
    // A length that promises 32 units, cut off; the line goes quiet; then a whole telegram
    // followed. Without the idle the parser would keep waiting for the 32 units.
    Bytes truncated = {0x68, 0x23, 0x23, 0x68, 0x03, 0x02, 0x7D};
    truncated.insert(truncated.end(), kFdlStatus.begin(), kFdlStatus.end());
    dp::CTelegramParser parser;
    EXPECT_TRUE(ParseAll(truncated, parser).empty());
    ASSERT_TRUE(parser.NoteIdle());
    dp::STelegram t;
    ASSERT_TRUE(parser.Take(t));
    EXPECT_EQ(t.eFrame, dp::teFrame::Sd1);
    EXPECT_EQ(parser.Counters().dwTruncated, 1u);
    EXPECT_FALSE(parser.NoteIdle());
    EXPECT_EQ(parser.BufferedBytes(), 0u);

    // Reset forgets a half telegram.
    parser.Feed(kDiagAnswer.data(), 8);
    parser.Reset();
    EXPECT_EQ(ParseAll(Bytes(kDiagAnswer.begin() + 8, kDiagAnswer.end()), parser).size(), 0u);
}

TEST(TelegramParsing, SurvivesRandomNoiseAndKeepsFindingTelegrams)
{
    // Pseudo-random noise with telegrams strewn in: every telegram behind a stretch of noise
    // that ends in an idle moment is found.
    std::uint32_t dwState = 0x12345678;
    auto next = [&dwState]
    {
        dwState ^= dwState << 13;
        dwState ^= dwState >> 17;
        dwState ^= dwState << 5;
        return static_cast<std::uint8_t>(dwState);
    };
    dp::CTelegramParser parser;
    std::size_t nFound = 0;
    dp::STelegram t;
    for (int nRound = 0; nRound < 500; ++nRound)
    {
        Bytes noise(next() % 40);
        for (auto& by : noise)
            by = next();
        ParseAll(noise, parser);
        while (parser.NoteIdle())
            parser.Take(t);
        for (const dp::STelegram& telegram : ParseAll(kDiagAnswer, parser))
            nFound += telegram.bySa == 3 && telegram.byDataLength == 6 ? 1 : 0;
        ASSERT_LE(parser.BufferedBytes(), dp::kMaxTelegramSize);
    }
    EXPECT_EQ(nFound, 500u);
}

} // namespace
