// A slave another master owns, observed by ours on a scripted line in virtual time: the master
// only ever reads it (Slave_Diag, RD_Inp, RD_Outp, Get_Cfg), shows its images and owner only
// while its diagnosis says it exchanges with that owner and this cycle's reads brought them,
// keeps Global_Control from it, and the board it serves refuses hosts' writes to it. The
// slave answers from the public layouts (tests/dp/ScriptedSlave.h), not with the master's
// encoders.
#include "tests/dp/ScriptedSlave.h"
#include "tests/support/PrivateBoard.h"

#include "board/BoardOperations.h"
#include "dp/master/BoardLink.h"
#include "dp/master/DpMaster.h"
#include "dp/master/MasterStatusWriter.h"
#include "dp/status/MasterStatusReader.h"
#include "dp/status/MasterStatusText.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace dptest
{
namespace
{

using testing::HasSubstr;

const testing::Environment* const g_pBoards =
    testing::AddGlobalTestEnvironment(new testsupport::CPrivateBoardEnvironment);

constexpr std::uint32_t kBaudRate = 500000;
constexpr std::uint8_t kMaster = 2;
constexpr std::uint8_t kOwner = 1; // the PLC that owns the observed slave
constexpr std::uint8_t kOwn = 3;   // a slave of ours: 2 inputs, 2 outputs
constexpr std::uint8_t kSeen = 5;  // the observed slave: 4 inputs, 2 outputs
constexpr std::uint16_t kIdent = 0x0A35;

// SAPs of the reads a master may make of another's slave, and the master's own SAP.
constexpr std::uint8_t kSapRdInp = 56;
constexpr std::uint8_t kSapRdOutp = 57;
constexpr std::uint8_t kSapGlobalControl = 58;
constexpr std::uint8_t kSapGetCfg = 59;
constexpr std::uint8_t kSapDiag = 60;
constexpr std::uint8_t kSapMasterEnd = 62;

// A telegram as sent: SD1 10 DA SA FC FCS 16; SD2 68 LE LEr 68 DA SA FC [DSAP SSAP] ...
struct SSeen
{
    std::uint8_t byDa = 0;
    std::uint8_t byFc = 0;
    int nDsap = -1;
    int nSsap = -1;
};

SSeen Look(const Bytes& abySent)
{
    SSeen seen;
    if (abySent.size() >= 6 && abySent[0] == 0x10)
    {
        seen.byDa = abySent[1] & 0x7F;
        seen.byFc = abySent[3];
    }
    else if (abySent.size() >= 9 && abySent[0] == 0x68)
    {
        seen.byDa = abySent[4] & 0x7F;
        seen.byFc = abySent[6];
        std::size_t nAt = 7;
        if ((abySent[4] & 0x80) != 0 && abySent.size() > nAt)
            seen.nDsap = abySent[nAt++] & 0x3F;
        if ((abySent[5] & 0x80) != 0 && abySent.size() > nAt)
            seen.nSsap = abySent[nAt] & 0x3F;
    }
    return seen;
}

class ObservedSlaveTest : public testing::Test
{
protected:
    ObservedSlaveTest()
    {
        dp::DefaultBusParameters(kBaudRate, m_config.bus);
        m_config.byMasterAddress = kMaster;
        m_config.dwResponseAllowanceUs = 100;
        m_config.dwRestartIntervalMs = 20;
        m_config.dwGlobalControlIntervalMs = 0;
        m_line.SetResponder(
            [this](const dp::STelegram& request, std::uint64_t qwEndNs)
            {
                for (auto& pSlave : m_slaves)
                    pSlave->Respond(request, qwEndNs);
            });
    }

    ~ObservedSlaveTest() override { m_pLink.reset(); }

    CScriptedSlave& AddSlave(std::uint8_t byAddress, std::uint8_t byInputs, std::uint8_t byOutputs,
                             bool bObserve)
    {
        dp::SSlaveConfig slave;
        slave.byAddress = byAddress;
        slave.wIdent = kIdent;
        slave.byInputLength = byInputs;
        slave.byOutputLength = byOutputs;
        slave.abyConfig = {static_cast<std::uint8_t>(0x10 | (byInputs - 1)),
                           static_cast<std::uint8_t>(0x20 | (byOutputs - 1))};
        slave.bObserve = bObserve;
        m_config.slaves.push_back(slave);
        m_slaves.push_back(
            std::make_unique<CScriptedSlave>(m_line, byAddress, kIdent, byInputs, byOutputs));
        return *m_slaves.back();
    }

    // The observed slave as its owner left it: parametrised, configured, exchanging.
    CScriptedSlave& AddOwnedSlave()
    {
        CScriptedSlave& slave = AddSlave(kSeen, 4, 2, true);
        slave.SetState(CScriptedSlave::teState::DataExchange);
        slave.SetMasterInDiagnosis(kOwner);
        slave.SetInputs({0x11, 0x22, 0x33, 0x44});
        slave.SetOwnerOutputs({0xAB, 0xCD});
        return slave;
    }

    void Start()
    {
        m_pMaster = std::make_unique<dp::CDpMaster>(m_line, m_config);
        m_pMaster->SetMode(MasterOperate);
    }

    template <typename PRED> bool CyclesUntil(PRED condition, int nMax = 200)
    {
        for (int i = 0; i < nMax; ++i)
        {
            if (condition())
                return true;
            if (!m_pMaster->RunCycle())
                return false;
        }
        return condition();
    }

    const dp::SMasterSlaveState& Status(std::uint8_t byAddress)
    {
        return m_pMaster->Slave(static_cast<std::size_t>(m_pMaster->FindSlave(byAddress)));
    }
    bool Exchanging(std::uint8_t byAddress) { return IsSlaveExchanging(Status(byAddress).eState); }
    Bytes Inputs(std::uint8_t byAddress, std::size_t nCount)
    {
        return Bytes(Status(byAddress).abyInputs, Status(byAddress).abyInputs + nCount);
    }
    Bytes Outputs(std::uint8_t byAddress, std::size_t nCount)
    {
        return Bytes(Status(byAddress).abyOutputs, Status(byAddress).abyOutputs + nCount);
    }

    // Every telegram sent from the nth on to the address (or to everyone).
    std::vector<SSeen> SentTo(std::uint8_t byAddress, std::size_t nFrom = 0)
    {
        std::vector<SSeen> aSeen;
        for (std::size_t i = nFrom; i < m_line.Sent().size(); ++i)
        {
            const SSeen seen = Look(m_line.Sent()[i]);
            if (seen.byDa == byAddress)
                aSeen.push_back(seen);
        }
        return aSeen;
    }
    std::size_t CountSap(std::uint8_t byAddress, int nDsap, std::size_t nFrom = 0)
    {
        const std::vector<SSeen> aSeen = SentTo(byAddress, nFrom);
        return static_cast<std::size_t>(std::count_if(
            aSeen.begin(), aSeen.end(), [&](const SSeen& seen) { return seen.nDsap == nDsap; }));
    }
    // Nothing but the four reads, from the master's SAP, as send-and-request: no Set_Prm,
    // Chk_Cfg, Data_Exchange, FDL status or Global_Control.
    void ExpectOnlyReads(std::uint8_t byAddress)
    {
        const std::set<int> reads = {kSapRdInp, kSapRdOutp, kSapGetCfg, kSapDiag};
        for (const SSeen& seen : SentTo(byAddress))
        {
            EXPECT_TRUE(reads.count(seen.nDsap) == 1) << "DSAP " << seen.nDsap;
            EXPECT_EQ(seen.nSsap, kSapMasterEnd);
            EXPECT_EQ(seen.byFc & 0x4F, 0x4D) << "SRD high";
        }
        EXPECT_TRUE(SentTo(127).empty()) << "a broadcast reaches the observed slave too";
    }

    CScriptedLine m_line{kBaudRate};
    dp::SMasterConfig m_config;
    std::vector<std::unique_ptr<CScriptedSlave>> m_slaves;
    std::unique_ptr<dp::CDpMaster> m_pMaster;
    std::unique_ptr<dp::CBoardLink> m_pLink;
};

TEST_F(ObservedSlaveTest, ItsImagesAndOwnerAreShownAndItIsOnlyEverRead)
{
    AddSlave(kOwn, 2, 2, false).SetInputs({0x01, 0x02});
    AddOwnedSlave();
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(kOwn) && Exchanging(kSeen); }));
    EXPECT_EQ(Status(kSeen).eState, SlaveDataExchange);
    EXPECT_EQ(Inputs(kSeen, 4), (Bytes{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(Outputs(kSeen, 2), (Bytes{0xAB, 0xCD})) << "what its owner writes";
    EXPECT_EQ(Status(kSeen).byOwner, kOwner);

    // The images follow the slave from cycle to cycle; its configuration is read once.
    m_slaves[1]->SetInputs({0x55, 0x66, 0x77, 0x88});
    m_slaves[1]->SetOwnerOutputs({0x01, 0xEF});
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(m_pMaster->RunCycle());
    EXPECT_EQ(Inputs(kSeen, 4), (Bytes{0x55, 0x66, 0x77, 0x88}));
    EXPECT_EQ(Outputs(kSeen, 2), (Bytes{0x01, 0xEF}));
    EXPECT_EQ(Status(kSeen).qwInputsCycle, m_pMaster->Counters().qwCycles);
    EXPECT_EQ(CountSap(kSeen, kSapGetCfg), 1u);
    EXPECT_GE(CountSap(kSeen, kSapRdInp), 20u);

    // A host's outputs for it go nowhere: the owner's stay shown.
    const std::uint8_t abyHost[] = {0x99, 0x99};
    m_pMaster->SetOutputs(static_cast<std::size_t>(m_pMaster->FindSlave(kSeen)), abyHost, 2);
    ASSERT_TRUE(m_pMaster->RunCycle());
    EXPECT_EQ(Outputs(kSeen, 2), (Bytes{0x01, 0xEF}));
    ExpectOnlyReads(kSeen);
    EXPECT_EQ(m_slaves[1]->DataExchanges(), 0u);
    EXPECT_TRUE(m_slaves[1]->LastSetPrm().empty());
}

TEST_F(ObservedSlaveTest, GlobalControlGoesToEachOwnSlaveAndNeverToTheObservedOne)
{
    AddSlave(kOwn, 2, 2, false);
    AddSlave(4, 2, 2, false);
    AddOwnedSlave();
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(kOwn) && Exchanging(kSeen); }));
    m_pMaster->SetMode(MasterClear);
    const std::size_t nBefore = m_line.Sent().size();
    ASSERT_TRUE(m_pMaster->RunCycle());
    // Clear_Data, every group, SDN high from SAP 62 to 58: to 3 and to 4, by address.
    EXPECT_EQ(m_line.Sent()[nBefore], Sd2(kOwn, kMaster, 0x46, 58, 62, {0x02, 0x00}));
    EXPECT_EQ(m_line.Sent()[nBefore + 1], Sd2(4, kMaster, 0x46, 58, 62, {0x02, 0x00}));
    EXPECT_EQ(m_pMaster->Counters().dwGlobalControls, 2u) << "one for operate, one for clear";
    EXPECT_EQ(CountSap(kSeen, kSapGlobalControl), 0u);
    ExpectOnlyReads(kSeen);
    EXPECT_TRUE(Exchanging(kSeen)) << "our mode is not its owner's";

    // A bus that only observes sends no Global_Control at all.
    m_config.slaves.erase(m_config.slaves.begin(), m_config.slaves.begin() + 2);
    m_slaves.erase(m_slaves.begin(), m_slaves.begin() + 2);
    const std::size_t nRestart = m_line.Sent().size();
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(kSeen); }));
    m_pMaster->SetMode(MasterClear);
    ASSERT_TRUE(m_pMaster->RunCycle());
    for (std::size_t i = nRestart; i < m_line.Sent().size(); ++i)
        EXPECT_NE(Look(m_line.Sent()[i]).nDsap, kSapGlobalControl);
}

TEST_F(ObservedSlaveTest, ItIsShownNotExchangingWhileItsDiagnosisSaysSoOrItsInputsDoNotCome)
{
    AddSlave(kOwn, 2, 2, false);
    CScriptedSlave& seen = AddOwnedSlave();
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(kSeen); }));

    struct SCase
    {
        const char* pszName;
        std::function<void()> fault;
        teBoardSlaveState eState;
        const char* pszWhy;
    };
    const SCase aCases[] = {
        {"its owner has gone: it waits for parameters",
         [&]
         {
             seen.SetState(CScriptedSlave::teState::WaitPrm);
             seen.SetMasterInDiagnosis(0xFF);
         },
         SlaveParameterising, "not parametrised by any master"},
        {"parametrised, not yet configured",
         [&] { seen.SetState(CScriptedSlave::teState::WaitCfg); }, SlaveParameterising,
         "not ready for data exchange"},
        {"no valid data (Stat_Diag)", [&] { seen.SetDiagnosis(0x00, 0x02); }, SlaveParameterising,
         "static diagnosis"},
        {"its owner's configuration refused (Cfg_Fault)", [&] { seen.SetDiagnosis(0x04, 0x00); },
         SlaveConfigFault, "configuration refused"},
        {"another ident", [&] { seen.SetIdentInDiagnosis(0x0B00); }, SlaveConfigFault,
         "ident number 0x0B00"},
        {"RD_Inp unanswered",
         [&]
         {
             seen.SetFault(
                 [](const dp::STelegram& request, CScriptedSlave::SReply& reply)
                 {
                     if (request.bHasDsap && request.byDsap == kSapRdInp)
                         reply.abyBytes.clear();
                 });
         },
         SlaveNotReachable, "no answer to RD_Inp"},
        {"RD_Inp refused (RS)",
         [&]
         {
             seen.SetFault(
                 [](const dp::STelegram& request, CScriptedSlave::SReply& reply)
                 {
                     if (request.bHasDsap && request.byDsap == kSapRdInp)
                         reply.abyBytes = Sd1(kMaster, kSeen, 0x03);
                 });
         },
         SlaveParameterising, "RD_Inp not served"},
        {"RD_Outp unanswered",
         [&]
         {
             seen.SetFault(
                 [](const dp::STelegram& request, CScriptedSlave::SReply& reply)
                 {
                     if (request.bHasDsap && request.byDsap == kSapRdOutp)
                         reply.abyBytes.clear();
                 });
         },
         SlaveNotReachable, "no answer to RD_Outp"},
        {"RD_Inp of another length",
         [&] {
             seen.SetInputs({0x11, 0x22});
         },
         SlaveConfigFault, "RD_Inp brought 2 bytes, expected 4"},
    };
    for (const SCase& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        c.fault();
        const std::size_t nFrom = m_line.Sent().size();
        ASSERT_TRUE(m_pMaster->RunCycle());
        EXPECT_EQ(Status(kSeen).eState, c.eState);
        EXPECT_THAT(Status(kSeen).strProblem, HasSubstr(c.pszWhy));
        EXPECT_EQ(Inputs(kSeen, 4), Bytes(4, 0));
        EXPECT_EQ(Outputs(kSeen, 2), Bytes(2, 0));
        // However long it stays so, it is never shown exchanging nor are images shown.
        for (int i = 0; i < 5; ++i)
        {
            ASSERT_TRUE(m_pMaster->RunCycle());
            EXPECT_FALSE(Exchanging(kSeen));
            EXPECT_EQ(Inputs(kSeen, 4), Bytes(4, 0));
        }
        if (c.eState != SlaveNotReachable)
        {
            EXPECT_GE(SentTo(kSeen, nFrom).size(), 6u) << "read on every cycle";
        }

        // Well again: shown once this cycle's reads have brought its images, its configuration
        // read anew first.
        seen.SetFault(nullptr);
        seen.SetState(CScriptedSlave::teState::DataExchange);
        seen.SetMasterInDiagnosis(kOwner);
        seen.SetDiagnosis(0x00, 0x00);
        seen.SetIdentInDiagnosis(kIdent);
        seen.SetInputs({0x11, 0x22, 0x33, 0x44});
        const std::size_t nAgain = m_line.Sent().size();
        ASSERT_TRUE(CyclesUntil([this] { return Exchanging(kSeen); }));
        EXPECT_EQ(Inputs(kSeen, 4), (Bytes{0x11, 0x22, 0x33, 0x44}));
        EXPECT_EQ(CountSap(kSeen, kSapGetCfg, nAgain), 1u);
    }
    ExpectOnlyReads(kSeen);
    EXPECT_TRUE(Exchanging(kOwn)) << "our own slave went on all along";
}

TEST_F(ObservedSlaveTest, AConfigurationOtherThanTheBusFilesIsAFaultInWords)
{
    CScriptedSlave& seen = AddOwnedSlave();
    // The same lengths, but the bus file wants the inputs consistent and the slave has them not.
    seen.SetConfig({0x13, 0x21});
    m_config.slaves.back().abyConfig = {0x93, 0x21};
    Start();
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(m_pMaster->RunCycle());
    EXPECT_EQ(Status(kSeen).eState, SlaveConfigFault);
    EXPECT_EQ(Status(kSeen).strProblem, "Get_Cfg says 13 21, the bus file 93 21");
    EXPECT_EQ(Inputs(kSeen, 4), Bytes(4, 0));
    EXPECT_EQ(CountSap(kSeen, kSapRdInp), 0u) << "images of a slave configured otherwise";
    EXPECT_EQ(Status(kSeen).byOwner, kOwner);

    // The owner configures it anew (the slave goes through its start-up): then it matches.
    seen.SetState(CScriptedSlave::teState::WaitCfg);
    ASSERT_TRUE(m_pMaster->RunCycle());
    seen.SetConfig({0x93, 0x21});
    seen.SetState(CScriptedSlave::teState::DataExchange);
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(kSeen); }));
    EXPECT_EQ(Inputs(kSeen, 4), (Bytes{0x11, 0x22, 0x33, 0x44}));
}

TEST_F(ObservedSlaveTest, ALostSlaveIsProbedWithinTheCycleBoundAndItsFrameCountStartsAnew)
{
    AddSlave(kOwn, 2, 2, false);
    CScriptedSlave& seen = AddOwnedSlave();
    Start();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(kOwn) && Exchanging(kSeen); }));
    seen.SetFault([](const dp::STelegram&, CScriptedSlave::SReply& reply)
                  { reply.abyBytes.clear(); });
    for (int i = 0; i < 30; ++i)
    {
        const std::uint64_t qwBound = m_pMaster->CycleBoundNs();
        const std::uint64_t qwStart = m_line.Now();
        ASSERT_TRUE(m_pMaster->RunCycle());
        EXPECT_LE(m_line.Now() - qwStart, qwBound) << "cycle " << i;
        m_line.SkipTo(m_line.Now() + 2000000); // the owner's pause
    }
    EXPECT_EQ(Status(kSeen).eState, SlaveNotReachable);
    EXPECT_TRUE(Exchanging(kOwn));
    seen.SetFault(nullptr);
    const std::size_t nFrom = m_line.Sent().size();
    ASSERT_TRUE(CyclesUntil([this] { return Exchanging(kSeen); }));
    // The first request after the loss is its Slave_Diag without FCV: SRD high, FCB set.
    const std::vector<SSeen> aSent = SentTo(kSeen, nFrom);
    ASSERT_FALSE(aSent.empty());
    EXPECT_EQ(aSent.front().nDsap, kSapDiag);
    EXPECT_EQ(aSent.front().byFc, 0x6D);
    EXPECT_EQ(CountSap(kSeen, kSapGetCfg, nFrom), 1u) << "its configuration is read again";
    ExpectOnlyReads(kSeen);
}

// The board the master serves: a host reads the observed slave's inputs and its owner's
// outputs, and its write is refused with nothing sent; the status says whose slave it is.
TEST_F(ObservedSlaveTest, TheBoardShowsItReadOnlyAndTheStatusNamesItsOwner)
{
    constexpr std::uint8_t kBoard = 3;
    AddSlave(kOwn, 2, 2, false).SetInputs({0x01, 0x02});
    AddOwnedSlave();
    Start();
    m_pLink = std::make_unique<dp::CBoardLink>(kBoard, *m_pMaster, "observed slave test");
    std::string strError;
    ASSERT_TRUE(m_pLink->Attach(strError)) << strError;
    SBoardRequest host{};
    host.byHandle = kBoard;
    host.byHandleExt = kBoardRegistrationTag;
    host.byLength = kBoardSlaveCount;
    host.abyData[kOwn] = kBoardModeUsed;
    host.abyData[kSeen] = kBoardModeUsed;
    ASSERT_EQ(BoardRegister(&host), 0);
    const auto call =
        [&](PFN_BOARD_OPERATION pfnOperation, std::uint8_t byAddress, const Bytes& abyData = {})
    {
        SBoardRequest request{};
        request.byHandle = host.byHandle;
        request.byHandleExt = host.byHandleExt;
        request.byL2Addr = byAddress;
        request.byLength = abyData.empty() ? 255 : static_cast<std::uint8_t>(abyData.size());
        std::copy(abyData.begin(), abyData.end(), request.abyData);
        EXPECT_EQ(pfnOperation(&request), request.wError);
        return request;
    };
    for (int i = 0; i < 50 && !(Exchanging(kOwn) && Exchanging(kSeen)); ++i)
    {
        ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
        ASSERT_TRUE(m_pMaster->RunCycle());
    }
    ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;

    SBoardRequest read = call(BoardReadInput, kSeen);
    EXPECT_EQ(read.wError, 0);
    EXPECT_EQ(read.bySlaveState, SlaveDataExchange);
    EXPECT_EQ(Bytes(read.abyData, read.abyData + read.byLength), (Bytes{0x11, 0x22, 0x33, 0x44}));
    read = call(BoardReadOutput, kSeen);
    EXPECT_EQ(Bytes(read.abyData, read.abyData + read.byLength), (Bytes{0xAB, 0xCD}));

    const std::size_t nFrom = m_line.Sent().size();
    EXPECT_EQ(call(BoardWriteOutput, kSeen, {0x12, 0x34}).wError, 0x86);
    EXPECT_EQ(call(BoardWriteOutput, kOwn, {0x56, 0x78}).wError, 0);
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_TRUE(m_pLink->Exchange(strError)) << strError;
        ASSERT_TRUE(m_pMaster->RunCycle());
    }
    EXPECT_EQ(m_slaves[0]->LastOutputs(), (Bytes{0x56, 0x78}));
    read = call(BoardReadOutput, kSeen);
    EXPECT_EQ(Bytes(read.abyData, read.abyData + read.byLength), (Bytes{0xAB, 0xCD}));
    for (const SSeen& seen : SentTo(kSeen, nFrom))
        EXPECT_NE(seen.nDsap, -1) << "a Data_Exchange went to the observed slave";
    ExpectOnlyReads(kSeen);

    dp::CMasterStatusWriter writer;
    ASSERT_TRUE(writer.Open(kBoard, *m_pMaster, "scripted", kBaudRate, strError)) << strError;
    writer.Update(*m_pMaster);
    const std::string strText = dp::FormatMasterStatus(dp::ReadMasterStatus(kBoard));
    EXPECT_THAT(strText, HasSubstr("slave 5 (observed, owned by master 1): data exchange"));
    EXPECT_THAT(strText, HasSubstr("slave 3: data exchange"));
    writer.End(*m_pMaster);
}

} // namespace
} // namespace dptest
