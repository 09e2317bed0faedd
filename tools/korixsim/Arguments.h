// The command line of korixsim: which verb to run on which board, and with what.
#pragma once

#include "sim/BoardState.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace korixsim
{

enum teExitCode
{
    ExitOk = 0,
    ExitFailed = 1,
    ExitUsage = 2
};

enum teVerb
{
    VerbNone, // only --help
    VerbShow,
    VerbSetInput,
    VerbOutputs,
    VerbSlaveState,
    VerbMasterMode,
    VerbFail,
    VerbDelay,
    VerbExpireWatchdog,
    VerbLoad,
    VerbReset,
    VerbHold // Windows only: see HoldBoard.h
};

struct SArguments
{
    teVerb eVerb = VerbNone;
    bool bHelp = false;
    std::uint8_t byBoard = 1;
    std::uint8_t byAddress = 0;
    std::uint8_t byOffset = 0;
    std::vector<std::uint8_t> abyBytes; // set-input
    std::uint8_t byValue = 0;           // slave-state: the state; master-mode: the mode
    korix::teOperation eOperation = korix::OpCount;
    std::uint16_t wErrorWord = 0;
    std::uint32_t dwDelayMs = 0;
    std::uint32_t dwCount = 1;
    std::string strFile;
};

// Fills args from argv; on failure returns false with the reason in strError.
bool ParseArguments(int argc, const char* const* argv, SArguments& args, std::string& strError);

// The overview for VerbNone, else the verb's own page.
void PrintUsage(std::FILE* pOut, teVerb eVerb);

} // namespace korixsim
