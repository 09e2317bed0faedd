// The command line of korixsim: which command to run on which board, and with what.
#pragma once

#include "sim/SharedBoardLayout.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korixsim
{

enum teCommand
{
    CommandShow,
    CommandSetInput,
    CommandOutputs,
    CommandSlaveState,
    CommandMasterMode,
    CommandFail,
    CommandDelay,
    CommandExpireWatchdog,
    CommandLoad,
    CommandReset,
    CommandDeclare,
    CommandUndeclare,
    CommandHold // Windows only: see HoldBoard.h
};

// What the command line gave; parsing fills in what the chosen command takes.
struct SArguments
{
    std::uint8_t byBoard = 1;
    std::uint8_t byAddress = 0;
    std::uint8_t byOffset = 0;
    std::vector<std::string> astrHexBytes; // set-input, as typed
    std::vector<std::uint8_t> abyBytes;    // set-input, parsed
    std::uint8_t byValue = 0;              // slave-state: the state; master-mode: the mode
    korix::teOperation eOperation = korix::OpCount;
    std::uint16_t wErrorWord = 0;
    std::uint32_t dwDelayMs = 0;
    std::uint32_t dwCount = 1;
    std::string strFile;
};

// Describes korixsim's command line in app, so that parsing fills args. Returns each
// command's subcommand; what a command needs beyond a number's range (hex bytes, an error
// word that is not 0) is checked while parsing, so that it is a usage error too.
std::vector<std::pair<CLI::App*, teCommand>> DescribeCommandLine(CLI::App& app, SArguments& args);

} // namespace korixsim
