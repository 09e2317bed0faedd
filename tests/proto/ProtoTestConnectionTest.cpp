// Connection tests: the slave's stored status decides, unless the board refused the test.
#include "tests/proto/ProtoFixture.h"

using namespace prototest;

namespace
{

class ProtoTestConnectionTest : public ProtoFixture
{
protected:
    void SetUp() override
    {
        ProtoFixture::SetUp();
        Open();
    }

    std::int32_t Test(std::uint8_t byAddr)
    {
        SJobParam record = Record(JobTestConn, 0, 0, nullptr);
        record.tsConSpec.byL2Addr = byAddr;
        return m_pProto->TestConnection(&record);
    }
};

TEST_F(ProtoTestConnectionTest, ExchangingSlavesAreConnected)
{
    EXPECT_EQ(0, Test(3));
    EXPECT_EQ(0, Test(4)); // state 3
    EXPECT_EQ(43, +m_params.aSlaves[4].wState);
}

TEST_F(ProtoTestConnectionTest, StoredStatusDecidesWhenOnlyTheMasterIsDown)
{
    m_board.m_byMasterMode = 0x00;
    EXPECT_EQ(0, Test(4)); // the table was refreshed: 43
    EXPECT_TRUE(Traced("CMovaProto::TestConnection: TestDPConnections(teErrorNumber = 50)\n"));
    EXPECT_EQ(-850, Test(9)); // no slave there: status 40
}

TEST_F(ProtoTestConnectionTest, AfterCloseTheHostsRecordIsNoLongerTouched)
{
    ASSERT_EQ(0, m_pProto->Close());
    m_params.aSlaves[4].wState = 0x7777; // the host may reuse its record once closed
    EXPECT_EQ(MOVAPROTO_NOT_OPEN, Test(4));
    EXPECT_EQ(0x7777, +m_params.aSlaves[4].wState);
    EXPECT_TRUE(Traced("CMovaProto::TestConnection: not opened\n"));
}

TEST_F(ProtoTestConnectionTest, DisturbedConfiguredSlave)
{
    m_board.m_slaves[5].byState = 0;
    EXPECT_EQ(-800, Test(5)); // the test failed without an error number
    EXPECT_EQ(0, Test(3));
}

TEST_F(ProtoTestConnectionTest, UnconfiguredSlaveWithABadStateGivesItsStatus)
{
    m_board.m_slaves[9] = {4, {}, {}};
    EXPECT_EQ(-44, Test(9));
}

TEST_F(ProtoTestConnectionTest, RefusedStateListIsNotReportedAsConnected)
{
    ASSERT_EQ(42, +m_params.aSlaves[3].wState);
    m_board.Then("BoardReadSlaveStates", [](SBoardRequest& r) { r.wError = 0x90; });
    EXPECT_EQ(-817, Test(3)); // the stored 42 is stale
}

TEST_F(ProtoTestConnectionTest, AddressesBeyondTheSlavesAreOutsideTheTableButStillTested)
{
    // Entries 126 and 127 exist in the table but no slave status is ever written there: the
    // host's own value must not come back as "connected".
    m_params.aSlaves[126].wState = 0;
    m_params.aSlaves[127].wState = 42;
    for (std::uint8_t byAddr : {126, 127, 128, 255})
    {
        m_board.ClearCalls();
        EXPECT_EQ(-899, Test(byAddr)) << int{byAddr};
        // The test refreshes the whole table whatever the address.
        EXPECT_THAT(m_board.CallNames(), testing::ElementsAre("BoardReadSlaveStates"));
    }
    EXPECT_EQ(-900, m_pProto->TestConnection(nullptr));
}

} // namespace
