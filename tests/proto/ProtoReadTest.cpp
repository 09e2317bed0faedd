// Reads: bits and byte strings from the image snapshot, byte order, ranges and failures.
#include "tests/proto/ProtoFixture.h"

using namespace prototest;
using testing::ElementsAre;

namespace
{

class ProtoReadTest : public ProtoFixture
{
protected:
    void SetUp() override
    {
        ProtoFixture::SetUp();
        m_board.m_slaves[3].inputs = {0x40, 0x00, 0x01, 0x20, 0x01, 0x02, 0x03, 0x04};
        m_board.m_slaves[3].outputs = {0x05, 0x06, 0x07, 0x08, 0xA0, 0xA1, 0xA2, 0xA3};
        Open();
    }
};

TEST_F(ProtoReadTest, BitsReadAsTheirWeight)
{
    std::uint16_t wSet = 0xFFFF;
    std::uint16_t wClear = 0xFFFF;
    std::uint16_t wFar = 0;
    SJobParam batch[3] = {Record(JobRead, 0, 1, &wSet), Record(JobRead, 0, 1, &wClear),
                          Record(JobRead, 2, 1, &wFar)};
    batch[0].wBitOffset = 6;
    batch[1].wBitOffset = 5;
    batch[2].wBitOffset = 13; // bit 5 of image byte 3
    EXPECT_EQ(0, m_pProto->Read(batch, 3));
    EXPECT_EQ(64, wSet);
    EXPECT_EQ(0, wClear);
    EXPECT_EQ(32, wFar);
    for (const SJobParam& record : batch)
        EXPECT_EQ(0, +record.lResult);
    EXPECT_THAT(m_board.CallNames(), ElementsAre("BoardReadInput", "BoardReadOutput"));
    EXPECT_THAT(ProtoMessages(), ElementsAre("CMovaProto::Read(): Entering function\n",
                                             "CMovaProto::Read(): Exiting function ()\n"));
}

TEST_F(ProtoReadTest, ByteStringsAndByteOrder)
{
    std::uint8_t aby64[8] = {};
    std::uint8_t aby24[3] = {};
    std::uint8_t aby12[2] = {};
    std::uint16_t w16 = 0;
    std::uint32_t dw32 = 0;
    SJobParam batch[5] = {Record(JobRead, 0, 64, aby64), Record(JobRead, 4, 24, aby24),
                          Record(JobRead, 6, 12, aby12), Record(JobRead, 4, 16, &w16),
                          Record(JobRead, 0, 32, &dw32)};
    m_board.m_slaves[3].inputs = {1, 2, 3, 4, 5, 6, 7, 8};
    batch[0].bSwap = batch[1].bSwap = batch[3].bSwap = 1;
    batch[4].bOutBuffer = 1; // from the output image, swapped
    batch[4].bSwap = 1;
    EXPECT_EQ(0, m_pProto->Read(batch, 5));
    EXPECT_EQ((std::vector<std::uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}),
              std::vector<std::uint8_t>(aby64, aby64 + 8));
    EXPECT_EQ((std::vector<std::uint8_t>{5, 6, 7}), std::vector<std::uint8_t>(aby24, aby24 + 3));
    EXPECT_EQ((std::vector<std::uint8_t>{7, 8}), std::vector<std::uint8_t>(aby12, aby12 + 2));
    EXPECT_EQ(0x0506, w16);
    EXPECT_EQ(0x05060708u, dw32);
    EXPECT_TRUE(Traced("CMovaProto::Read: how to swap 3 bytes?\n"));
}

TEST_F(ProtoReadTest, RecordsOutsideTheImageKeepTheBatchGoing)
{
    std::uint8_t abyValue[4] = {};
    std::uint16_t wBit = 0;
    SJobParam batch[3] = {Record(JobRead, 6, 32, abyValue), Record(JobRead, 7, 1, &wBit),
                          Record(JobRead, 0, 8, abyValue)};
    batch[1].wBitOffset = 8; // byte 8 of an 8-byte image
    batch[2].tsConSpec.wLenIn = 0;
    EXPECT_EQ(0, m_pProto->Read(batch, 3));
    for (const SJobParam& record : batch)
        EXPECT_EQ(-963, +record.lResult);
}

TEST_F(ProtoReadTest, AFailedImageReadFailsEveryRecordInRange)
{
    m_board.Then("BoardReadInput", [](SBoardRequest& r) { r.bySlaveState = 4; });
    std::uint8_t abyValue[2] = {};
    SJobParam batch[3] = {Record(JobRead, 0, 16, abyValue), Record(JobRead, 7, 16, abyValue),
                          Record(JobRead, 2, 16, abyValue)};
    batch[2].bOutBuffer = 1;
    EXPECT_EQ(-844, m_pProto->Read(batch, 3));
    EXPECT_EQ(-844, +batch[0].lResult);
    EXPECT_EQ(-963, +batch[1].lResult);
    EXPECT_EQ(-844, +batch[2].lResult); // the read-back worked, the batch failed all the same
    EXPECT_TRUE(Traced("CMovaProto::Read: ReadFromDPSlave(teErrorNumber = 44)\n"));

    m_board.Then("BoardReadOutput", [](SBoardRequest& r) { r.byMasterState = 0x40; });
    EXPECT_EQ(-851, m_pProto->Read(batch, 1));
    EXPECT_TRUE(Traced("CMovaProto::Read: ReadLocalOutBuffer(teErrorNumber = 51)\n"));
}

TEST_F(ProtoReadTest, EmptyBatchStillRefreshesBothImages)
{
    SJobParam record = Record(JobRead, 0, 8, nullptr);
    EXPECT_EQ(0, m_pProto->Read(&record, 0));
    EXPECT_THAT(m_board.CallNames(), ElementsAre("BoardReadInput", "BoardReadOutput"));
    EXPECT_EQ(0x40, m_abyIn[0]);
    EXPECT_EQ(0xA3, m_abyOut[7]);
    EXPECT_EQ(12345, +record.lResult);
}

TEST_F(ProtoReadTest, NoValueBufferIsANullPointerResult)
{
    std::uint8_t abyValue[1] = {};
    SJobParam batch[3] = {Record(JobRead, 0, 8, abyValue), Record(JobRead, 0, 8, nullptr),
                          Record(JobRead, 0, 1, nullptr)};
    m_board.Then("BoardReadInput", [](SBoardRequest& r) { r.wError = 0x88; });
    EXPECT_EQ(-809, m_pProto->Read(batch, 3)); // the overall result ignores the null records
    EXPECT_EQ(-809, +batch[0].lResult);
    EXPECT_EQ(-900, +batch[1].lResult);
    EXPECT_EQ(-900, +batch[2].lResult);
    EXPECT_TRUE(Traced("CMovaProto::Read: pPara->pData == NULL || pbyBuffer + "
                       "pPara->wByteOffset == NULL\n"));

    // Records that all lack a buffer still learn that the board call failed, and so does
    // the batch: no success where the board refused.
    m_board.Then("BoardReadInput", [](SBoardRequest& r) { r.wError = 0x88; });
    EXPECT_EQ(-809, m_pProto->Read(&batch[1], 2));
    EXPECT_EQ(-900, +batch[1].lResult);

    // An image buffer the batch does not give counts the same.
    SJobParam fromOutputs = Record(JobRead, 0, 8, abyValue);
    fromOutputs.bOutBuffer = 1;
    fromOutputs.tsConSpec.lpvBufferOut = nullptr;
    EXPECT_EQ(0, m_pProto->Read(&fromOutputs, 1));
    EXPECT_EQ(-900, +fromOutputs.lResult);
    EXPECT_EQ(-900, m_pProto->Read(nullptr, 1));
}

} // namespace
