#include "tools/movactl/Demo.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"
#include "tools/movactl/ValueText.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace movactl
{

namespace
{

constexpr std::uint32_t kIntervalMs = 250;
constexpr std::uint8_t kConstantByte = 0x5A;

std::int16_t SignedOf(const std::vector<std::uint8_t>& abyValue)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(NumberOf(abyValue)));
}

} // namespace

bool ShowMovingInputs(CBoardSession& session, int nStep, std::uint32_t dwSeconds)
{
    SayStep(nStep, "Watch the moving inputs of slave 4 for " + std::to_string(dwSeconds) + " s");
    if (!HasPlantSlave(session, 4, 8, 4))
        return false;
    Say("Bytes 0-1 count 10 ms ticks and bytes 2-3 carry a sine of amplitude 10000 over 10 s,\n"
        "both big-endian, so they are read with ':swap'; bytes 4-5 count seconds (also\n"
        "big-endian), byte 6 is random and byte 7 the constant 0x5A. One batch per row:");
    CVariableBatch batch = MakeReadBatch(
        session, ParseReads({"4:0:16:swap", "4:2:16:swap", "4:4:16:swap", "4:6:8", "4:7:8"}));
    Say("    time  ticks    sine  seconds  random  constant");
    auto start = std::chrono::steady_clock::now();
    std::uint16_t wFirstTicks = 0;
    std::uint16_t wLastTicks = 0;
    bool bAsExpected = true;
    std::uint32_t dwRounds = dwSeconds * 1000 / kIntervalMs + 1;
    for (std::uint32_t dwRound = 0; dwRound < dwRounds; ++dwRound)
    {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(dwRound * kIntervalMs));
        if (!ReadVariables(session, batch) || batch.AnyFailed())
        {
            Say("The read failed: " + DescribeResult(batch.GetResult(0)));
            return false;
        }
        double dSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        wLastTicks = static_cast<std::uint16_t>(NumberOf(batch.GetValue(0)));
        wFirstTicks = dwRound == 0 ? wLastTicks : wFirstTicks;
        std::uint8_t byConstant = static_cast<std::uint8_t>(NumberOf(batch.GetValue(4)));
        bAsExpected = bAsExpected && byConstant == kConstantByte;
        char szRow[96];
        std::snprintf(
            szRow, sizeof szRow, "%6.2f s  %5u  %6d  %7u    0x%02X      0x%02X", dSeconds,
            static_cast<unsigned>(wLastTicks), static_cast<int>(SignedOf(batch.GetValue(1))),
            static_cast<unsigned>(NumberOf(batch.GetValue(2))),
            static_cast<unsigned>(NumberOf(batch.GetValue(3))), static_cast<unsigned>(byConstant));
        Say(szRow);
    }
    // The tick counter has 16 bits: it wraps after 655.36 s.
    unsigned uTicks = static_cast<std::uint16_t>(wLastTicks - wFirstTicks);
    Say("The tick counter moved by " + std::to_string(uTicks) + " ticks, " +
        std::to_string(uTicks * 10) + " ms of board time; the constant " +
        (bAsExpected ? "stayed 0x5A." : "did not stay 0x5A."));
    return bAsExpected;
}

} // namespace movactl
