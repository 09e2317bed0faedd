// Our DP master as an application of its FDL station, on a multi-drop line in virtual time with
// a PLC master written for the tests: each keeps its own slaves exchanging, another master's
// requests and its slaves' answers are never taken as ours, and either master's death leaves
// the other going on.
#include "tests/dp/MultiDropLine.h"
#include "tests/dp/ScriptedLine.h"
#include "tests/dp/ScriptedSlave.h"
#include "tests/dp/TestPlcMaster.h"

#include "dp/fdl/BusTiming.h"
#include "dp/master/DpMaster.h"
#include "dp/master/MasterApplication.h"
#include "dp/station/FdlStation.h"

#include <gmock/gmock.h>

#include <memory>
#include <vector>

namespace dptest
{
namespace
{

constexpr std::uint32_t kBaudRate = 1500000;
constexpr std::uint64_t kMs = 1000000;
constexpr std::uint8_t kOurs = 2;
constexpr std::uint8_t kPlc = 5;

class MasterOnRingTest : public testing::Test
{
protected:
    MasterOnRingTest() : m_line(kBaudRate)
    {
        dp::DefaultBusParameters(kBaudRate, m_config.bus);
        m_config.byMasterAddress = kOurs;
        m_config.dwResponseAllowanceUs = 0;
        m_config.dwRestartIntervalMs = 20;
        m_config.byHighestAddress = 10;
        m_config.dwGapFactor = 2;
        // Our slaves: DP slaves that go through the start-up; the PLC's answer its data requests.
        for (std::uint8_t byAddress : {20, 21})
        {
            dp::SSlaveConfig slave;
            slave.byAddress = byAddress;
            slave.wIdent = 0x0A35;
            slave.byInputLength = 2;
            slave.byOutputLength = 2;
            slave.abyConfig = {0x11, 0x21};
            m_config.slaves.push_back(slave);
            auto& endpoint = m_line.AddResponder(
                [this, n = m_slaves.size()](const dp::STelegram& telegram, std::uint64_t qwEnd)
                { m_slaves[n]->Respond(telegram, qwEnd); });
            m_slaves.push_back(std::make_unique<CScriptedSlave>(
                [this, &endpoint](std::uint64_t qwAt, const Bytes& abyBytes)
                { m_line.Put(endpoint, qwAt, abyBytes); },
                m_line.CharacterNs(), byAddress, 0x0A35, 2, 2));
            m_slaves.back()->SetInputs({byAddress, 0x5A});
        }
        m_config.dwTargetRotationBits = 20000;
        for (std::uint8_t byAddress : {30, 31})
        {
            auto& endpoint = m_line.AddResponder(
                [this, byAddress](const dp::STelegram& telegram, std::uint64_t qwEnd)
                {
                    if (telegram.eFrame != dp::teFrame::Sd1 || telegram.byDa != byAddress)
                        return;
                    m_line.Put(*m_apPlcSlaves[byAddress - 30], qwEnd + m_line.CharacterNs(),
                               Sd2(telegram.bySa, byAddress, 0x08, -1, -1, {0x11, 0x22}));
                });
            m_apPlcSlaves.push_back(&endpoint);
        }

        m_pOurEndpoint = &m_line.AddEndpoint();
        dp::SStationConfig station;
        station.byAddress = kOurs;
        station.bus = m_config.bus;
        station.byHighestAddress = m_config.byHighestAddress;
        station.dwTargetRotationBits = m_config.dwTargetRotationBits;
        station.dwGapFactor = m_config.dwGapFactor;
        m_pStation = std::make_unique<dp::CFdlStation>(*m_pOurEndpoint, station);
        m_pMaster = std::make_unique<dp::CDpMaster>(m_pStation->Line(), m_config);
        m_pMaster->SetMode(MasterOperate);
        m_pApplication = std::make_unique<dp::CMasterApplication>(*m_pMaster);
        m_pApplication->SetBetweenCycles([this] { return ++m_dwCycles, true; });
        m_pStation->AddApplication(m_pApplication.get());

        SPlcSettings plc;
        plc.byAddress = kPlc;
        plc.dwBaudRate = kBaudRate;
        plc.dwSlotBits = m_config.bus.dwSlotTime;
        plc.byHighestAddress = 10;
        plc.dwGapFactor = 2;
        plc.abySlaves = {30, 31};
        m_pPlcEndpoint = &m_line.AddEndpoint();
        m_pPlc = std::make_unique<CTestPlcMaster>(*m_pPlcEndpoint, plc);
    }
    ~MasterOnRingTest() override
    {
        m_line.Stop(*m_pOurEndpoint);
        m_line.Stop(*m_pPlcEndpoint);
    }

    void StartBoth()
    {
        m_line.Start(*m_pPlcEndpoint, [this](dp::IDpLine&) { m_pPlc->Run(); });
        m_line.RunFor(20 * kMs);
        m_line.Start(*m_pOurEndpoint, [this](dp::IDpLine&) { m_pStation->Run(); });
        m_line.RunFor(500 * kMs);
    }

    std::uint32_t OurExchanges(std::size_t n) const
    {
        return m_pMaster->Slave(n).counters.dwExchanges;
    }

    CMultiDropLine m_line;
    dp::SMasterConfig m_config;
    std::vector<std::unique_ptr<CScriptedSlave>> m_slaves;
    std::vector<CMultiDropLine::CEndpoint*> m_apPlcSlaves;
    CMultiDropLine::CEndpoint* m_pOurEndpoint = nullptr;
    CMultiDropLine::CEndpoint* m_pPlcEndpoint = nullptr;
    std::unique_ptr<dp::CFdlStation> m_pStation;
    std::unique_ptr<dp::CDpMaster> m_pMaster;
    std::unique_ptr<dp::CMasterApplication> m_pApplication;
    std::unique_ptr<CTestPlcMaster> m_pPlc;
    std::uint32_t m_dwCycles = 0;
};

TEST_F(MasterOnRingTest, BothMastersKeepTheirSlavesExchanging)
{
    StartBoth();
    ASSERT_EQ(m_pStation->RingState(), dp::teRingState::InRing);
    EXPECT_TRUE(m_pPlc->InRing());
    for (std::size_t n = 0; n < 2; ++n)
    {
        EXPECT_EQ(m_pMaster->Slave(n).eState, SlaveDataExchange);
        EXPECT_GT(OurExchanges(n), 50u);
        EXPECT_EQ(m_pMaster->Slave(n).abyInputs[0], m_config.slaves[n].byAddress);
    }
    EXPECT_GT(m_pPlc->Answers(30), 50u);
    EXPECT_GT(m_pPlc->Answers(31), 50u);
    EXPECT_GT(m_dwCycles, 50u);
    // Only the token's holder talks: nothing of the PLC's traffic reached our requests.
    EXPECT_EQ(m_pMaster->Slave(0).counters.dwBadAnswers, 0u);
    EXPECT_EQ(m_pMaster->LineCounters().dwAnswersInDoubt, 0u);
    // The ring's rotation stays in the target's range: the hold time is what TTR leaves.
    EXPECT_GT(m_pStation->Counters().qwLastRotationNs, 0u);
}

TEST_F(MasterOnRingTest, TheCycleBoundCountsTheTokensAbsenceOnceAStep)
{
    // Two answering slaves and the step that ends the cycle may each wait for the token.
    const std::uint64_t qwAlone = m_pMaster->CycleBoundNs();
    m_pMaster->SetTokenAbsenceNs(7 * kMs);
    EXPECT_EQ(m_pMaster->CycleBoundNs(), qwAlone + 3 * 7 * kMs);
}

TEST_F(MasterOnRingTest, ThePlcDiesAndOurSlavesGoOn)
{
    StartBoth();
    ASSERT_EQ(m_pMaster->Slave(0).eState, SlaveDataExchange);
    m_line.Kill(*m_pPlcEndpoint);
    const std::uint32_t dwBefore = OurExchanges(0);
    m_line.RunFor(300 * kMs);
    EXPECT_EQ(m_pStation->RingState(), dp::teRingState::InRing);
    EXPECT_FALSE(m_pStation->ActiveStations().Contains(kPlc));
    EXPECT_GT(OurExchanges(0), dwBefore + 50);
    EXPECT_EQ(m_pMaster->Slave(0).eState, SlaveDataExchange);
    EXPECT_EQ(m_pMaster->Slave(1).eState, SlaveDataExchange);
}

TEST_F(MasterOnRingTest, OursDiesAndThePlcGoesOn)
{
    StartBoth();
    ASSERT_TRUE(m_pPlc->InRing());
    m_line.Kill(*m_pOurEndpoint);
    const std::uint32_t dwBefore = m_pPlc->Answers(30);
    m_line.RunFor(300 * kMs);
    EXPECT_TRUE(m_pPlc->InRing());
    EXPECT_FALSE(m_pPlc->InLas(kOurs));
    EXPECT_GT(m_pPlc->Answers(30), dwBefore + 50);
}

} // namespace
} // namespace dptest
