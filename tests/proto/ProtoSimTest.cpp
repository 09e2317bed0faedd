// The protocol object on the simulated board's default plant: the whole path from records to
// the board and back.
#include "proto/MovaProto.h"
#include "sim/SimControl.h"
#include "tests/support/PrivateBoard.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

class ProtoSimTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(korix::ResetBoard(1).bOk);
        m_params.Board = 1;
        for (std::uint8_t byAddr : {3, 4, 5})
            m_params.aSlaves[m_params.ucNumberOfDPSlaves++].byL2Addr = byAddr;
        m_pProto = new CMovaProto;
        m_pProto->AddRef();
        ASSERT_EQ(0, m_pProto->Open(&m_protoParams, &m_params));
    }

    void TearDown() override { m_pProto->Release(); }

    SJobParam Record(std::uint8_t byAddr, void* pIn, void* pOut)
    {
        SJobParam record{};
        const SConSpec& slave = m_params.aSlaves[byAddr - 3];
        record.tsConSpec.byL2Addr = byAddr;
        record.tsConSpec.wLenIn = slave.wLenIn;
        record.tsConSpec.wLenOut = slave.wLenOut;
        record.tsConSpec.lpvBufferIn = pIn;
        record.tsConSpec.lpvBufferOut = pOut;
        return record;
    }

    SProtoParams m_protoParams{5, 0};
    SCommParams m_params{};
    CMovaProto* m_pProto = nullptr;
};

TEST_F(ProtoSimTest, WrittenValuesComeBackThroughTheLoopbackSlaves)
{
    std::uint8_t abyOut3[8] = {};
    std::uint32_t dwValue = 0x11223344;
    std::uint16_t wBit = 1;
    SJobParam write[2] = {Record(3, nullptr, abyOut3), Record(3, nullptr, abyOut3)};
    write[0].dwCommand = write[1].dwCommand = JobWrite;
    write[0].wBitLength = 32;
    write[0].bSwap = 1;
    write[0].pData = &dwValue;
    write[1].wByteOffset = 7;
    write[1].wBitOffset = 2;
    write[1].wBitLength = 1;
    write[1].pData = &wBit;
    ASSERT_EQ(0, m_pProto->Write(write, 2));

    std::uint8_t abyIn3[8] = {};
    std::uint32_t dwBack = 0;
    std::uint16_t wBitBack = 0;
    SJobParam read[2] = {Record(3, abyIn3, abyOut3), Record(3, abyIn3, abyOut3)};
    read[0].wBitLength = 32;
    read[0].bSwap = 1;
    read[0].pData = &dwBack;
    read[1].wByteOffset = 7;
    read[1].wBitOffset = 2;
    read[1].wBitLength = 1;
    read[1].pData = &wBitBack;
    ASSERT_EQ(0, m_pProto->Read(read, 2));
    EXPECT_EQ(0x11223344u, dwBack);
    EXPECT_EQ(4, wBitBack);
    EXPECT_EQ(0x11, abyIn3[0]); // big-endian in the image
}

TEST_F(ProtoSimTest, FullImagesOfTheLargestSlave)
{
    std::uint8_t abyOut5[244];
    for (int i = 0; i < 244; ++i)
        abyOut5[i] = static_cast<std::uint8_t>(255 - i);
    SJobParam send = Record(5, nullptr, abyOut5);
    ASSERT_EQ(0, m_pProto->Write(&send, 0)); // an empty batch sends the image as it is

    std::uint8_t abyIn5[244] = {};
    std::uint8_t abyLast[4] = {};
    SJobParam read = Record(5, abyIn5, nullptr);
    read.wByteOffset = 240;
    read.wBitLength = 32;
    read.pData = abyLast;
    ASSERT_EQ(0, m_pProto->Read(&read, 1));
    EXPECT_EQ(0, std::memcmp(abyOut5, abyIn5, 244));
    EXPECT_EQ(255 - 243, abyLast[3]);
}

TEST_F(ProtoSimTest, TimeVaryingSlaveAndConnectionTests)
{
    std::uint8_t abyIn4[8] = {};
    std::uint8_t byConstant = 0;
    SJobParam read = Record(4, abyIn4, nullptr);
    read.wByteOffset = 7;
    read.wBitLength = 8;
    read.pData = &byConstant;
    ASSERT_EQ(0, m_pProto->Read(&read, 1));
    EXPECT_EQ(0x5A, byConstant);

    SJobParam test = Record(4, nullptr, nullptr);
    EXPECT_EQ(0, m_pProto->TestConnection(&test));
    ASSERT_TRUE(korix::SetSlaveState(1, 4, 1).bOk);
    EXPECT_EQ(-800, m_pProto->TestConnection(&test)); // a configured slave is down
    ASSERT_TRUE(korix::InjectError(1, korix::OpBoardReadSlaveStates, 0x87, 1).bOk);
    EXPECT_EQ(-808, m_pProto->TestConnection(&test));
    ASSERT_TRUE(korix::SetSlaveState(1, 4, 3).bOk);
    EXPECT_EQ(0, m_pProto->TestConnection(&test));
}

} // namespace
