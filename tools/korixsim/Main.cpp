// korixsim: shows and steers the simulated DP master board. See docs/korixsim.md.
#include "tools/common/BoardSemaphoreCheck.h"
#include "tools/common/GuardedMain.h"
#include "tools/korixsim/Arguments.h"
#include "tools/korixsim/HoldBoard.h"
#include "tools/korixsim/ShowBoard.h"

#include "sim/SimControl.h"

#include <cstdio>
#include <exception>
#include <memory>

namespace
{

using namespace korixsim;

int Report(const korix::SControlResult& result)
{
    if (!result.bOk)
    {
        std::fprintf(stderr, "korixsim: %s\n", result.szMessage);
        return ExitFailed;
    }
    std::printf("%s\n", result.szMessage);
    return ExitOk;
}

int RunShow(const SArguments& args)
{
    if (!tools::CanOpenBoardSemaphore())
        std::fprintf(stderr, "korixsim: %s", tools::kNoBoardSemaphoreWarning);
    auto pSnapshot = std::make_unique<korix::SBoardSnapshot>();
    korix::SControlResult result = korix::ReadBoard(args.byBoard, *pSnapshot);
    if (!result.bOk)
        return Report(result);
    std::fputs(FormatBoard(args.byBoard, *pSnapshot).c_str(), stdout);
    return ExitOk;
}

int RunOutputs(const SArguments& args)
{
    std::uint8_t abyOutputs[korix::kMaxDataLength];
    std::uint8_t byLength = 0;
    korix::SControlResult result =
        korix::ReadOutputBytes(args.byBoard, args.byAddress, abyOutputs, byLength);
    if (!result.bOk)
        return Report(result);
    std::printf("%s\n", HexLine(abyOutputs, byLength).c_str());
    return ExitOk;
}

int RunVerb(const SArguments& args)
{
    switch (args.eVerb)
    {
    case VerbShow:
        return RunShow(args);
    case VerbOutputs:
        return RunOutputs(args);
    case VerbSetInput:
        return Report(korix::SetInputBytes(args.byBoard, args.byAddress, args.byOffset,
                                           args.abyBytes.data(), args.abyBytes.size()));
    case VerbSlaveState:
        return Report(korix::SetSlaveState(args.byBoard, args.byAddress, args.byValue));
    case VerbMasterMode:
        return Report(korix::SetMasterMode(args.byBoard, args.byValue));
    case VerbFail:
        return Report(
            korix::InjectError(args.byBoard, args.eOperation, args.wErrorWord, args.dwCount));
    case VerbDelay:
        return Report(
            korix::InjectDelay(args.byBoard, args.eOperation, args.dwDelayMs, args.dwCount));
    case VerbExpireWatchdog:
        return Report(korix::ExpireWatchdogs(args.byBoard));
    case VerbLoad:
        return Report(korix::LoadPlantFile(args.byBoard, args.strFile.c_str()));
    case VerbReset:
        return Report(korix::ResetBoard(args.byBoard));
    case VerbHold:
        return RunHold(args.byBoard);
    case VerbNone:
        break;
    }
    return ExitUsage;
}

int RunCommand(int argc, char** argv)
{
    SArguments args;
    std::string strError;
    if (!ParseArguments(argc, argv, args, strError))
    {
        std::fprintf(stderr, "korixsim: %s\nTry 'korixsim --help'.\n", strError.c_str());
        return ExitUsage;
    }
    if (args.bHelp)
    {
        PrintUsage(stdout, args.eVerb);
        return ExitOk;
    }
    return RunVerb(args);
}

} // namespace

int main(int argc, char** argv)
{
    return RunGuarded("korixsim", RunCommand, argc, argv);
}
