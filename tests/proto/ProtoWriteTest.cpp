// Writes: composing bits and byte strings into the output image and sending it in one piece.
#include "tests/proto/ProtoFixture.h"

using namespace prototest;
using testing::ElementsAre;

namespace
{

class ProtoWriteTest : public ProtoFixture
{
protected:
    void SetUp() override
    {
        ProtoFixture::SetUp();
        Open();
    }

    std::vector<std::uint8_t> Sent() const { return m_board.m_slaves.at(3).outputs; }
};

TEST_F(ProtoWriteTest, BitsAreSetAndClearedInPlace)
{
    m_abyOut[1] = 0x81;
    std::uint16_t wOn = 0x0100; // any non-zero word sets the bit
    std::uint16_t wOff = 0;
    SJobParam batch[2] = {Record(JobWrite, 1, 1, &wOn), Record(JobWrite, 1, 1, &wOff)};
    batch[0].wBitOffset = 3;
    batch[1].wBitOffset = 7;
    EXPECT_EQ(0, m_pProto->Write(batch, 2));
    EXPECT_EQ(0x09, m_abyOut[1]);
    EXPECT_EQ(0x09, Sent().at(1));
    EXPECT_EQ(8u, Sent().size()); // the whole image goes out
    EXPECT_THAT(m_board.CallNames(), ElementsAre("BoardWriteOutput"));
    EXPECT_THAT(ProtoMessages(), ElementsAre("CMovaProto::Write(): Entering function\n",
                                             "CMovaProto::Write(): Exiting function ()\n"));
}

TEST_F(ProtoWriteTest, SwappedValueGoesOutBigEndianAndStaysSwappedInTheHostsBuffer)
{
    std::uint16_t wValue = 0x1234;
    std::uint8_t aby24[3] = {1, 2, 3};
    SJobParam batch[2] = {Record(JobWrite, 2, 16, &wValue), Record(JobWrite, 5, 24, aby24)};
    batch[0].bSwap = batch[1].bSwap = 1;
    EXPECT_EQ(0, m_pProto->Write(batch, 2));
    EXPECT_EQ(0x12, Sent().at(2));
    EXPECT_EQ(0x34, Sent().at(3));
    EXPECT_EQ(0x3412, wValue);
    std::vector<std::uint8_t> sent = Sent();
    EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3}),
              std::vector<std::uint8_t>(sent.begin() + 5, sent.end()));
    EXPECT_TRUE(Traced("CMovaProto::ReadOut: how to swap 3 bytes?\n"));
}

TEST_F(ProtoWriteTest, OutOfRangeRecordDoesNotStopTheSend)
{
    std::uint32_t dwValue = 0xAABBCCDD;
    SJobParam batch[3] = {Record(JobWrite, 0, 32, &dwValue), Record(JobWrite, 6, 32, &dwValue),
                          Record(JobWrite, 4, 32, &dwValue)};
    EXPECT_EQ(0, m_pProto->Write(batch, 3));
    EXPECT_EQ(0, +batch[0].lResult);
    EXPECT_EQ(-963, +batch[1].lResult);
    EXPECT_EQ(0, +batch[2].lResult);
    EXPECT_EQ(0xDD, Sent().at(4));
}

TEST_F(ProtoWriteTest, FailedSendOverwritesEveryRecord)
{
    m_board.Then("BoardWriteOutput", [](SBoardRequest& r) { r.wError = 0x81; });
    std::uint8_t byValue = 1;
    SJobParam batch[2] = {Record(JobWrite, 0, 8, &byValue), Record(JobWrite, 9, 8, &byValue)};
    EXPECT_EQ(-802, m_pProto->Write(batch, 2));
    EXPECT_EQ(-802, +batch[0].lResult);
    EXPECT_EQ(-802, +batch[1].lResult);
    EXPECT_TRUE(Traced("CMovaProto::Write: WriteToDPSlave(teErrorNumber = 2)\n"));

    // An empty batch still sends the image, and reports nothing even when that fails.
    m_board.Then("BoardWriteOutput", [](SBoardRequest& r) { r.wError = 0x81; });
    EXPECT_EQ(0, m_pProto->Write(batch, 0));
    auto calls = m_board.CallNames();
    EXPECT_EQ(2, std::count(calls.begin(), calls.end(), "BoardWriteOutput"));
}

TEST_F(ProtoWriteTest, NoOutputImageMeans860ForEveryRecord)
{
    std::uint8_t byValue = 1;
    SJobParam batch[2] = {Record(JobWrite, 0, 8, &byValue), Record(JobWrite, 1, 8, &byValue)};
    batch[0].tsConSpec.lpvBufferOut = nullptr;
    EXPECT_EQ(-860, m_pProto->Write(batch, 2));
    EXPECT_EQ(-860, +batch[0].lResult);
    EXPECT_EQ(-860, +batch[1].lResult);
    EXPECT_TRUE(m_board.Calls().empty());
    EXPECT_EQ(0, m_abyOut[1]); // nothing composed either
    EXPECT_TRUE(Traced("CMovaProto::Write: lpvBufferOut = '0'\n"));
}

TEST_F(ProtoWriteTest, NoValueBufferIsANullPointerResult)
{
    std::uint8_t byValue = 0x77;
    SJobParam batch[3] = {Record(JobWrite, 0, 8, nullptr), Record(JobWrite, 1, 1, nullptr),
                          Record(JobWrite, 2, 8, &byValue)};
    EXPECT_EQ(0, m_pProto->Write(batch, 3));
    EXPECT_EQ(-900, +batch[0].lResult);
    EXPECT_EQ(-900, +batch[1].lResult);
    EXPECT_EQ(0, +batch[2].lResult);
    EXPECT_EQ(0x77, Sent().at(2));
    EXPECT_TRUE(Traced("CMovaProto::Write: (BYTE *) pPara->tsConSpec.lpvBufferOut) + "
                       "pPara->wByteOffset == NULL || (BYTE *) pPara->pData == NULL\n"));
    EXPECT_EQ(-900, m_pProto->Write(nullptr, 1));
}

} // namespace
