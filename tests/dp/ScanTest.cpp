// The scanner in one process, in virtual time on the scripted line: stations written here from
// the public layouts (FDL status answers with the station type in the function code,
// Slave_Diag's six bytes, Get_Cfg's identifiers), sharing no code with the scanner; GSD files
// written here; the bus file the scan writes read back by the master's own reader.
#include "dp/files/BusFiles.h"
#include "dp/scan/BaudProbe.h"
#include "dp/scan/GsdCatalog.h"
#include "dp/scan/ModuleMatch.h"
#include "dp/scan/RingScan.h"
#include "dp/scan/ScanBusFile.h"
#include "dp/scan/ScanRunner.h"
#include "dp/scan/ScanSequence.h"
#include "dp/scan/ScanTiming.h"

#include "tests/dp/ScriptedLine.h"
#include "tests/support/ChildProcess.h"

#include <gmock/gmock.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

namespace dptest
{
namespace
{

using testing::HasSubstr;

constexpr std::uint32_t kBaud = 93750;
constexpr std::uint8_t kScanner = 0;

// One station on the line as the layouts describe it. A master answers Request FDL Status
// only; a slave Slave_Diag (SAP 60) and Get_Cfg (SAP 59) as well, from its SAP to the
// requester's SAP 62.
struct STestStation
{
    std::uint8_t byAddress = 0;
    std::uint8_t byType = 0; // FC bits 5-4: 0 slave, 1 master not ready, 2 ready, 3 in ring
    std::uint16_t wIdent = 0;
    std::uint8_t byMaster = 0xFF;
    std::uint8_t byStatus1 = 0x02; // not ready
    std::uint8_t byStatus2 = 0x05; // parameters wanted, the bit that is always one
    Bytes abyConfig;
    bool bRefusesGetCfg = false;
};

STestStation Master(std::uint8_t byAddress, std::uint8_t byType)
{
    STestStation station;
    station.byAddress = byAddress;
    station.byType = byType;
    return station;
}

STestStation Slave(std::uint8_t byAddress, std::uint16_t wIdent, const Bytes& abyConfig)
{
    STestStation station;
    station.byAddress = byAddress;
    station.wIdent = wIdent;
    station.abyConfig = abyConfig;
    return station;
}

class CTestBus
{
public:
    explicit CTestBus(CScriptedLine& line) : m_line(line)
    {
        m_line.SetResponder([this](const dp::STelegram& request, std::uint64_t qwEndNs)
                            { Respond(request, qwEndNs); });
    }
    void Add(const STestStation& station) { m_stations[station.byAddress] = station; }
    // Requests Request FDL Status sent to each address.
    std::map<std::uint8_t, int> m_statusAsked;

private:
    void Respond(const dp::STelegram& request, std::uint64_t qwEndNs)
    {
        const bool bStatus = request.eFrame == dp::teFrame::Sd1 && request.byFc == 0x49;
        if (bStatus)
            ++m_statusAsked[request.byDa];
        const auto it = m_stations.find(request.byDa);
        if (it == m_stations.end())
            return;
        const STestStation& station = it->second;
        const std::uint8_t byTo = request.bySa;
        Bytes abyAnswer;
        if (bStatus)
            abyAnswer =
                Sd1(byTo, station.byAddress, static_cast<std::uint8_t>(station.byType << 4));
        else if (station.byType != 0 || !request.bHasDsap)
            return;
        else if (request.byDsap == 60)
            abyAnswer = Sd2(byTo, station.byAddress, 0x08, 62, 60,
                            {station.byStatus1, station.byStatus2, 0x00, station.byMaster,
                             static_cast<std::uint8_t>(station.wIdent >> 8),
                             static_cast<std::uint8_t>(station.wIdent)});
        else if (request.byDsap == 59 && station.bRefusesGetCfg)
            abyAnswer = Sd1(byTo, station.byAddress, 0x03); // RS: no such service
        else if (request.byDsap == 59)
            abyAnswer = Sd2(byTo, station.byAddress, 0x08, 62, 59, station.abyConfig);
        // Answered after the shortest station delay, 11 bit times.
        if (!abyAnswer.empty())
            m_line.Put(qwEndNs + m_line.BitNs(11), abyAnswer);
    }

    CScriptedLine& m_line;
    std::map<std::uint8_t, STestStation> m_stations;
};

class ScanTest : public testing::Test
{
protected:
    ScanTest() : m_line(kBaud), m_bus(m_line)
    {
        dp::DefaultBusParameters(kBaud, m_settings.bus);
        m_settings.dwResponseAllowanceUs = 0;
        m_settings.byOwnAddress = kScanner;
    }

    const dp::SScannedStation* Find(const dp::SScanReport& report, std::uint8_t byAddress)
    {
        for (const dp::SScannedStation& station : report.stations)
            if (station.byAddress == byAddress)
                return &station;
        return nullptr;
    }

    CScriptedLine m_line;
    CTestBus m_bus;
    dp::SScanSettings m_settings;
};

TEST_F(ScanTest, FindsEveryStationWithItsTypeIdentOwnerAndConfiguration)
{
    m_bus.Add(Master(2, 3));
    m_bus.Add(Master(9, 2));
    m_bus.Add(Master(11, 1));
    m_bus.Add(Slave(3, 0x1234, {0x17, 0x27}));
    STestStation ownedSlave = Slave(7, 0x5678, {0x17, 0x23});
    ownedSlave.byMaster = 2;
    ownedSlave.byStatus1 = 0x00;
    ownedSlave.byStatus2 = 0x04;
    m_bus.Add(ownedSlave);
    m_bus.Add(Slave(126, 0xABCD, {0xC0, 0xBF, 0xBF}));

    const dp::SScanReport report = dp::ScanAlone(m_line, m_settings);

    ASSERT_EQ(report.eEnd, dp::teScanEnd::Done);
    ASSERT_EQ(report.stations.size(), 6u);
    std::vector<std::uint8_t> abyAddresses;
    for (const dp::SScannedStation& station : report.stations)
        abyAddresses.push_back(station.byAddress);
    EXPECT_EQ(abyAddresses, (std::vector<std::uint8_t>{2, 3, 7, 9, 11, 126}));
    EXPECT_EQ(Find(report, 2)->eKind, dp::teStationKind::MasterInRing);
    EXPECT_EQ(Find(report, 9)->eKind, dp::teStationKind::MasterReady);
    EXPECT_EQ(Find(report, 11)->eKind, dp::teStationKind::MasterNotReady);
    EXPECT_FALSE(Find(report, 2)->bDiagnosis); // a master is asked for nothing more

    const dp::SScannedStation& free = *Find(report, 3);
    EXPECT_EQ(free.eKind, dp::teStationKind::Slave);
    EXPECT_TRUE(free.bDiagnosis);
    EXPECT_EQ(free.wIdent, 0x1234);
    EXPECT_EQ(free.byMaster, 0xFF);
    EXPECT_EQ(free.abyConfig, (std::vector<std::uint8_t>{0x17, 0x27}));
    EXPECT_EQ(free.dwInputBytes, 8u);
    EXPECT_EQ(free.dwOutputBytes, 8u);
    EXPECT_TRUE(free.strTrouble.empty()) << free.strTrouble;

    const dp::SScannedStation& owned = *Find(report, 7);
    EXPECT_EQ(owned.wIdent, 0x5678);
    EXPECT_EQ(owned.byMaster, 2);
    EXPECT_EQ(owned.byStatus1, 0x00);
    EXPECT_EQ(owned.dwOutputBytes, 4u);
    EXPECT_EQ(Find(report, 126)->wIdent, 0xABCD);
    EXPECT_EQ(Find(report, 126)->dwInputBytes, 64u);

    // Every address but the scanner's own was asked; an empty one once more (retry limit 1).
    EXPECT_EQ(m_bus.m_statusAsked.count(kScanner), 0u);
    for (std::uint8_t by = 1; by <= 126; ++by)
        EXPECT_EQ(m_bus.m_statusAsked[by], Find(report, by) != nullptr ? 1 : 2) << int(by);
    EXPECT_EQ(report.dwRequests, 126u * 2 - 6 + 3 * 2);
    // The bound is computed from the timing alone; virtual time gives the same pass each run.
    EXPECT_LT(report.qwPassNs, report.qwPassBoundNs);
}

TEST_F(ScanTest, ASilentLineIsScannedAfterTheTimeOutAndFindsNobody)
{
    m_settings.byOwnAddress = 5;
    const std::uint64_t qwStart = m_line.Now();
    const dp::SScanReport report = dp::ScanAlone(m_line, m_settings);
    EXPECT_EQ(report.eEnd, dp::teScanEnd::Done);
    EXPECT_TRUE(report.stations.empty());
    ASSERT_FALSE(m_line.SentAt().empty());
    // Nothing before the line has been silent for TTO = 6 TSL + 2 x 5 TSL.
    EXPECT_GE(m_line.SentAt().front() - qwStart, m_line.BitNs(dp::TimeOutBits(m_settings.bus, 5)));
    EXPECT_EQ(m_bus.m_statusAsked.size(), 126u);
    EXPECT_EQ(m_bus.m_statusAsked.count(5), 0u);
}

// The pass as a token station would drive it: two requests a visit, the line the others'
// between visits. The same stations come out as in one run.
TEST_F(ScanTest, TheSequenceCanBeDrivenAFewRequestsAtATime)
{
    m_bus.Add(Master(2, 3));
    m_bus.Add(Slave(3, 0x1234, {0x17, 0x27}));
    m_bus.Add(Slave(40, 0x4321, {0x13}));
    dp::CScanSequence sequence(kScanner, 60, m_settings.bus.dwRetryLimit);
    dp::CLineExchange exchange(m_line, m_settings.bus, 0, kScanner);
    dp::SScanRequest next;
    dp::STelegram answer;
    int nVisits = 0;
    while (!sequence.Done())
    {
        ++nVisits;
        for (int i = 0; i < 2 && sequence.Next(next); ++i)
            sequence.Take(exchange.Transact(next.request, next.expectation, answer), answer);
        m_line.SkipTo(m_line.Now() + 3000000);
    }
    ASSERT_EQ(sequence.Stations().size(), 3u);
    EXPECT_EQ(sequence.Stations()[0].eKind, dp::teStationKind::MasterInRing);
    EXPECT_EQ(sequence.Stations()[1].wIdent, 0x1234);
    EXPECT_EQ(sequence.Stations()[2].byAddress, 40);
    EXPECT_EQ(sequence.Stations()[2].abyConfig, (std::vector<std::uint8_t>{0x13}));
    EXPECT_EQ(m_bus.m_statusAsked.size(), 60u);
    EXPECT_GT(nVisits, 60);
}

// Alone, a master passing the token makes the line live: nothing at all is sent, and the master
// is named. ScanBus then joins the ring; one whose GAP maintenance never asks the scanner keeps
// it out: it gives up after one whole walk of a gap at G = 10 (127 addresses), a rotation being
// one pass of the ring's only master, and nothing was sent (nobody asked its FDL status).
TEST_F(ScanTest, ALiveLineIsLeftToTheRingAndARingThatNeverTakesTheScannerInIsBounded)
{
    for (int i = 0; i < 40; ++i)
        m_line.Put(m_line.Now() + i * m_line.BitNs(400), {0xDC, 0x02, 0x02});
    const dp::SScanReport alone = dp::ScanAlone(m_line, m_settings);
    EXPECT_EQ(alone.eEnd, dp::teScanEnd::LiveLine);
    EXPECT_EQ(alone.nActiveMaster, 2);
    EXPECT_TRUE(m_line.Sent().empty());

    const std::uint64_t qwFrom = m_line.Now();
    for (int i = 0; i < 1400; ++i)
        m_line.Put(qwFrom + i * m_line.BitNs(400), {0xDC, 0x02, 0x02});
    const dp::SScanReport report = dp::ScanBus(m_line, m_settings);
    EXPECT_EQ(report.eEnd, dp::teScanEnd::NotTakenIn);
    EXPECT_TRUE(report.bOnRing);
    EXPECT_TRUE(report.bHeardRing);
    EXPECT_EQ(report.dwRotationsBound, 10u * 127 + 2);
    EXPECT_GT(report.dwRotationsWaited, report.dwRotationsBound);
    EXPECT_EQ(report.dwRequests, 0u);
    EXPECT_TRUE(m_line.Sent().empty());
}

// A master that polls without ever passing a token has no ring to join: bounded, nothing sent.
TEST_F(ScanTest, AMastersRequestsWithoutATokenLeaveNoRingToJoin)
{
    m_line.Put(m_line.Now() + m_line.BitNs(100), Sd1(3, 6, 0x49));
    const dp::SScanReport alone = dp::ScanAlone(m_line, m_settings);
    EXPECT_EQ(alone.eEnd, dp::teScanEnd::LiveLine);
    EXPECT_EQ(alone.nActiveMaster, 6);

    // Its polls go on for longer than the scanner waits to hear a token go round.
    const std::uint64_t qwFrom = m_line.Now();
    for (int i = 0; i < 4000; ++i)
        m_line.Put(qwFrom + i * m_line.BitNs(300), Sd1(3, 6, 0x49));
    const dp::SScanReport report = dp::ScanBus(m_line, m_settings);
    EXPECT_EQ(report.eEnd, dp::teScanEnd::NotTakenIn);
    EXPECT_FALSE(report.bHeardRing);
    EXPECT_GE(report.qwJoinNs, 2000000000ull);
    EXPECT_TRUE(m_line.Sent().empty());
}

// A ring that takes the scanner in for one visit and then passes the token past it for good:
// the pass ends at its bound, which counts the token's absence before each request, and the
// scanner sends nothing after its visit.
TEST_F(ScanTest, OnARingATokenThatStaysAwayEndsThePassAtItsBound)
{
    const std::uint64_t qwToken = m_line.BitNs(400);
    const std::uint64_t qwFrom = m_line.Now() + m_line.BitNs(100);
    // Station 2 alone in its ring; then its GAP maintenance asks the scanner.
    for (int i = 0; i < 50; ++i)
        m_line.Put(qwFrom + i * qwToken, {0xDC, 0x02, 0x02});
    const std::uint64_t qwAsk = qwFrom + 50 * qwToken;
    m_line.Put(qwAsk, Sd1(kScanner, 2, 0x49));
    std::uint64_t qwPassedBack = 0;
    m_line.SetResponder(
        [&](const dp::STelegram& telegram, std::uint64_t qwEnd)
        {
            const bool bReady = telegram.eFrame == dp::teFrame::Sd1 && telegram.byDa == 2 &&
                                (telegram.byFc & 0x40) == 0 && (telegram.byFc & 0x30) == 0x20;
            if (bReady)
                m_line.Put(qwEnd + m_line.BitNs(100), {0xDC, kScanner, 0x02});
            if (telegram.eFrame != dp::teFrame::Sd4 || qwPassedBack != 0)
                return;
            // Station 2 uses the token and from then on passes it to itself, past the scanner.
            qwPassedBack = qwEnd;
            for (int i = 0; i < 5000; ++i)
                m_line.Put(qwEnd + m_line.BitNs(50) + i * qwToken, {0xDC, 0x02, 0x02});
        });
    const dp::SScanReport report = dp::ScanBus(m_line, m_settings);
    EXPECT_EQ(report.eEnd, dp::teScanEnd::OutOfTime);
    EXPECT_TRUE(report.bOnRing);
    EXPECT_EQ(report.dwVisits, 1u);
    EXPECT_GE(report.dwRequests, 1u);
    EXPECT_LE(report.dwRequests, m_settings.dwRequestsPerVisit);
    ASSERT_NE(qwPassedBack, 0u);
    // Twice the scanner's target rotation time and a time-out before each request.
    const std::uint64_t qwAbsence =
        2 * m_line.BitNs(dp::RingScanTargetRotationBits(m_settings.bus, 4)) +
        m_line.BitNs(dp::TimeOutBits(m_settings.bus, kScanner));
    const std::uint64_t qwAlone = dp::ScanPassBoundNs(m_settings.bus, 0, 127, 1);
    EXPECT_GT(report.qwPassBoundNs, qwAlone + 100 * qwAbsence);
    EXPECT_GE(report.qwPassNs, report.qwPassBoundNs);
    EXPECT_LE(report.qwPassNs, report.qwPassBoundNs + 2 * qwToken);
    for (const std::uint64_t qwAt : m_line.SentAt())
        EXPECT_LT(qwAt, qwPassedBack);
}

// Garbage (as a line at another rate gives): bounded, and nothing sent. Random garbage forms
// a token telegram or a checked one now and then, which names no master.
TEST_F(ScanTest, ALineThatNeverGoesQuietIsNotScanned)
{
    const std::uint64_t qwTimeOut = m_line.BitNs(dp::TimeOutBits(m_settings.bus, kScanner));
    for (const int nByte : {0x55, -1})
    {
        for (std::uint32_t dwSeed = 1; dwSeed <= 8; ++dwSeed)
        {
            m_line.PutNoise(m_line.Now(), m_line.Now() + 20 * qwTimeOut, dwSeed, nByte);
            const dp::SScanReport report = dp::ScanAlone(m_line, m_settings);
            EXPECT_EQ(report.eEnd, dp::teScanEnd::NotQuiet) << nByte << " seed " << dwSeed;
            EXPECT_GT(report.heard.dwBytes, 0u);
            EXPECT_TRUE(m_line.Sent().empty());
            m_line.SkipTo(m_line.Now() + 20 * qwTimeOut);
        }
    }
}

// Bursts of bytes with short gaps behind the listening: each request waits for a quiet line
// and finds one just in time. The pass is broken off at its bound, not dragged on.
TEST_F(ScanTest, ALineThatKeepsEachRequestWaitingEndsThePassAtItsBound)
{
    m_bus.Add(Slave(3, 0x1234, {0x17, 0x27}));
    const std::uint64_t qwFrom = m_line.Now() + 10000000;
    for (std::uint64_t qwAt = qwFrom; qwAt < qwFrom + 20000000000ull; qwAt += 26000000)
        m_line.PutNoise(qwAt, qwAt + 25000000, static_cast<std::uint32_t>(qwAt), 0xFF);
    const dp::SScanReport report = dp::ScanAlone(m_line, m_settings);
    EXPECT_EQ(report.eEnd, dp::teScanEnd::OutOfTime);
    EXPECT_LT(report.byStoppedAt, 126);
    EXPECT_LE(report.qwPassNs, report.qwPassBoundNs + 2 * 26000000);
}

TEST_F(ScanTest, ASlaveThatRefusesGetCfgOrAnswersBrokenBytesIsNamedWithTheTrouble)
{
    STestStation refusing = Slave(4, 0x1111, {});
    refusing.bRefusesGetCfg = true;
    m_bus.Add(refusing);
    // A special identifier announcing 15 maker bytes: a count the format forbids.
    m_bus.Add(Slave(8, 0x2222, {0x0F}));
    const dp::SScanReport report = dp::ScanAlone(m_line, m_settings);
    ASSERT_EQ(report.stations.size(), 2u);
    EXPECT_FALSE(Find(report, 4)->bConfig);
    EXPECT_THAT(Find(report, 4)->strTrouble, HasSubstr("Get_Cfg refused"));
    EXPECT_EQ(Find(report, 4)->wIdent, 0x1111);
    EXPECT_FALSE(Find(report, 8)->bConfig);
    EXPECT_THAT(Find(report, 8)->strTrouble, HasSubstr("Get_Cfg: "));

    std::vector<dp::SFoundSlave> slaves;
    for (const dp::SScannedStation& station : report.stations)
        slaves.push_back({&station, {}});
    std::vector<std::string> skipped;
    const std::string strText = dp::BusFileText({kBaud, 1, 0, ""}, slaves, "bus.json", skipped);
    EXPECT_EQ(skipped.size(), 2u);
    EXPECT_THAT(strText, HasSubstr("\"slaves\": []"));
}

// GSD files written for the tests in a folder of the test's own.
class ScanGsdTest : public ScanTest
{
protected:
    void SetUp() override
    {
        m_strDir = testing::TempDir() + testsupport::UniqueName("scangsd") + "/";
        std::filesystem::create_directories(m_strDir);
    }
    void TearDown() override
    {
        std::error_code error;
        std::filesystem::remove_all(m_strDir, error);
    }
    void Write(const std::string& strName, const std::string& strText)
    {
        std::filesystem::create_directories(
            std::filesystem::path(m_strDir + strName).parent_path());
        std::ofstream(m_strDir + strName) << strText;
    }
    // A vendor's station: modular with the modules given (name and bytes), or compact.
    static std::string Gsd(const std::string& strModel, std::uint16_t wIdent, bool bModular,
                           const std::vector<std::pair<std::string, std::string>>& modules)
    {
        char achIdent[8];
        std::snprintf(achIdent, sizeof achIdent, "0x%04X", wIdent);
        std::string strText = "#Profibus_DP\nGSD_Revision = 3\nVendor_Name = \"Acme\"\n"
                              "Model_Name = \"" +
                              strModel + "\"\nIdent_Number = " + achIdent +
                              "\nStation_Type = 0\n93.75_supp = 1\n1.5M_supp = 1\n"
                              "Max_Input_Len = 244\nMax_Output_Len = 244\nMax_Data_Len = 488\n"
                              "Modular_Station = " +
                              (bModular ? "1\nMax_Module = 8\n" : "0\n");
        for (const auto& [strName, strBytes] : modules)
            strText += "Module = \"" + strName + "\" " + strBytes + "\nEndModule\n";
        return strText;
    }

    std::string m_strDir;
};

TEST_F(ScanGsdTest, TheIdentPicksTheFileAmongAVendorsAndTheModulesMakeUpTheConfiguration)
{
    // Three of one vendor, idents one apart; the scanned slave is the middle one's.
    Write("acme-a.gsd", Gsd("A", 0x0A01, true, {{"8 in", "0x17"}, {"8 out", "0x27"}}));
    Write("acme-b.gsd",
          Gsd("B", 0x0A02, true, {{"8 in", "0x17"}, {"4 out", "0x23"}, {"2 words in", "0x51"}}));
    Write("acme-c.gsd", Gsd("C", 0x0A03, false, {{"compact", "0x17, 0x23"}}));
    // Two files of one ident (an older release): only the second's modules fit.
    Write("old/acme-d1.gsd", Gsd("D1", 0x0A04, true, {{"16 in", "0x1F"}}));
    Write("old/acme-d2.gsd", Gsd("D2", 0x0A04, true, {{"16 in", "0x1F"}, {"1 out", "0x20"}}));
    m_bus.Add(Slave(3, 0x0A02, {0x17, 0x51, 0x23, 0x17}));
    m_bus.Add(Slave(4, 0x0A03, {0x17, 0x23}));
    m_bus.Add(Slave(5, 0x0A04, {0x1F, 0x20}));
    m_bus.Add(Slave(6, 0x0BAD, {0x13}));

    const dp::SScanReport report = dp::ScanAlone(m_line, m_settings);
    ASSERT_EQ(report.eEnd, dp::teScanEnd::Done);
    ASSERT_EQ(report.stations.size(), 4u);
    dp::SGsdCatalog catalog;
    std::string strError;
    ASSERT_TRUE(dp::ReadGsdCatalog(m_strDir, {0x0A02, 0x0A03, 0x0A04, 0x0BAD}, catalog, strError))
        << strError;
    EXPECT_EQ(catalog.nFilesRead, 5u);
    EXPECT_EQ(catalog.nRefused, 0u) << (catalog.refused.empty() ? "" : catalog.refused[0]);

    std::vector<dp::SFoundSlave> slaves;
    for (const dp::SScannedStation& station : report.stations)
        slaves.push_back({&station, dp::ChooseGsd(catalog, station)});
    ASSERT_NE(slaves[0].gsd.pStation, nullptr);
    EXPECT_EQ(slaves[0].gsd.pStation->strModel, "B");
    ASSERT_TRUE(slaves[0].gsd.match.bFound) << slaves[0].gsd.match.strWhy;
    std::vector<std::string> names;
    for (const dp::SGsdModule* pModule : slaves[0].gsd.match.modules)
        names.push_back(pModule->strName);
    EXPECT_EQ(names, (std::vector<std::string>{"8 in", "2 words in", "4 out", "8 in"}));
    EXPECT_EQ(slaves[1].gsd.pStation->strModel, "C");
    EXPECT_TRUE(slaves[1].gsd.match.bFound);
    EXPECT_EQ(slaves[2].gsd.nCandidates, 2u);
    EXPECT_EQ(slaves[2].gsd.pStation->strModel, "D2");
    EXPECT_EQ(slaves[3].gsd.pStation, nullptr);

    // The bus file loads with the master's reader and brings up what was found.
    const std::string strBusFile = m_strDir + "found.json";
    std::vector<std::string> skipped;
    const std::string strText =
        dp::BusFileText({kBaud, 1, 20000, "found"}, slaves, strBusFile, skipped);
    EXPECT_TRUE(skipped.empty());
    ASSERT_TRUE(dp::WriteBusFile(strBusFile, strText, false, strError)) << strError;
    EXPECT_THAT(strText, HasSubstr("\"gsd\": \"acme-b.gsd\""));
    EXPECT_THAT(strText, HasSubstr("\"2 words in\""));
    EXPECT_THAT(strText, HasSubstr("\"gsd\": \"old/acme-d2.gsd\""));
    std::string strRead;
    ASSERT_TRUE(dp::ReadTextFile(strBusFile, strRead, strError)) << strError;
    dp::SMasterConfig config;
    ASSERT_TRUE(dp::ParseBusFile(strRead, config, strError, dp::FolderOf(strBusFile)))
        << strError << "\n"
        << strRead;
    EXPECT_EQ(config.bus.dwBaudRate, kBaud);
    EXPECT_EQ(config.dwResponseAllowanceUs, 20000u);
    ASSERT_EQ(config.slaves.size(), 4u);
    for (std::size_t i = 0; i < config.slaves.size(); ++i)
    {
        EXPECT_EQ(config.slaves[i].byAddress, report.stations[i].byAddress);
        EXPECT_EQ(config.slaves[i].wIdent, report.stations[i].wIdent);
        EXPECT_EQ(config.slaves[i].abyConfig, report.stations[i].abyConfig);
    }

    // Written once; a second time only when asked.
    EXPECT_FALSE(dp::WriteBusFile(strBusFile, "{}", false, strError));
    EXPECT_THAT(strError, HasSubstr("exists already"));
    ASSERT_TRUE(dp::ReadTextFile(strBusFile, strRead, strError));
    EXPECT_EQ(strRead, strText);
    EXPECT_TRUE(dp::WriteBusFile(strBusFile, "{}", true, strError)) << strError;
}

TEST_F(ScanGsdTest, AFolderOfThousandsOfFilesLinksInCirclesAndFilesThatAreNoGsdIsBounded)
{
    Write("good.gsd", Gsd("Good", 0x0C01, true, {{"8 in", "0x17"}}));
    Write("notes.gsd", "This is no device description.\n\x01\x02\xff garbage\n");
    Write("empty.GSE", "");
    Write("readme.txt", "not even looked at");
    std::filesystem::create_directory_symlink(".", m_strDir + "sub-loop");
    std::filesystem::create_directories(m_strDir + "a/b");
    std::filesystem::create_directory_symlink(m_strDir + "a", m_strDir + "a/b/up");
    std::filesystem::create_symlink(m_strDir + "self.gsd", m_strDir + "self.gsd");
    ASSERT_EQ(::mkfifo((m_strDir + "pipe.gsd").c_str(), 0600), 0);
    // A flood, against bounds a hundredth of the real ones' (thousands of files take a while to
    // write on a shared machine; the walk counts the same).
    const dp::SGsdCatalogLimits limits{dp::kMaxGsdEntries / 100, dp::kMaxGsdFiles / 100, 4};
    for (std::size_t i = 0; i < limits.nMaxFiles + 30; ++i)
        Write("zz-many/f" + std::to_string(i) + ".gsd", "#Profibus_DP\nIdent_Number = 0x0D01\n");

    dp::SGsdCatalog catalog;
    std::string strError;
    ASSERT_TRUE(dp::ReadGsdCatalog(m_strDir, {0x0C01}, catalog, strError, limits)) << strError;
    // The good file is read (sorted names: it comes before the flood), the flood is cut.
    ASSERT_EQ(catalog.byIdent.count(0x0C01), 1u);
    EXPECT_EQ(catalog.byIdent[0x0C01].size(), 1u);
    EXPECT_EQ(catalog.nFilesRead, limits.nMaxFiles);
    EXPECT_THAT(catalog.strStopped, HasSubstr("stopped after 20 GSD files"));

    // Names beyond the entry bound are not even looked at.
    for (std::size_t i = 0; i < limits.nMaxEntries; ++i)
        Write("zz-names/n" + std::to_string(i) + ".txt", "");
    dp::SGsdCatalog names;
    ASSERT_TRUE(dp::ReadGsdCatalog(m_strDir, {0x0C01}, names, strError, limits));
    EXPECT_LE(names.nEntries, limits.nMaxEntries + 1 + 2 * 10); // a look at a folder or two more
    EXPECT_EQ(names.byIdent.count(0x0C01), 1u);
    EXPECT_GE(catalog.nLoopsSkipped, 2u);
    // Notes, empty, the link to itself, the FIFO.
    EXPECT_GE(catalog.nRefused, 4u) << testing::PrintToString(catalog.refused);
    EXPECT_LE(catalog.refused.size(), dp::kMaxRefusalsKept);

    EXPECT_FALSE(dp::ReadGsdCatalog(m_strDir + "good.gsd", {}, catalog, strError));
    EXPECT_THAT(strError, HasSubstr("not a folder"));
}

TEST(ScanModuleMatchTest, TheSearchIsBoundedAndKeepsToMaxModule)
{
    dp::SGsdStation station;
    station.modularStation.nValue = 1;
    station.modularStation.nLine = 1;
    // Hundreds of modules that each fit anywhere: the walk stays positions x modules.
    for (int i = 0; i < 400; ++i)
        station.modules.push_back({"m" + std::to_string(i), 1, {0x10}, 0, false, {}});
    station.modules.push_back({"end", 1, {0x20}, 0, false, {}});
    std::vector<std::uint8_t> abyConfig(243, 0x10);
    abyConfig.push_back(0x20);
    dp::SModuleMatch match = dp::MatchModules(station, abyConfig);
    ASSERT_TRUE(match.bFound) << match.strWhy;
    EXPECT_EQ(match.modules.size(), 244u);
    EXPECT_EQ(match.modules.front()->strName, "m0"); // the first of the file among equals
    EXPECT_EQ(match.modules.back()->strName, "end");

    station.maxModule = {8, 2};
    match = dp::MatchModules(station, abyConfig);
    EXPECT_FALSE(match.bFound);
    EXPECT_THAT(match.strWhy, HasSubstr("Max_Module 8"));

    abyConfig.back() = 0x30;
    station.maxModule = {};
    EXPECT_FALSE(dp::MatchModules(station, abyConfig).bFound);
}

// The line's rate is set by the opener; at any rate but the bus's, its bytes reach the
// receiver as garbage, as they do at a UART set to a wrong rate.
class CRateLine
{
public:
    CRateLine(CScriptedLine& line, std::uint32_t dwBusRate) : m_line(line), m_dwBusRate(dwBusRate)
    {
    }
    dp::IDpLine* OpenAt(std::uint32_t dwRate)
    {
        const std::uint64_t qwFrom = m_line.Now();
        const std::uint64_t qwTo = qwFrom + dp::ProbeTimeNs(dwRate);
        ++m_nOpened;
        if (m_dwBusRate == 0)
            return &m_line;
        if (dwRate != m_dwBusRate)
        {
            m_line.PutNoise(qwFrom, qwTo, static_cast<std::uint32_t>(dwRate));
            return &m_line;
        }
        // A master polling a slave, every 2 ms: request and answer.
        const std::uint64_t qwCharacter = m_line.CharacterNs();
        for (std::uint64_t qwAt = qwFrom + 500000; qwAt + 2000000 < qwTo; qwAt += 2000000)
        {
            m_line.Put(qwAt, Sd1(3, 2, 0x5D));
            m_line.Put(qwAt + 8 * qwCharacter, Sd2(2, 3, 0x08, -1, -1, {1, 2, 3, 4}));
        }
        return &m_line;
    }
    int m_nOpened = 0;

private:
    CScriptedLine& m_line;
    std::uint32_t m_dwBusRate;
};

TEST(BaudProbeTest, TheRateWithValidTelegramsIsFoundAndGarbageElsewhereIsNot)
{
    // Characters at the bus's rate; at a wrong rate they arrive as noise all the same.
    CScriptedLine line(187500);
    CRateLine rates(line, 187500);
    const dp::SBaudProbe probe = dp::ProbeBaudRates([&](std::uint32_t dwRate, std::string&)
                                                    { return rates.OpenAt(dwRate); });
    EXPECT_EQ(probe.dwFound, 187500u);
    EXPECT_FALSE(probe.bSilent);
    // Slowest first, and the probe ends at a rate beyond doubt.
    ASSERT_EQ(probe.rates.size(), 6u);
    for (const dp::SRateHeard& rate : probe.rates)
    {
        if (rate.dwBaudRate != 187500)
        {
            EXPECT_FALSE(dp::CarriesTelegrams(rate.heard)) << rate.dwBaudRate;
        }
    }
}

TEST(BaudProbeTest, ASilentLineAndALineOfGarbageNameNoRate)
{
    CScriptedLine line(9600);
    CRateLine silent(line, 0);
    dp::SBaudProbe probe = dp::ProbeBaudRates([&](std::uint32_t dwRate, std::string&)
                                              { return silent.OpenAt(dwRate); });
    EXPECT_EQ(probe.dwFound, 0u);
    EXPECT_TRUE(probe.bSilent);
    EXPECT_EQ(probe.rates.size(), std::size(dp::kStandardBaudRates));

    CRateLine garbage(line, 1); // no standard rate: garbage at every one
    probe = dp::ProbeBaudRates([&](std::uint32_t dwRate, std::string&)
                               { return garbage.OpenAt(dwRate); });
    EXPECT_EQ(probe.dwFound, 0u);
    EXPECT_FALSE(probe.bSilent);

    // A rate the port refuses is named and passed over.
    probe = dp::ProbeBaudRates(
        [&](std::uint32_t, std::string& strError) -> dp::IDpLine*
        {
            strError = "refused";
            return nullptr;
        });
    EXPECT_EQ(probe.dwFound, 0u);
    EXPECT_EQ(probe.rates.front().strError, "refused");
}

} // namespace
} // namespace dptest
