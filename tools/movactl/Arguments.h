// What every command is given: the board and the library to use, the configured slaves and
// --quiet. The options that fill it are defined once (CommonOptions.h); a command's own options
// are kept by the command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace movactl
{

struct SArguments
{
    bool bQuiet = false;
    std::int32_t nBoard = 1;
    std::vector<std::uint8_t> abySlaves; // empty: every slave the board reports
    std::uint8_t byWatchdog = 0;
    std::string strLibrary; // empty: the built library, else libmovajob.so.1 on the search path
};

} // namespace movactl
