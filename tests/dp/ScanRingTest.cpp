// The scanner on a live bus: a PLC master written for the tests (tests/dp/TestPlcMaster.h, from
// the public ring rules, sharing no code with dp/station) runs its slaves on the multi-drop line
// in virtual time; the scan joins its ring, finds every station, and leaves. The PLC's slaves
// are written here from the layouts: FDL status, Slave_Diag, Get_Cfg and the PLC's data polls.
#include "tests/dp/MultiDropLine.h"
#include "tests/dp/ScriptedLine.h"
#include "tests/dp/ScriptedSlave.h"
#include "tests/dp/TestPlcMaster.h"

#include "dp/fdl/BusTiming.h"
#include "dp/master/DpMaster.h"
#include "dp/master/MasterApplication.h"
#include "dp/scan/RingScan.h"
#include "dp/station/FdlStation.h"

#include <gmock/gmock.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace dptest
{
namespace
{

constexpr std::uint32_t kBaudRate = 1500000;
constexpr std::uint64_t kMs = 1000000;
constexpr std::uint8_t kScanner = 1;
constexpr std::uint8_t kOurs = 2;
constexpr std::uint8_t kPlc = 5;
constexpr std::uint8_t kHsa = 126;

struct SPlcSlave
{
    std::uint8_t byAddress = 0;
    std::uint16_t wIdent = 0;
    Bytes abyConfig;
};

const std::vector<SPlcSlave> kPlcSlaves = {{30, 0x0A35, {0x11, 0x21}}, {31, 0x4711, {0x13}}};

class ScanRingTest : public testing::Test
{
protected:
    ScanRingTest() : m_line(kBaudRate)
    {
        for (const SPlcSlave& slave : kPlcSlaves)
        {
            m_apSlaves.push_back(nullptr);
            m_apSlaves.back() =
                &m_line.AddResponder([this, slave, n = m_apSlaves.size() - 1](
                                         const dp::STelegram& telegram, std::uint64_t qwEnd)
                                     { Answer(*m_apSlaves[n], slave, telegram, qwEnd); });
        }
        // Sees every telegram: who holds the token, and whether the scanner sends without it.
        m_line.AddResponder([this](const dp::STelegram& telegram, std::uint64_t)
                            { Watch(telegram); });

        SPlcSettings plc;
        plc.byAddress = kPlc;
        plc.dwBaudRate = kBaudRate;
        dp::SBusParameters bus;
        dp::DefaultBusParameters(kBaudRate, bus);
        plc.dwSlotBits = bus.dwSlotTime;
        plc.byHighestAddress = kHsa;
        plc.dwGapFactor = 3;
        for (const SPlcSlave& slave : kPlcSlaves)
            plc.abySlaves.push_back(slave.byAddress);
        m_pPlcEndpoint = &m_line.AddEndpoint();
        m_pPlc = std::make_unique<CTestPlcMaster>(*m_pPlcEndpoint, plc);

        m_settings.bus = bus;
        m_settings.dwResponseAllowanceUs = 0;
        m_settings.byOwnAddress = m_byScanner;
        m_settings.byHighestAddress = kHsa;
        m_pScannerEndpoint = &m_line.AddEndpoint();
    }
    ~ScanRingTest() override
    {
        m_line.Stop(*m_pScannerEndpoint);
        m_line.Stop(*m_pPlcEndpoint);
    }

    // A DP slave the PLC owns, exchanging data with it: any master may ask its FDL status, its
    // diagnosis and its configuration.
    void Answer(CMultiDropLine::CEndpoint& endpoint, const SPlcSlave& slave,
                const dp::STelegram& request, std::uint64_t qwEnd)
    {
        if (request.byDa != slave.byAddress || request.eFrame == dp::teFrame::Sd4 ||
            request.eFrame == dp::teFrame::ShortAck || (request.byFc & 0x40) == 0)
            return;
        const std::uint8_t byTo = request.bySa;
        const std::uint8_t byMe = slave.byAddress;
        Bytes abyAnswer;
        if (request.eFrame == dp::teFrame::Sd1 && (request.byFc & 0x0F) == 0x09)
            abyAnswer = Sd1(byTo, byMe, 0x00); // OK, a slave
        else if (request.eFrame == dp::teFrame::Sd1 && byTo == kPlc)
            abyAnswer = Sd2(byTo, byMe, 0x08, -1, -1, {byMe, 0x5A}); // the PLC's data poll
        else if (request.bHasDsap && request.byDsap == 60)
            // Exchanging (status 1 clear), status 2 with the bit that is always one, owner 5.
            abyAnswer = Sd2(byTo, byMe, 0x08, 62, 60,
                            {0x00, 0x04, 0x00, kPlc, static_cast<std::uint8_t>(slave.wIdent >> 8),
                             static_cast<std::uint8_t>(slave.wIdent)});
        else if (request.bHasDsap && request.byDsap == 59)
            abyAnswer = Sd2(byTo, byMe, 0x08, 62, 59, slave.abyConfig);
        if (!abyAnswer.empty())
            m_line.Put(endpoint, qwEnd + m_line.CharacterNs(), abyAnswer);
    }

    // A token passed is the passer's until the station passed to uses it: a station refuses a
    // first pass from outside its list of active stations, and the passer repeats it.
    void Watch(const dp::STelegram& telegram)
    {
        if (telegram.eFrame == dp::teFrame::ShortAck)
            return;
        const bool bToken = telegram.eFrame == dp::teFrame::Sd4;
        if (!bToken && (telegram.byFc & 0x40) == 0)
            return; // answers are the asked station's, whoever holds the token
        if (m_nHolder < 0)
            m_nHolder = telegram.bySa; // the first station heard holds it
        if (telegram.bySa == m_nPassedTo)
        {
            m_nHolder = telegram.bySa;
            m_nPassedTo = -1;
        }
        if (telegram.bySa == m_byScanner)
        {
            ++m_nScannerTelegrams;
            if (m_nHolder != m_byScanner)
                ++m_nSentWithoutToken;
            if (!bToken)
                ++m_nScannerRequests;
        }
        if (bToken && telegram.bySa == m_nHolder)
            m_nPassedTo = telegram.byDa;
    }

    // Starts the scan and runs the line in slices of 20 ms until it is over: the PLC's slaves
    // answer it in every slice (their exchange never stops); pfnSlice checks more.
    void RunScan(const std::function<void()>& pfnSlice)
    {
        m_qwGarbledBefore = m_line.GarbledCharacters();
        m_line.Start(*m_pScannerEndpoint,
                     [this](dp::IDpLine& line)
                     {
                         m_report = dp::ScanBus(line, m_settings);
                         m_bScanned = true;
                     });
        for (int i = 0; i < 3000 && !m_bScanned; ++i)
        {
            const std::uint32_t dw30 = m_pPlc->Answers(30);
            const std::uint32_t dw31 = m_pPlc->Answers(31);
            m_line.RunFor(20 * kMs);
            EXPECT_GT(m_pPlc->Answers(30), dw30) << "slice " << i;
            EXPECT_GT(m_pPlc->Answers(31), dw31) << "slice " << i;
            pfnSlice();
        }
    }

    // The scanner sent only while it held the token, and nothing garbled anybody's telegram.
    void ExpectNoTalkWithoutToken()
    {
        EXPECT_GT(m_nScannerTelegrams, 0);
        EXPECT_EQ(m_nSentWithoutToken, 0);
        EXPECT_EQ(m_line.GarbledCharacters(), m_qwGarbledBefore);
        EXPECT_EQ(m_report.counters.dwAnswersInDoubt, 0u);
    }

    const dp::SScannedStation* Find(std::uint8_t byAddress) const
    {
        for (const dp::SScannedStation& station : m_report.stations)
            if (station.byAddress == byAddress)
                return &station;
        return nullptr;
    }

    CMultiDropLine m_line;
    std::vector<CMultiDropLine::CEndpoint*> m_apSlaves;
    CMultiDropLine::CEndpoint* m_pPlcEndpoint = nullptr;
    CMultiDropLine::CEndpoint* m_pScannerEndpoint = nullptr;
    std::unique_ptr<CTestPlcMaster> m_pPlc;
    dp::SScanSettings m_settings;
    dp::SScanReport m_report;
    std::atomic<bool> m_bScanned{false};
    std::uint64_t m_qwGarbledBefore = 0;
    // Under the line's lock (responder callbacks), read between RunUntil calls.
    std::uint8_t m_byScanner = kScanner;
    int m_nHolder = -1;
    int m_nPassedTo = -1;
    int m_nScannerTelegrams = 0;
    int m_nScannerRequests = 0;
    int m_nSentWithoutToken = 0;
};

TEST_F(ScanRingTest, JoinsThePlcsRingFindsEveryStationAndLeavesWhileThePlcsSlavesExchange)
{
    m_line.Start(*m_pPlcEndpoint, [this](dp::IDpLine&) { m_pPlc->Run(); });
    m_line.RunFor(50 * kMs);
    ASSERT_TRUE(m_pPlc->InRing());
    ASSERT_GT(m_pPlc->Answers(30), 5u);

    bool bScannerInLas = false;
    RunScan([&] { bScannerInLas = bScannerInLas || m_pPlc->InLas(kScanner); });
    ASSERT_TRUE(m_bScanned);
    EXPECT_TRUE(bScannerInLas); // the PLC took it into its ring

    EXPECT_EQ(m_report.eEnd, dp::teScanEnd::Done);
    EXPECT_EQ(m_report.nActiveMaster, kPlc);
    EXPECT_TRUE(m_report.bOnRing);
    EXPECT_TRUE(m_report.bLeftRing);
    ASSERT_EQ(m_report.stations.size(), 3u);
    ASSERT_NE(Find(kPlc), nullptr);
    EXPECT_EQ(Find(kPlc)->eKind, dp::teStationKind::MasterInRing);
    for (const SPlcSlave& slave : kPlcSlaves)
    {
        const dp::SScannedStation* pFound = Find(slave.byAddress);
        ASSERT_NE(pFound, nullptr) << int(slave.byAddress);
        EXPECT_EQ(pFound->eKind, dp::teStationKind::Slave);
        EXPECT_EQ(pFound->byMaster, kPlc);
        EXPECT_EQ(pFound->wIdent, slave.wIdent);
        EXPECT_EQ(pFound->abyConfig, slave.abyConfig);
        EXPECT_TRUE(pFound->strTrouble.empty()) << pFound->strTrouble;
    }
    EXPECT_EQ(Find(30)->dwInputBytes, 2u);
    EXPECT_EQ(Find(30)->dwOutputBytes, 2u);
    EXPECT_EQ(Find(31)->dwInputBytes, 4u);
    // A few requests a visit: the pass spreads over many visits.
    EXPECT_GT(m_report.dwVisits, 10u);
    EXPECT_LE(m_report.dwRequests, m_settings.dwRequestsPerVisit * m_report.dwVisits);
    // Every request of the pass went out (the station's own GAP polls besides).
    EXPECT_GE(static_cast<std::uint32_t>(m_nScannerRequests), m_report.dwRequests);
    ExpectNoTalkWithoutToken();

    // Gone: it sends nothing more, the PLC drops it from its ring and goes on.
    const std::uint64_t qwSent = m_pScannerEndpoint->BytesSent();
    const std::uint32_t dwBefore = m_pPlc->Answers(30);
    m_line.RunFor(200 * kMs);
    EXPECT_EQ(m_pScannerEndpoint->BytesSent(), qwSent);
    EXPECT_TRUE(m_pPlc->InRing());
    EXPECT_FALSE(m_pPlc->InLas(kScanner));
    EXPECT_GT(m_pPlc->Answers(30), dwBefore + 50);
    EXPECT_EQ(m_line.GarbledCharacters(), 0u);
}

// Our own DP master on its FDL station joins the PLC's ring with slaves of its own: the scan
// finds both masters in the ring and each slave with its owner, and neither master's slaves
// stop exchanging.
class ScanRingWithOurMasterTest : public ScanRingTest
{
protected:
    ScanRingWithOurMasterTest()
    {
        // Just above our master: in its gap, which it walks in a few rotations.
        m_byScanner = kOurs + 1;
        m_settings.byOwnAddress = m_byScanner;
        dp::DefaultBusParameters(kBaudRate, m_config.bus);
        m_config.byMasterAddress = kOurs;
        m_config.dwResponseAllowanceUs = 0;
        m_config.dwRestartIntervalMs = 20;
        m_config.byHighestAddress = kHsa;
        m_config.dwGapFactor = 2;
        m_config.dwTargetRotationBits = 20000;
        for (std::uint8_t byAddress : {20, 21})
        {
            dp::SSlaveConfig slave;
            slave.byAddress = byAddress;
            slave.wIdent = 0x0B12;
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
                m_line.CharacterNs(), byAddress, 0x0B12, 2, 2));
        }
        m_pOurEndpoint = &m_line.AddEndpoint();
        dp::SStationConfig station;
        station.byAddress = kOurs;
        station.bus = m_config.bus;
        station.byHighestAddress = kHsa;
        station.dwTargetRotationBits = m_config.dwTargetRotationBits;
        station.dwGapFactor = m_config.dwGapFactor;
        m_pStation = std::make_unique<dp::CFdlStation>(*m_pOurEndpoint, station);
        m_pMaster = std::make_unique<dp::CDpMaster>(m_pStation->Line(), m_config);
        m_pMaster->SetMode(MasterOperate);
        m_pApplication = std::make_unique<dp::CMasterApplication>(*m_pMaster);
        m_pStation->AddApplication(m_pApplication.get());
    }
    // Every station stopped before what their threads use goes.
    ~ScanRingWithOurMasterTest() override
    {
        m_line.Stop(*m_pOurEndpoint);
        m_line.Stop(*m_pScannerEndpoint);
        m_line.Stop(*m_pPlcEndpoint);
    }

    std::uint32_t OurExchanges(std::size_t n) const
    {
        return m_pMaster->Slave(n).counters.dwExchanges;
    }

    dp::SMasterConfig m_config;
    std::vector<std::unique_ptr<CScriptedSlave>> m_slaves;
    CMultiDropLine::CEndpoint* m_pOurEndpoint = nullptr;
    std::unique_ptr<dp::CFdlStation> m_pStation;
    std::unique_ptr<dp::CDpMaster> m_pMaster;
    std::unique_ptr<dp::CMasterApplication> m_pApplication;
};

TEST_F(ScanRingWithOurMasterTest, FindsBothMastersAndEachSlaveWithItsOwner)
{
    m_line.Start(*m_pPlcEndpoint, [this](dp::IDpLine&) { m_pPlc->Run(); });
    m_line.RunFor(20 * kMs);
    m_line.Start(*m_pOurEndpoint, [this](dp::IDpLine&) { m_pStation->Run(); });
    m_line.RunFor(500 * kMs);
    ASSERT_EQ(m_pStation->RingState(), dp::teRingState::InRing);
    ASSERT_EQ(m_pMaster->Slave(0).eState, SlaveDataExchange);
    ASSERT_EQ(m_pMaster->Slave(1).eState, SlaveDataExchange);

    RunScan(
        [&]
        {
            // Ours go on as well: both slaves stay in data exchange.
            EXPECT_EQ(m_pMaster->Slave(0).eState, SlaveDataExchange);
            EXPECT_EQ(m_pMaster->Slave(1).eState, SlaveDataExchange);
        });
    ASSERT_TRUE(m_bScanned);
    EXPECT_EQ(m_report.eEnd, dp::teScanEnd::Done);
    EXPECT_TRUE(m_report.bLeftRing);
    std::vector<std::uint8_t> abyAddresses;
    for (const dp::SScannedStation& station : m_report.stations)
        abyAddresses.push_back(station.byAddress);
    EXPECT_EQ(abyAddresses, (std::vector<std::uint8_t>{kOurs, kPlc, 20, 21, 30, 31}));
    EXPECT_EQ(m_report.dwRotationsBound, 10u * (kHsa + 1) + 2);
    ASSERT_EQ(abyAddresses.size(), 6u);
    EXPECT_EQ(Find(kOurs)->eKind, dp::teStationKind::MasterInRing);
    EXPECT_EQ(Find(kPlc)->eKind, dp::teStationKind::MasterInRing);
    for (std::uint8_t bySlave : {20, 21})
    {
        EXPECT_EQ(Find(bySlave)->byMaster, kOurs);
        EXPECT_EQ(Find(bySlave)->wIdent, 0x0B12);
        EXPECT_EQ(Find(bySlave)->abyConfig, (std::vector<std::uint8_t>{0x11, 0x21}));
    }
    for (std::uint8_t bySlave : {30, 31})
        EXPECT_EQ(Find(bySlave)->byMaster, kPlc);
    ExpectNoTalkWithoutToken();
    // Nothing of the scan's traffic was taken for an answer of our master's slaves.
    EXPECT_EQ(m_pMaster->Slave(0).counters.dwBadAnswers, 0u);
    EXPECT_EQ(m_pMaster->LineCounters().dwAnswersInDoubt, 0u);

    // After the scan both masters run on without it.
    const std::uint32_t dwOurs = OurExchanges(0);
    m_line.RunFor(200 * kMs);
    EXPECT_FALSE(m_pStation->ActiveStations().Contains(m_byScanner));
    EXPECT_FALSE(m_pPlc->InLas(m_byScanner));
    EXPECT_GT(OurExchanges(0), dwOurs + 20);
    EXPECT_EQ(m_pMaster->Slave(0).eState, SlaveDataExchange);
}

} // namespace
} // namespace dptest
