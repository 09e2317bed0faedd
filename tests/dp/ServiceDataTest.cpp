// The service data records, and the reads' requests and answers, against byte strings worked out
// by hand from the published layouts of the DP telegrams, field by field; never against the
// other half of the codec alone.
#include "dp/services/ServiceData.h"
#include "dp/services/SlaveReads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

dp::ByteView View(const Bytes& bytes)
{
    return dp::ByteView(bytes.data(), bytes.size());
}

Bytes Of(dp::ByteView view)
{
    return Bytes(view.begin(), view.end());
}

// Set_Prm of a master that locks the slave with a 200 ms watchdog (10 ms x 4 x 5), asks for a
// minimum station delay of 11 bit times, names ident 0x0A35, puts the slave in group 2
// (bit 1) and hands it three bytes of user parameter data.
const Bytes kSetPrm = {0x88,              // station status: Lock_Req (bit 7) + WD_On (bit 3)
                       0x04,              // WD_Fact_1
                       0x05,              // WD_Fact_2
                       0x0B,              // min TSDR: 11 bit times
                       0x0A, 0x35,        // ident number, high byte first
                       0x02,              // group ident: group 2
                       0x00, 0x10, 0xFF}; // user parameter data

TEST(SetPrm, FieldsSitWhereTheLayoutPutsThem)
{
    dp::SSetPrm prm;
    ASSERT_TRUE(dp::DecodeSetPrm(View(kSetPrm), prm));
    EXPECT_EQ(prm.byStationStatus, dp::kPrmLockRequest | dp::kPrmWatchdogOn);
    EXPECT_EQ(prm.byWatchdogFactor1, 4);
    EXPECT_EQ(prm.byWatchdogFactor2, 5);
    EXPECT_EQ(prm.byMinTsdr, 11);
    EXPECT_EQ(prm.wIdent, 0x0A35);
    EXPECT_EQ(prm.byGroup, 0x02);
    EXPECT_EQ(Of(prm.userPrm), (Bytes{0x00, 0x10, 0xFF}));

    const Bytes userPrm = {0x00, 0x10, 0xFF};
    dp::SSetPrm written;
    written.byStationStatus = dp::kPrmLockRequest | dp::kPrmWatchdogOn;
    written.byWatchdogFactor1 = 4;
    written.byWatchdogFactor2 = 5;
    written.byMinTsdr = 11;
    written.wIdent = 0x0A35;
    written.byGroup = 0x02;
    written.userPrm = View(userPrm);
    std::uint8_t abyOut[dp::kPrmFixedBytes + dp::kMaxUserPrmBytes];
    const std::size_t nSize = dp::EncodeSetPrm(written, abyOut, sizeof abyOut);
    EXPECT_EQ(Bytes(abyOut, abyOut + nSize), kSetPrm);
}

TEST(SetPrm, LengthsOutsideTheServiceAreRefused)
{
    dp::SSetPrm prm;
    // Six bytes: the group ident is missing.
    EXPECT_FALSE(dp::DecodeSetPrm(View(Bytes{0x08, 1, 1, 0, 0x0A, 0x35}), prm));
    // Seven bytes are a whole Set_Prm without user parameter data.
    ASSERT_TRUE(dp::DecodeSetPrm(View(Bytes{0x40, 1, 1, 0, 0x0A, 0x35, 0}), prm));
    EXPECT_EQ(prm.byStationStatus, dp::kPrmUnlockRequest);
    EXPECT_TRUE(prm.userPrm.empty());
    // 244 bytes are the most one telegram carries; 245 are not Set_Prm.
    EXPECT_TRUE(dp::DecodeSetPrm(View(Bytes(244, 0)), prm));
    EXPECT_EQ(prm.userPrm.size(), 237u);
    EXPECT_FALSE(dp::DecodeSetPrm(View(Bytes(245, 0)), prm));

    const Bytes tooMuch(dp::kMaxUserPrmBytes + 1, 0);
    dp::SSetPrm written;
    written.userPrm = View(tooMuch);
    std::uint8_t abyOut[300];
    EXPECT_EQ(dp::EncodeSetPrm(written, abyOut, sizeof abyOut), 0u);
    written.userPrm = dp::ByteView(tooMuch.data(), 3);
    EXPECT_EQ(dp::EncodeSetPrm(written, abyOut, 9), 0u) << "10 bytes do not fit 9";
    EXPECT_EQ(dp::EncodeSetPrm(written, abyOut, 10), 10u);
}

// A slave's diagnosis after a parameter fault: not ready, configuration and parameter fault,
// extended diagnosis; it asks for parameters, its watchdog is on; master 2 parameterised it;
// ident 0x0A35. Then its extended diagnosis in four blocks:
const Bytes kSlaveDiag = {
    0x4E,       // status 1: Prm_Fault (6) + Ext_Diag (3) + Cfg_Fault (2) + Station_Not_Ready (1)
    0x0D,       // status 2: WD_On (3) + always 1 (2) + Prm_Req (0)
    0x80,       // status 3: Ext_Diag_Overflow
    0x02,       // master address
    0x0A, 0x35, // ident number
    // Device block: header 00 + length 4 (header included), three maker's bytes.
    0x04, 0xDE, 0xAD, 0x01,
    // Identifier block: header 01 + length 3; identifiers 1 and 9 report (bit 1 of the first
    // byte, bit 1 of the second).
    0x43, 0x02, 0x02,
    // Channel block: header 10 + identifier 5; input (01) channel 3; type 101 (word), error
    // 00110 (line break).
    0x85, 0x43, 0xA6,
    // Channel block: identifier 63; input and output (11) channel 63; type 001 (bit), error
    // 10000 (the first of the maker's).
    0xBF, 0xFF, 0x30};

TEST(SlaveDiag, FixedBytesAndBlocksAreNamed)
{
    dp::SSlaveDiag diag;
    ASSERT_TRUE(dp::DecodeSlaveDiag(View(kSlaveDiag), diag));
    EXPECT_EQ(diag.byStatus1, dp::kDiag1PrmFault | dp::kDiag1ExtDiag | dp::kDiag1ConfigFault |
                                  dp::kDiag1StationNotReady);
    EXPECT_EQ(diag.byStatus2, dp::kDiag2WatchdogOn | dp::kDiag2AlwaysOne | dp::kDiag2PrmRequest);
    EXPECT_EQ(diag.byStatus3, dp::kDiag3ExtDiagOverflow);
    EXPECT_EQ(diag.byMasterAddress, 2);
    EXPECT_EQ(diag.wIdent, 0x0A35);
    EXPECT_EQ(diag.extended.size(), kSlaveDiag.size() - 6);

    dp::CDiagBlockReader reader(diag.extended);
    dp::SDiagBlock block;
    ASSERT_TRUE(reader.Next(block));
    EXPECT_EQ(block.eKind, dp::teDiagBlock::Device);
    EXPECT_EQ(Of(block.content), (Bytes{0xDE, 0xAD, 0x01}));

    ASSERT_TRUE(reader.Next(block));
    EXPECT_EQ(block.eKind, dp::teDiagBlock::Identifier);
    EXPECT_EQ(Of(block.content), (Bytes{0x02, 0x02}));

    ASSERT_TRUE(reader.Next(block));
    EXPECT_EQ(block.eKind, dp::teDiagBlock::Channel);
    EXPECT_EQ(block.byModule, 5);
    EXPECT_EQ(block.byDirection, dp::kChannelInput);
    EXPECT_EQ(block.byChannel, 3);
    EXPECT_EQ(block.byType, 5);  // word
    EXPECT_EQ(block.byError, 6); // line break

    ASSERT_TRUE(reader.Next(block));
    EXPECT_EQ(block.eKind, dp::teDiagBlock::Channel);
    EXPECT_EQ(block.byModule, 63);
    EXPECT_EQ(block.byDirection, dp::kChannelInput | dp::kChannelOutput);
    EXPECT_EQ(block.byChannel, 63);
    EXPECT_EQ(block.byType, 1); // bit
    EXPECT_EQ(block.byError, 16);

    EXPECT_FALSE(reader.Next(block));
    EXPECT_FALSE(reader.Malformed());
}

TEST(SlaveDiag, EncodesTheFixedBytesOfASlaveBeforeAnyParameters)
{
    // A slave that no master has parameterised: not ready, asks for parameters, master 0xFF.
    dp::SSlaveDiag diag;
    diag.byStatus1 = dp::kDiag1StationNotReady;
    diag.byStatus2 = dp::kDiag2AlwaysOne | dp::kDiag2PrmRequest;
    diag.wIdent = 0x0A35;
    std::uint8_t abyOut[dp::kMaxDiagBytes];
    std::size_t nSize = dp::EncodeSlaveDiag(diag, abyOut, sizeof abyOut);
    EXPECT_EQ(Bytes(abyOut, abyOut + nSize), (Bytes{0x02, 0x05, 0x00, 0xFF, 0x0A, 0x35}));

    const Bytes device = {0x03, 0x5A, 0x07};
    diag.extended = View(device);
    nSize = dp::EncodeSlaveDiag(diag, abyOut, sizeof abyOut);
    EXPECT_EQ(Bytes(abyOut, abyOut + nSize),
              (Bytes{0x02, 0x05, 0x00, 0xFF, 0x0A, 0x35, 0x03, 0x5A, 0x07}));
    EXPECT_EQ(dp::EncodeSlaveDiag(diag, abyOut, 8), 0u);
}

TEST(SlaveDiag, ShortOrOverlongDiagnosisIsRefused)
{
    dp::SSlaveDiag diag;
    EXPECT_FALSE(dp::DecodeSlaveDiag(View(Bytes{0x02, 0x05, 0x00, 0xFF, 0x0A}), diag));
    EXPECT_TRUE(dp::DecodeSlaveDiag(View(Bytes(244, 0)), diag));
    EXPECT_FALSE(dp::DecodeSlaveDiag(View(Bytes(245, 0)), diag));
}

TEST(DiagBlocks, AMalformedLengthStopsTheWalk)
{
    dp::SDiagBlock block;
    {
        // A device block that says 5 bytes where 3 are left.
        const Bytes extended = {0x05, 0x01, 0x02};
        dp::CDiagBlockReader reader(View(extended));
        EXPECT_FALSE(reader.Next(block));
        EXPECT_TRUE(reader.Malformed());
    }
    {
        // Length 0 cannot even hold the header; the walk must not stand still on it.
        const Bytes extended = {0x40, 0x01};
        dp::CDiagBlockReader reader(View(extended));
        EXPECT_FALSE(reader.Next(block));
        EXPECT_TRUE(reader.Malformed());
    }
    {
        // A good device block, then a channel block cut after two of its three bytes.
        const Bytes extended = {0x02, 0x11, 0x81, 0x42};
        dp::CDiagBlockReader reader(View(extended));
        ASSERT_TRUE(reader.Next(block));
        EXPECT_EQ(Of(block.content), Bytes{0x11});
        EXPECT_FALSE(reader.Next(block));
        EXPECT_TRUE(reader.Malformed());
        EXPECT_FALSE(reader.Next(block)) << "a malformed walk stays ended";
    }
    {
        // No extended diagnosis: an end, not a fault.
        dp::CDiagBlockReader reader(dp::ByteView{});
        EXPECT_FALSE(reader.Next(block));
        EXPECT_FALSE(reader.Malformed());
    }
}

std::vector<dp::SConfigIdentifier> ReadAll(const Bytes& config, std::string& strError,
                                           std::size_t& nErrorAt)
{
    std::vector<dp::SConfigIdentifier> identifiers;
    dp::CConfigReader reader(View(config));
    dp::SConfigIdentifier identifier;
    while (reader.Next(identifier))
        identifiers.push_back(identifier);
    strError = reader.Error() == nullptr ? "" : reader.Error();
    nErrorAt = reader.ErrorAt();
    return identifiers;
}

TEST(ConfigIdentifiers, GeneralIdentifiersGiveLengthUnitAndConsistency)
{
    const Bytes config = {
        0x17, // 0001 0111: input, 8 bytes
        0x20, // 0010 0000: output, 1 byte
        0xF1, // 1111 0001: consistent words, input and output, 2 words each
        0x6F, // 0110 1111: output, 16 words
        0x00, // an empty slot
    };
    std::string strError;
    std::size_t nErrorAt = 0;
    const auto ids = ReadAll(config, strError, nErrorAt);
    EXPECT_EQ(strError, "");
    ASSERT_EQ(ids.size(), 5u);

    EXPECT_FALSE(ids[0].bSpecial);
    EXPECT_EQ(ids[0].wInputBytes, 8);
    EXPECT_EQ(ids[0].wOutputBytes, 0);
    EXPECT_FALSE(ids[0].bWords);
    EXPECT_FALSE(ids[0].bConsistent);
    EXPECT_EQ(ids[0].nSize, 1u);

    EXPECT_EQ(ids[1].wInputBytes, 0);
    EXPECT_EQ(ids[1].wOutputBytes, 1);

    EXPECT_EQ(ids[2].wInputBytes, 4);
    EXPECT_EQ(ids[2].wOutputBytes, 4);
    EXPECT_TRUE(ids[2].bWords);
    EXPECT_TRUE(ids[2].bConsistent);

    EXPECT_EQ(ids[3].wOutputBytes, 32);
    EXPECT_TRUE(ids[3].bWords);
    EXPECT_FALSE(ids[3].bConsistent);

    EXPECT_FALSE(ids[4].bSpecial) << "0x00 is a free place, not a special identifier";
    EXPECT_EQ(ids[4].wInputBytes + ids[4].wOutputBytes, 0);
    EXPECT_EQ(ids[4].nSize, 1u);

    // The identifier bytes from their parts.
    EXPECT_EQ(dp::GeneralIdentifier(8, true, false, false, false), 0x17);
    EXPECT_EQ(dp::GeneralIdentifier(1, false, true, false, false), 0x20);
    EXPECT_EQ(dp::GeneralIdentifier(2, true, true, true, true), 0xF1);
    EXPECT_EQ(dp::GeneralIdentifier(16, false, true, true, false), 0x6F);
    EXPECT_EQ(dp::GeneralIdentifier(17, true, false, false, false), 0) << "17 units need two";
    EXPECT_EQ(dp::GeneralIdentifier(0, true, false, false, false), 0);
    EXPECT_EQ(dp::GeneralIdentifier(4, false, false, false, false), 0);
}

TEST(ConfigIdentifiers, SpecialIdentifiersCarryLengthBytesAndMakerBytes)
{
    const Bytes config = {// 11 00 0010: an output and an input length byte, then two maker's bytes.
                          0xC2,
                          0xC3, // output: consistent (7) words (6), 4 units -> 8 bytes
                          0x3F, // input: 64 bytes
                          0xAB, 0xCD,
                          // 01 00 0000: an input length byte, no maker's bytes.
                          0x40, 0x00,       // input: 1 byte
                                            // 10 00 0001: an output length byte, one maker's byte.
                          0x81, 0x13, 0xEE, // output: 20 bytes
                                            // 00 00 0011: no length byte, three maker's bytes.
                          0x03, 0x01, 0x02, 0x03};
    std::string strError;
    std::size_t nErrorAt = 0;
    const auto ids = ReadAll(config, strError, nErrorAt);
    EXPECT_EQ(strError, "");
    ASSERT_EQ(ids.size(), 4u);

    EXPECT_TRUE(ids[0].bSpecial);
    EXPECT_EQ(ids[0].wOutputBytes, 8);
    EXPECT_EQ(ids[0].wInputBytes, 64);
    EXPECT_TRUE(ids[0].bConsistent);
    EXPECT_TRUE(ids[0].bWords);
    EXPECT_EQ(Of(ids[0].maker), (Bytes{0xAB, 0xCD}));
    EXPECT_EQ(ids[0].nSize, 5u);

    EXPECT_TRUE(ids[1].bSpecial);
    EXPECT_EQ(ids[1].wInputBytes, 1);
    EXPECT_EQ(ids[1].wOutputBytes, 0);
    EXPECT_TRUE(ids[1].maker.empty());
    EXPECT_EQ(ids[1].nSize, 2u);

    EXPECT_EQ(ids[2].wInputBytes, 0);
    EXPECT_EQ(ids[2].wOutputBytes, 20);
    EXPECT_EQ(Of(ids[2].maker), Bytes{0xEE});
    EXPECT_EQ(ids[2].nSize, 3u);

    EXPECT_TRUE(ids[3].bSpecial);
    EXPECT_EQ(ids[3].wInputBytes + ids[3].wOutputBytes, 0);
    EXPECT_EQ(Of(ids[3].maker), (Bytes{0x01, 0x02, 0x03}));
    EXPECT_EQ(ids[3].nSize, 4u);
}

TEST(ConfigIdentifiers, BrokenIdentifiersAreRefusedAtTheirByte)
{
    std::string strError;
    std::size_t nErrorAt = 0;
    // 15 maker's bytes is not a count the format allows.
    auto ids = ReadAll(Bytes{0x17, 0x0F}, strError, nErrorAt);
    EXPECT_EQ(ids.size(), 1u);
    EXPECT_EQ(strError, "special identifier with 15 manufacturer bytes");
    EXPECT_EQ(nErrorAt, 1u);
    // An output and an input length byte announced, one there.
    ids = ReadAll(Bytes{0x27, 0xC0, 0x07}, strError, nErrorAt);
    EXPECT_EQ(ids.size(), 1u);
    EXPECT_EQ(strError, "special identifier runs past the end");
    EXPECT_EQ(nErrorAt, 1u);
    // Two maker's bytes announced, one there.
    ids = ReadAll(Bytes{0x02, 0x01}, strError, nErrorAt);
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ(strError, "special identifier runs past the end");
    EXPECT_EQ(nErrorAt, 0u);
    // The reader stays stopped after a refusal.
    const Bytes broken = {0x0F, 0x17};
    dp::CConfigReader reader(View(broken));
    dp::SConfigIdentifier identifier;
    EXPECT_FALSE(reader.Next(identifier));
    EXPECT_FALSE(reader.Next(identifier));
    EXPECT_NE(reader.Error(), nullptr);
}

TEST(GlobalControl, CommandAndGroupSelect)
{
    // Clear_Data (bit 1) to groups 1 and 8 (bits 0 and 7).
    const Bytes clear = {0x02, 0x81};
    dp::SGlobalControl control;
    ASSERT_TRUE(dp::DecodeGlobalControl(View(clear), control));
    EXPECT_EQ(control.byControl, dp::kControlClearData);
    EXPECT_EQ(control.byGroups, 0x81);

    // Sync (bit 5) + Freeze (bit 3) to every group.
    control.byControl = dp::kControlSync | dp::kControlFreeze;
    control.byGroups = 0;
    std::uint8_t abyOut[2];
    ASSERT_EQ(dp::EncodeGlobalControl(control, abyOut, sizeof abyOut), 2u);
    EXPECT_EQ(Bytes(abyOut, abyOut + 2), (Bytes{0x28, 0x00}));
    EXPECT_EQ(dp::EncodeGlobalControl(control, abyOut, 1), 0u);

    EXPECT_FALSE(dp::DecodeGlobalControl(View(Bytes{0x02}), control));
    EXPECT_FALSE(dp::DecodeGlobalControl(View(Bytes{0x02, 0x00, 0x00}), control));
}

// The reads any master may make: a request is SD2 with the SAPs alone, the answer carries the
// bytes from the service's SAP back to the master's.
namespace reads
{

dp::STelegram Answer(std::uint8_t byFc, int nDsap, int nSsap, const Bytes& data)
{
    dp::STelegram answer;
    answer.eFrame = dp::teFrame::Sd2;
    answer.byDa = 2;
    answer.bySa = 5;
    answer.byFc = byFc;
    answer.bHasDsap = nDsap >= 0;
    answer.bHasSsap = nSsap >= 0;
    answer.byDsap = static_cast<std::uint8_t>(nDsap < 0 ? 0 : nDsap);
    answer.bySsap = static_cast<std::uint8_t>(nSsap < 0 ? 0 : nSsap);
    answer.byDataLength = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), answer.abyData);
    return answer;
}

TEST(SlaveReads, RequestsAreSd2WithTheSapsAlone)
{
    // RD_Inp to slave 5 from master 2, SRD high with FCB and FCV (0x7D): 68 LE=5 LEr 68,
    // DA 5|80 (a DSAP follows), SA 2|80 (an SSAP follows), FC, DSAP 56, SSAP 62, FCS, 16.
    std::uint8_t abyWire[dp::kMaxTelegramSize];
    const auto wire = [&](dp::teSlaveRead eRead, bool bFcb, bool bFcv)
    {
        const std::size_t nBytes = dp::EncodeTelegram(dp::SlaveReadRequest(eRead, 5, 2, bFcb, bFcv),
                                                      abyWire, sizeof abyWire);
        return Bytes(abyWire, abyWire + nBytes);
    };
    EXPECT_EQ(wire(dp::teSlaveRead::Inputs, true, true),
              (Bytes{0x68, 0x05, 0x05, 0x68, 0x85, 0x82, 0x7D, 0x38, 0x3E, 0xFA, 0x16}));
    // RD_Outp (57), FCB clear, FCV set: FC 0x5D.
    EXPECT_EQ(wire(dp::teSlaveRead::Outputs, false, true),
              (Bytes{0x68, 0x05, 0x05, 0x68, 0x85, 0x82, 0x5D, 0x39, 0x3E, 0xDB, 0x16}));
    // Get_Cfg (59), the first request: FCB set, FCV clear, FC 0x6D.
    EXPECT_EQ(wire(dp::teSlaveRead::Config, true, false),
              (Bytes{0x68, 0x05, 0x05, 0x68, 0x85, 0x82, 0x6D, 0x3B, 0x3E, 0xED, 0x16}));
    EXPECT_STREQ(dp::SlaveReadName(dp::teSlaveRead::Config), "Get_Cfg");
}

TEST(SlaveReads, AnswersGiveTheirBytesOnlyFromTheServicesSap)
{
    dp::ByteView data; // a view into the answer: each answer lives as long as its check
    // Data low (08) and data high (0A), from SAP 56 to 62.
    const dp::STelegram inputs = Answer(0x08, 62, 56, {0x11, 0x22});
    EXPECT_EQ(dp::DecodeSlaveRead(dp::teSlaveRead::Inputs, inputs, data),
              dp::teSlaveReadAnswer::Data);
    EXPECT_EQ(Of(data), (Bytes{0x11, 0x22}));
    EXPECT_EQ(data.data(), inputs.abyData);
    const dp::STelegram outputs = Answer(0x0A, 62, 57, {});
    EXPECT_EQ(dp::DecodeSlaveRead(dp::teSlaveRead::Outputs, outputs, data),
              dp::teSlaveReadAnswer::Data)
        << "a slave without outputs";
    EXPECT_TRUE(data.empty());
    const dp::STelegram config = Answer(0x08, 62, 59, {0x13, 0x21});
    EXPECT_EQ(dp::DecodeSlaveRead(dp::teSlaveRead::Config, config, data),
              dp::teSlaveReadAnswer::Data);
    EXPECT_EQ(Of(data), (Bytes{0x13, 0x21}));

    // RS without data: not served. Anything else is no answer to the service.
    dp::STelegram refused = Answer(0x03, -1, -1, {});
    refused.eFrame = dp::teFrame::Sd1;
    EXPECT_EQ(dp::DecodeSlaveRead(dp::teSlaveRead::Inputs, refused, data),
              dp::teSlaveReadAnswer::NotServed);
    const struct
    {
        const char* pszWhat;
        dp::teSlaveRead eRead;
        dp::STelegram answer;
    } aMalformed[] = {
        {"another SAP's answer", dp::teSlaveRead::Inputs, Answer(0x08, 62, 57, {0x11})},
        {"SAPs not swapped", dp::teSlaveRead::Inputs, Answer(0x08, 56, 62, {0x11})},
        {"no SAPs: a Data_Exchange answer", dp::teSlaveRead::Inputs, Answer(0x08, -1, -1, {0x11})},
        {"a request", dp::teSlaveRead::Inputs, Answer(0x4D, 62, 56, {0x11})},
        {"a master's station type", dp::teSlaveRead::Inputs, Answer(0x28, 62, 56, {0x11})},
        {"RS with data", dp::teSlaveRead::Inputs, Answer(0x03, 62, 56, {0x11})},
        {"no configuration at all", dp::teSlaveRead::Config, Answer(0x08, 62, 59, {})},
        {"a special identifier cut short", dp::teSlaveRead::Config,
         Answer(0x08, 62, 59, {0x13, 0xC2, 0x43})},
        {"more than a service carries", dp::teSlaveRead::Inputs,
         Answer(0x08, 62, 56, Bytes(245, 0))},
    };
    for (const auto& c : aMalformed)
    {
        data = dp::ByteView(c.answer.abyData, 1);
        EXPECT_EQ(dp::DecodeSlaveRead(c.eRead, c.answer, data), dp::teSlaveReadAnswer::Malformed)
            << c.pszWhat;
        EXPECT_TRUE(data.empty()) << c.pszWhat;
    }
    dp::STelegram ack;
    ack.eFrame = dp::teFrame::ShortAck;
    EXPECT_EQ(dp::DecodeSlaveRead(dp::teSlaveRead::Inputs, ack, data),
              dp::teSlaveReadAnswer::Malformed);
}

} // namespace reads

} // namespace
