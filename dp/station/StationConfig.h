// What an FDL active station needs to know, what it counts, and what it says of itself and of
// the stations it has found.
#pragma once

#include "dp/fdl/BusTiming.h"
#include "dp/fdl/StationKind.h"

#include <cstdint>

namespace dp
{

struct SStationConfig
{
    std::uint8_t byAddress = 1; // TS, this station
    SBusParameters bus;
    // What the operating system and the adapter add before a byte sent by another station
    // reaches us (see SMasterConfig).
    std::uint32_t dwResponseAllowanceUs = 0;
    std::uint8_t byHighestAddress = 126;    // HSA: the ring's addresses run from 0 to it
    std::uint32_t dwTargetRotationBits = 0; // TTR, bit times
    std::uint32_t dwGapFactor = 10;         // G: a GAP address is asked every G rotations
};

// Where this station stands in the ring, as its FDL status answers say it.
enum class teRingState : std::uint8_t
{
    Listening,    // not ready: still learning the ring from the line
    ReadyForRing, // waiting to be taken in
    InRing,
    Stopped // a fault (see teStationFault): sends nothing any more
};

enum class teStationFault : std::uint8_t
{
    None,
    DuplicateAddress, // another station sends with our address
    SecondToken       // another station passed a token while we held it
};

struct SStationCounters
{
    std::uint32_t dwTokensReceived = 0;
    std::uint32_t dwTokensPassed = 0; // token telegrams sent, repetitions included
    std::uint32_t dwTokensLost = 0;   // the line fell silent for the time-out
    std::uint32_t dwTokensClaimed = 0;
    std::uint32_t dwPassRepeats = 0;       // a successor that did not use the token at once
    std::uint32_t dwStationsDropped = 0;   // successors that never used it
    std::uint32_t dwTokensRefused = 0;     // to us, but not from our predecessor (first time)
    std::uint32_t dwTokensFromOutside = 0; // taken from another than our predecessor, repeated
    std::uint32_t dwTokensBeyondHsa = 0;   // token telegrams naming addresses above the HSA
    std::uint32_t dwTokenTelegramsHeard = 0;
    std::uint32_t dwTokensInNoise = 0;    // token telegrams amid other bytes while we held ours
    std::uint32_t dwStatusAnswered = 0;   // FDL status requests to us answered
    std::uint32_t dwGapPolls = 0;         // FDL status requests sent to the gap
    std::uint32_t dwBadStatusAnswers = 0; // answers with impossible station types or codes
    std::uint32_t dwTakenIn = 0;          // masters passed the token by our GAP maintenance
    std::uint32_t dwDroppedFromRing = 0;  // token passes that skipped us while we were in it
    std::uint64_t qwLastRotationNs = 0;   // real rotation time of the last token visit
    std::uint64_t qwMaxRotationNs = 0;
};

} // namespace dp
