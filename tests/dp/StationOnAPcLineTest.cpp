// Our FDL station on a line whose other masters run on PCs too: the response allowance that
// covers a PC's lateness stretches every slot time, and the token's time-out must keep the
// room the rules give it over a slot time, or a station claims the token from a holder that
// only waits out an unanswered request, a little late. In virtual time on the scripted line.
#include "tests/dp/ScriptedLine.h"

#include "dp/fdl/BusTiming.h"
#include "dp/station/FdlStation.h"

#include <gtest/gtest.h>

namespace dptest
{
namespace
{

constexpr std::uint64_t kMs = 1000000;

TEST(StationOnAPcLineTest, AHolderWaitingOutASlotALittleLateKeepsItsToken)
{
    CScriptedLine line(1500000);
    dp::SStationConfig config;
    config.byAddress = 6;
    dp::DefaultBusParameters(1500000, config.bus);
    config.dwResponseAllowanceUs = 20000; // a pseudo-terminal's
    config.byHighestAddress = 10;
    config.dwTargetRotationBits = 20000;
    dp::CFdlStation station(line, config);

    // Station 2, a PC master with the same allowance, runs a ring of its own: a token to
    // itself every millisecond. Once it asks address 3 of its gap for its FDL status; nobody
    // answers, and it waits out its slot time (TSL and the allowance) and then half an
    // allowance more before its next token, as a busy PC may.
    const std::uint64_t qwStart = line.Now();
    const std::uint64_t qwSlotNs = line.BitNs(config.bus.dwSlotTime) + 20 * kMs;
    const Bytes abyToken = {0xDC, 0x02, 0x02};
    std::uint64_t qwAt = qwStart;
    for (; qwAt < qwStart + 1000 * kMs; qwAt += kMs)
        line.Put(qwAt, abyToken);
    line.Put(qwAt, Sd1(3, 2, 0x49));
    qwAt += 6 * line.CharacterNs() + qwSlotNs + 10 * kMs;
    const std::uint64_t qwSilenceEnd = qwAt;
    for (; qwAt < qwSilenceEnd + 500 * kMs; qwAt += kMs)
        line.Put(qwAt, abyToken);
    // Stopped while the ring still runs: a line that falls silent at the end is a lost token.
    station.SetStopCheck([&] { return line.Now() >= qwSilenceEnd + 400 * kMs; });
    EXPECT_TRUE(station.Run());

    // It heard the ring, never claimed its token and sent nothing at all: nobody asked it.
    EXPECT_EQ(station.Counters().dwTokensClaimed, 0u);
    EXPECT_TRUE(line.Sent().empty()) << line.Sent().size() << " telegrams, the first at "
                                     << (line.SentAt().front() - qwStart) / kMs << " ms";
    EXPECT_EQ(station.Fault(), dp::teStationFault::None);
}

} // namespace
} // namespace dptest
