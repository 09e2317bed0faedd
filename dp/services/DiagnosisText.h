// A slave's diagnosis in words, for people: the three station status bytes bit by bit, then the
// extended blocks: device-related (with the device description's texts for its bits, where
// given), identifier-related (which modules report), channel-related (module, channel,
// direction, type, and the error: the standard types, or the maker's from the description).
// Modules are said by their slot, counted from 1 as a configuration tool shows them, and by
// their name where the slave's configuration was built from its description.
#pragma once

#include "dp/services/ServiceData.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dp
{

// What a device description says about a slave's own diagnosis bits and error types, and the
// names of the modules the slave was configured with.
struct SDiagTexts
{
    // Bit number in the device-related block (0: the lowest bit of the first byte behind the
    // header) and its text.
    std::map<std::uint32_t, std::string> unitBits;
    // A field of bits with a text for each of its values.
    struct SArea
    {
        std::uint32_t dwFirstBit = 0;
        std::uint32_t dwLastBit = 0;
        std::map<std::uint32_t, std::string> values;
    };
    std::vector<SArea> unitAreas;
    // The maker's channel error types (16 to 31).
    std::map<std::uint8_t, std::string> channelErrors;
    // The modules in slot order ([0] is slot 1), where the configuration came from the
    // description; empty where it was typed by hand.
    std::vector<std::string> moduleNames;
};

// A diagnosis in words stays cheap and short whatever a slave sends and a description declares:
// at most this many of a description's areas are looked at (the GSD reader refuses more), and
// the text is cut short at this length.
inline constexpr std::size_t kMaxUnitDiagAreas = 256;
inline constexpr std::size_t kMaxDiagnosisTextLength = 4096;

// "not ready, parameters wanted, watchdog on"; "ok" when no bit calls for attention beyond the
// always-one bit.
std::string StationStatusText(std::uint8_t byStatus1, std::uint8_t byStatus2,
                              std::uint8_t byStatus3);

// The standard channel error types: "short circuit" ... "error"; empty for others.
const char* ChannelErrorText(std::uint8_t byError);

// The whole diagnosis in one line: station status, master, ident, then each extended block. A
// device block's bits are worded with the texts of the bits and areas that begin inside it.
std::string DiagnosisText(const SSlaveDiag& diag, const SDiagTexts* pTexts = nullptr);

} // namespace dp
