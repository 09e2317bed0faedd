#include "tools/movactl/OpenFailure.h"

#include "platform/LevelBlock.h"
#include "sim/BoardPrefix.h"

namespace movactl
{

namespace
{

constexpr std::int32_t kSessionFailed = -1;
constexpr std::int32_t kBoardUnavailable = -(0x8F - 0x7F); // board error 0x8F

std::string ExplainSessionObstacle(int nBoard)
{
    // The protocol object names its session this way, and fails its Open with -1 without it.
    const std::string strName = "MovaProto" + std::to_string(nBoard);
    char szObstacle[400];
    if (platform::DescribeLevelBlockObstacle(strName.c_str(), szObstacle, sizeof szObstacle))
        return "its trace session '" + strName + "' cannot be created: " + szObstacle;
    if (platform::HLevelBlock hBlock = platform::OpenLevelBlock(strName.c_str()))
    {
        platform::CloseLevelBlock(hBlock);
        return "its trace session '" + strName +
               "' is held by another process (another host on this board, or a "
               "'movatrace level' running)";
    }
    return {};
}

} // namespace

std::string ExplainOpenFailure(int nBoard, std::int32_t lResult)
{
    if (lResult == kSessionFailed)
        return ExplainSessionObstacle(nBoard);
    if (lResult == kBoardUnavailable)
        return korix::UnusablePrefixMessage();
    return {};
}

} // namespace movactl
