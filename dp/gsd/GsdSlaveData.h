// What the master needs of a slave built from its GSD file, and what a person chose for it.
// The result is a plain record, so that bytes typed by hand in a bus file can replace any of
// its fields afterwards (the input and output lengths follow the configuration bytes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

// A named parameter value: a number as text ("12", "-3", "0x1F") or one of the parameter's
// texts ("4-20 mA"). A bus file's JSON number becomes its decimal text.
struct SGsdParameterValue
{
    std::string strName; // the ExtUserPrmData's name; every field that uses it takes the value
    std::string strValue;
};

struct SGsdSelection
{
    std::vector<std::string> modules; // by name, in slot order; a compact station may omit it
    std::vector<SGsdParameterValue> values;
    std::uint32_t dwBaudRate = 0; // bit/s to check against the XXX_supp keywords; 0: unchecked
};

struct SGsdSlaveData
{
    std::uint16_t wIdent = 0;
    std::vector<std::uint8_t> abyConfig;
    std::vector<std::uint8_t> abyUserPrm;
    std::uint8_t byInputLength = 0; // from the configuration bytes
    std::uint8_t byOutputLength = 0;
    // The modules of the configuration in slot order, as the file names them; [0] is slot 1.
    std::vector<std::string> moduleNames;
};

} // namespace dp
