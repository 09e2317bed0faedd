// Bus parameters and the times that follow from them. Times on the bus are counted in bit
// times (tBit = 1 / baud rate); one UART character is 11 bits.
//
//   TSL      slot time: how long a requester waits for the first character of an answer
//   min TSDR shortest station delay of a responder (idle before it answers)
//   max TSDR longest station delay of a responder
//   TQUI     quiet time of a modulator or repeater switching direction
//   TSET     setup time of a station's reaction to an event
//   TSYN     33 bits of idle that precede every request
//   TID1     idle after an acknowledgement or response before the next request:
//            max(TSYN + TSET, TQUI + min TSDR)
//   TID2     idle after a request without acknowledgement (SDN): max(TSYN + TSET, max TSDR)
#pragma once

#include <cstdint>

namespace dp
{

inline constexpr std::uint32_t kBitsPerCharacter = 11;
inline constexpr std::uint32_t kSyncBits = 33;
// No responder answers sooner than this after a request's last character.
inline constexpr std::uint32_t kMinTsdrBits = 11;

struct SBusParameters
{
    std::uint32_t dwBaudRate = 0;   // bit/s
    std::uint32_t dwSlotTime = 0;   // TSL, bits
    std::uint32_t dwMinTsdr = 0;    // bits
    std::uint32_t dwMaxTsdr = 0;    // bits
    std::uint32_t dwQuietTime = 0;  // TQUI, bits
    std::uint32_t dwSetupTime = 0;  // TSET, bits
    std::uint32_t dwRetryLimit = 1; // repetitions of a request that found no answer
};

// The rates the standard names, lowest first.
inline constexpr std::uint32_t kStandardBaudRates[] = {
    9600, 19200, 31250, 45450, 93750, 187500, 500000, 1500000, 3000000, 6000000, 12000000};

bool IsStandardBaudRate(std::uint32_t dwBaudRate);

// The customary parameters for a rate. A rate between the standard ones takes those of the
// next standard rate above it (longer times in bits are the safe side), one above 12 Mbit/s
// those of 12 Mbit/s. False for 0.
bool DefaultBusParameters(std::uint32_t dwBaudRate, SBusParameters& parameters);

// Nanoseconds of nBits bit times at the rate (rounded up).
std::uint64_t BitsToNanoseconds(std::uint64_t qwBits, std::uint32_t dwBaudRate);

std::uint32_t IdleTime1Bits(const SBusParameters& parameters);
std::uint32_t IdleTime2Bits(const SBusParameters& parameters);

// Bit times of one request and its answer on the wire: the sync idle before the request
// (TSYN, or TID1 if longer), the request's characters, the responder's min TSDR, the answer's
// characters.
std::uint32_t ExchangeBits(const SBusParameters& parameters, std::uint32_t dwRequestBytes,
                           std::uint32_t dwAnswerBytes);

} // namespace dp
