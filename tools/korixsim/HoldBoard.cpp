#include "tools/korixsim/HoldBoard.h"

#include "tools/common/CommandLine.h"
#include "tools/common/StopRequest.h"

#include "sim/SimControl.h"

#include <cstdio>
#include <memory>

namespace korixsim
{

int RunHold(std::uint8_t byBoard)
{
    tools::CStopRequest stopRequest;
    // Any control call opens the board, and the process keeps it open until it ends.
    auto pSnapshot = std::make_unique<korix::SBoardSnapshot>();
    korix::SControlResult result = korix::ReadBoard(byBoard, *pSnapshot);
    if (!result.bOk)
    {
        std::fprintf(stderr, "korixsim: %s\n", result.szMessage);
        return tools::ExitFailed;
    }
    std::printf("board %u: held open until Ctrl-C\n", static_cast<unsigned>(byBoard));
    std::fflush(stdout);
    while (!tools::CStopRequest::IsStopRequested())
        tools::CStopRequest::SleepUnlessStopped(1000);
    return tools::ExitOk;
}

} // namespace korixsim
