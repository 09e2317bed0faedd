// One simulated slave in-process, fed with request data written out byte by byte: its
// start-up, its diagnosis, Global_Control by group, its generators, and a second master that
// only reads it.
#include "dp/slave/SimulatedSlave.h"

#include "dp/fdl/FunctionCodes.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kMaster = 2;
constexpr std::uint8_t kSlave = 3;

dp::SSlaveDefinition Definition()
{
    dp::SSlaveDefinition definition;
    definition.byAddress = kSlave;
    definition.wIdent = 0x0A35;
    definition.abyUserPrm = {0x00, 0x10};
    definition.abyConfig = {0x11, 0x21}; // 2 input bytes, 2 output bytes
    definition.byInputLength = 2;
    definition.byOutputLength = 2;
    korix::SGenerator loopback{};
    loopback.byKind = korix::GenLoopback;
    loopback.byLength = 2;
    definition.aGenerators.push_back(loopback);
    return definition;
}

dp::STelegram Request(std::uint8_t byDsap, const Bytes& data, std::uint8_t bySa = kMaster,
                      std::uint8_t byDa = kSlave)
{
    dp::STelegram request;
    request.eFrame = dp::teFrame::Sd2;
    request.byDa = byDa;
    request.bySa = bySa;
    request.byFc = dp::RequestFc(dp::ReqSrdHigh, false, false);
    if (byDsap != 0)
    {
        request.bHasDsap = request.bHasSsap = true;
        request.byDsap = byDsap;
        request.bySsap = dp::kSapMaster;
    }
    request.byDataLength = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), request.abyData);
    return request;
}

Bytes Diagnosis(dp::CSimulatedSlave& slave)
{
    dp::STelegram answer;
    EXPECT_TRUE(slave.Handle(Request(dp::kSapSlaveDiag, {}), 0, answer));
    return Bytes(answer.abyData, answer.abyData + answer.byDataLength);
}

// Set_Prm: Lock_Req + WD_On, factors 10 x 10 (1 s), min TSDR 11, ident 0x0A35, group 2 (bit 1),
// user parameter data 00 10.
const Bytes kSetPrm = {0x88, 0x0A, 0x0A, 0x0B, 0x0A, 0x35, 0x02, 0x00, 0x10};

void StartUp(dp::CSimulatedSlave& slave)
{
    dp::STelegram answer;
    ASSERT_TRUE(slave.Handle(Request(dp::kSapSetPrm, kSetPrm), 0, answer));
    EXPECT_EQ(answer.eFrame, dp::teFrame::ShortAck);
    ASSERT_TRUE(slave.Handle(Request(dp::kSapCheckConfig, {0x11, 0x21}), 0, answer));
    ASSERT_EQ(slave.State(), dp::teSlaveState::DataExchange);
}

TEST(SimulatedSlave, DiagnosisSaysWhatTheSlaveWaitsFor)
{
    dp::CSimulatedSlave slave(Definition());
    // Not ready, asks for parameters, no master yet, ident 0x0A35.
    EXPECT_EQ(Diagnosis(slave), (Bytes{0x02, 0x05, 0x00, 0xFF, 0x0A, 0x35}));

    // Another ident: Prm_Fault, and still waiting for parameters.
    dp::STelegram answer;
    slave.Handle(Request(dp::kSapSetPrm, {0x88, 0x0A, 0x0A, 0x0B, 0x0A, 0x36, 0x02, 0x00, 0x10}), 0,
                 answer);
    EXPECT_EQ(slave.State(), dp::teSlaveState::WaitPrm);
    EXPECT_EQ(Diagnosis(slave), (Bytes{0x42, 0x05, 0x00, 0xFF, 0x0A, 0x35}));

    // The right parameters, then other configuration bytes: Cfg_Fault; the watchdog stays on
    // and master 2 holds the slave.
    slave.Handle(Request(dp::kSapSetPrm, kSetPrm), 0, answer);
    EXPECT_EQ(slave.State(), dp::teSlaveState::WaitCfg);
    slave.Handle(Request(dp::kSapCheckConfig, {0x11, 0x22}), 0, answer);
    EXPECT_EQ(Diagnosis(slave), (Bytes{0x06, 0x0D, 0x00, 0x02, 0x0A, 0x35}));

    // Ready: only the bit that is always 1 and the watchdog; then extended diagnosis with
    // its device block.
    StartUp(slave);
    EXPECT_EQ(Diagnosis(slave), (Bytes{0x00, 0x0C, 0x00, 0x02, 0x0A, 0x35}));
    slave.FlagDiagnosis(true);
    EXPECT_EQ(Diagnosis(slave), (Bytes{0x08, 0x0C, 0x00, 0x02, 0x0A, 0x35, 0x03, 0x5A, kSlave}));
}

TEST(SimulatedSlave, ShortSetPrmIsAParameterFault)
{
    dp::CSimulatedSlave slave(Definition());
    dp::STelegram answer;
    slave.Handle(Request(dp::kSapSetPrm, {0x88, 0x0A, 0x0A, 0x0B, 0x0A, 0x35}), 0, answer);
    EXPECT_EQ(slave.State(), dp::teSlaveState::WaitPrm);
    EXPECT_EQ(Diagnosis(slave)[0] & dp::kDiag1PrmFault, dp::kDiag1PrmFault);
}

TEST(SimulatedSlave, GlobalControlClearsOnlyItsGroupsOutputs)
{
    dp::CSimulatedSlave slave(Definition());
    StartUp(slave);
    dp::STelegram answer;
    ASSERT_TRUE(slave.Handle(Request(0, {0xAB, 0xCD}), 1, answer));
    EXPECT_EQ(Bytes(answer.abyData, answer.abyData + answer.byDataLength), (Bytes{0xAB, 0xCD}))
        << "the loopback generator mirrors the outputs";

    const auto broadcast = [&](const Bytes& data, std::uint8_t bySa = kMaster)
    { EXPECT_FALSE(slave.Handle(Request(dp::kSapGlobalControl, data, bySa, 127), 2, answer)); };
    broadcast({0x02, 0x01}); // Clear_Data for group 1: not ours
    EXPECT_EQ(slave.Outputs()[0], 0xAB);
    broadcast({0x02, 0x00}, 9); // from a master that does not hold the slave
    EXPECT_EQ(slave.Outputs()[0], 0xAB);
    broadcast({0x02}); // one byte is no Global_Control
    EXPECT_EQ(slave.Outputs()[0], 0xAB);
    broadcast({0x02, 0x82}); // groups 2 and 8
    EXPECT_EQ(slave.Outputs()[0], 0x00);
    EXPECT_EQ(slave.Outputs()[1], 0x00);
}

TEST(SimulatedSlave, InputsComeFromTheBoardsGenerators)
{
    dp::SSlaveDefinition definition = Definition();
    definition.aGenerators.clear();
    korix::SGenerator counter{};
    counter.byKind = korix::GenCounter;
    counter.byLength = 1;
    counter.dwPeriodMs = 10;
    counter.dwStep = 3;
    korix::SGenerator random{};
    random.byKind = korix::GenRandom;
    random.byOffset = 1;
    random.byLength = 1;
    random.dwRandomState = 1;
    definition.aGenerators = {counter, random};
    dp::CSimulatedSlave slave(definition);
    StartUp(slave);
    dp::STelegram answer;
    ASSERT_TRUE(slave.Handle(Request(0, {0, 0}), 1000, answer)); // the generators' time begins
    // xorshift32 (13, 17, 5) from 1 gives 0x00042021, then 0x04080601; the board takes the
    // top byte of each.
    EXPECT_EQ(answer.abyData[0], 0);
    EXPECT_EQ(answer.abyData[1], 0x00);
    dp::STelegram again = Request(0, {0, 0});
    again.byFc = dp::RequestFc(dp::ReqSrdHigh, true, true);
    ASSERT_TRUE(slave.Handle(again, 1025, answer));
    EXPECT_EQ(answer.abyData[0], 6) << "two periods of 10 ms, 3 a step";
    EXPECT_EQ(answer.abyData[1], 0x04);
}

// A second master reads the slave its owner runs: each counts its frames on its own, the reads
// answer from their SAPs with the images and the configuration, and the reads do not keep the
// slave's watchdog alive once its owner has gone.
TEST(SimulatedSlave, AnotherMastersReadsAreAnsweredAndDoNotKeepItAlive)
{
    constexpr std::uint8_t kReader = 9;
    dp::CSimulatedSlave slave(Definition());
    StartUp(slave); // watchdog 1 s
    dp::STelegram answer;
    dp::STelegram exchange = Request(0, {0xAB, 0xCD});
    exchange.byFc = dp::RequestFc(dp::ReqSrdHigh, true, true);
    ASSERT_TRUE(slave.Handle(exchange, 10, answer));

    // The reader's frame count bits happen to equal the owner's last: no repetition of the
    // owner's answer, but the reader's own.
    const auto read = [&](std::uint8_t byDsap, bool bFcb, std::uint64_t qwNowMs)
    {
        dp::STelegram request = Request(byDsap, {}, kReader);
        request.byFc = dp::RequestFc(dp::ReqSrdHigh, bFcb, true);
        dp::STelegram got;
        EXPECT_TRUE(slave.Handle(request, qwNowMs, got));
        EXPECT_EQ(got.byDa, kReader);
        EXPECT_TRUE(got.bHasDsap && got.bHasSsap);
        EXPECT_EQ(got.byDsap, dp::kSapMaster);
        EXPECT_EQ(got.bySsap, byDsap);
        return Bytes(got.abyData, got.abyData + got.byDataLength);
    };
    EXPECT_EQ(read(dp::kSapReadOutputs, true, 20), (Bytes{0xAB, 0xCD}));
    EXPECT_EQ(read(dp::kSapReadInputs, false, 30), (Bytes{0xAB, 0xCD})) << "the loopback";
    EXPECT_EQ(read(dp::kSapGetConfig, true, 40), (Bytes{0x11, 0x21}));
    const Bytes abyDiag = read(dp::kSapSlaveDiag, false, 50);
    ASSERT_EQ(abyDiag.size(), 6u);
    EXPECT_EQ(abyDiag[3], kMaster) << "the master that parametrised it";

    // The owner goes on from its own count: its next exchange is executed, not repeated.
    exchange = Request(0, {0x12, 0x34});
    exchange.byFc = dp::RequestFc(dp::ReqSrdHigh, false, true);
    ASSERT_TRUE(slave.Handle(exchange, 60, answer));
    EXPECT_EQ(slave.Outputs()[0], 0x12);

    // The owner falls silent; the reader reads on every 100 ms: the watchdog runs out all the
    // same, and the slave waits for parameters again with its outputs at 0.
    bool bFcb = true;
    for (std::uint64_t qwMs = 160; qwMs <= 1500; qwMs += 100, bFcb = !bFcb)
        read(dp::kSapReadInputs, bFcb, qwMs);
    EXPECT_EQ(slave.State(), dp::teSlaveState::WaitPrm);
    EXPECT_EQ(slave.Outputs()[0], 0x00);
}

} // namespace
