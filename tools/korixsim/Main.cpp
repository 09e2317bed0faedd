// korixsim: shows and steers the simulated DP master board. See docs/korixsim.md.
#include "tools/common/BoardSemaphoreCheck.h"
#include "tools/common/CommandLine.h"
#include "tools/korixsim/Arguments.h"
#include "tools/korixsim/HoldBoard.h"
#include "tools/korixsim/ShowBoard.h"
#include "tools/korixsim/ShowMasterStatus.h"

#include "sim/SimControl.h"

#include <cstdio>
#include <memory>
#include <optional>

namespace
{

using namespace korixsim;

int Report(const korix::SControlResult& result)
{
    if (!result.bOk)
    {
        std::fprintf(stderr, "korixsim: %s\n", result.szMessage);
        return tools::ExitFailed;
    }
    std::printf("%s\n", result.szMessage);
    return tools::ExitOk;
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
    std::fputs(FormatMasterStatusSection(args.byBoard).c_str(), stdout);
    return tools::ExitOk;
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
    return tools::ExitOk;
}

int RunCommand(teCommand eCommand, const SArguments& args)
{
    switch (eCommand)
    {
    case CommandShow:
        return RunShow(args);
    case CommandOutputs:
        return RunOutputs(args);
    case CommandSetInput:
        return Report(korix::SetInputBytes(args.byBoard, args.byAddress, args.byOffset,
                                           args.abyBytes.data(), args.abyBytes.size()));
    case CommandSlaveState:
        return Report(korix::SetSlaveState(args.byBoard, args.byAddress, args.byValue));
    case CommandMasterMode:
        return Report(korix::SetMasterMode(args.byBoard, args.byValue));
    case CommandFail:
        return Report(
            korix::InjectError(args.byBoard, args.eOperation, args.wErrorWord, args.dwCount));
    case CommandDelay:
        return Report(
            korix::InjectDelay(args.byBoard, args.eOperation, args.dwDelayMs, args.dwCount));
    case CommandExpireWatchdog:
        return Report(korix::ExpireWatchdogs(args.byBoard));
    case CommandLoad:
        return Report(korix::LoadPlantFile(args.byBoard, args.strFile.c_str()));
    case CommandReset:
        return Report(korix::ResetBoard(args.byBoard));
    case CommandDeclare:
        return Report(korix::DeclareServedBoard(args.byBoard, true));
    case CommandUndeclare:
        return Report(korix::DeclareServedBoard(args.byBoard, false));
    case CommandHold:
        return RunHold(args.byBoard);
    }
    return tools::ExitUsage;
}

int Run(int argc, char** argv)
{
    CLI::App app{"", "korixsim"};
    SArguments args;
    tools::CommandList commands;
    for (const auto& [pCommand, eCommand] : DescribeCommandLine(app, args))
        commands.emplace_back(pCommand,
                              [&args, eCommand = eCommand] { return RunCommand(eCommand, args); });
    if (std::optional<int> nDone = tools::ParseCommandLine(app, argc, argv))
        return *nDone;
    return tools::RunChosenCommand(app, commands);
}

} // namespace

int main(int argc, char** argv)
{
    return tools::RunGuarded("korixsim", [&] { return Run(argc, argv); });
}
