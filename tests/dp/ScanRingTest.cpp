// The scanner on a live bus: a PLC master written for the tests (tests/dp/TestPlcMaster.h, from
// the public ring rules, sharing no code with dp/station) runs its slaves on the multi-drop line
// in virtual time; the scan joins its ring, finds every station, and leaves. The PLC's slaves
// are written here from the layouts: FDL status, Slave_Diag, Get_Cfg and the PLC's data polls.
#include "tests/dp/MultiDropLine.h"
#include "tests/dp/ScriptedLine.h"
#include "tests/dp/TestPlcMaster.h"

#include "dp/fdl/BusTiming.h"
#include "dp/scan/RingScan.h"

#include <gmock/gmock.h>

#include <atomic>
#include <map>
#include <vector>

namespace dptest
{
namespace
{

constexpr std::uint32_t kBaudRate = 1500000;
constexpr std::uint64_t kMs = 1000000;
constexpr std::uint8_t kScanner = 1;
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
        m_settings.byOwnAddress = kScanner;
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

    void Watch(const dp::STelegram& telegram)
    {
        if (telegram.eFrame == dp::teFrame::ShortAck)
            return;
        const bool bRequest = (telegram.byFc & 0x40) != 0;
        if (telegram.bySa == kScanner && (telegram.eFrame == dp::teFrame::Sd4 || bRequest))
        {
            ++m_nScannerTelegrams;
            if (m_nHolder != kScanner)
                ++m_nSentWithoutToken;
            if (telegram.eFrame != dp::teFrame::Sd4)
                ++m_nScannerRequests;
        }
        if (telegram.eFrame == dp::teFrame::Sd4)
            m_nHolder = telegram.byDa;
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
    // Under the line's lock (responder callbacks), read between RunUntil calls.
    int m_nHolder = -1;
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

    m_line.Start(*m_pScannerEndpoint,
                 [this](dp::IDpLine& line)
                 {
                     m_report = dp::ScanBus(line, m_settings);
                     m_bScanned = true;
                 });
    // The PLC's slaves answer it in every slice of the scan: their exchange never stops.
    std::uint32_t dwSlices = 0;
    bool bScannerInLas = false;
    for (int i = 0; i < 3000 && !m_bScanned; ++i)
    {
        const std::uint32_t dw30 = m_pPlc->Answers(30);
        const std::uint32_t dw31 = m_pPlc->Answers(31);
        m_line.RunFor(20 * kMs);
        ++dwSlices;
        EXPECT_GT(m_pPlc->Answers(30), dw30) << "slice " << i;
        EXPECT_GT(m_pPlc->Answers(31), dw31) << "slice " << i;
        bScannerInLas = bScannerInLas || m_pPlc->InLas(kScanner);
    }
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
    // Only while it held the token, and nothing garbled anybody's telegram.
    EXPECT_GT(m_nScannerTelegrams, 0);
    EXPECT_EQ(m_nSentWithoutToken, 0);
    EXPECT_EQ(m_line.GarbledCharacters(), 0u);
    EXPECT_EQ(m_report.counters.dwAnswersInDoubt, 0u);

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

} // namespace
} // namespace dptest
