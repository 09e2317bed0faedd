#include "tools/movactl/OpenFailure.h"

#include "include/MovaResults.h"
#include "platform/LevelBlock.h"
#include "sim/common/BoardPrefix.h"
#include "trace/SessionNames.h"

namespace movactl
{

namespace
{

std::string ExplainSessionObstacle(int nBoard)
{
    // The protocol object names its session this way, and fails its Open with -1 without it.
    char szName[tracenames::kSessionNameSize];
    tracenames::ComposeBoardSession(szName, tracenames::kProtoSession, nBoard);
    const std::string strName = szName;
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
    if (lResult == MOVAPROTO_OPEN_REFUSED)
        return ExplainSessionObstacle(nBoard);
    if (lResult == MOVAJOB_OPEN_BOARD_ERROR(DPERR_BOARD_8F))
        return korix::UnusablePrefixMessage();
    return {};
}

} // namespace movactl
