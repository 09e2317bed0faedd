#include "tools/movatrace/LevelCommands.h"

#include "platform/LevelBlock.h"
#include "tools/common/CommandLine.h"
#include "tools/movatrace/SessionNames.h"
#include "trace/TraceApi.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace movatrace
{

namespace
{

// Why a session of the name cannot be used although something stands under its name: a file
// of another user, or a held block too short to map. Empty when there is no such thing.
std::string ObstacleOf(const std::string& strSession)
{
    char szObstacle[400];
    if (!platform::DescribeLevelBlockObstacle(strSession.c_str(), szObstacle, sizeof szObstacle))
        return {};
    return szObstacle;
}

} // namespace

int RunLevel(const SArguments& args)
{
    CTracer* pTracer = AttachTracer(args.strSession.c_str());
    if (pTracer == nullptr)
    {
        std::string strObstacle = ObstacleOf(args.strSession);
        if (strObstacle.empty())
            std::fprintf(stderr, "movatrace: no live trace session named '%s'\n",
                         args.strSession.c_str());
        else
            std::fprintf(stderr, "movatrace: cannot use trace session '%s': %s\n",
                         args.strSession.c_str(), strObstacle.c_str());
        return tools::ExitFailed;
    }
    int nResult = tools::ExitOk;
    std::int16_t nOld = pTracer->GetLevel();
    if (!args.bSetLevel)
        std::printf("%d\n", nOld);
    else if (pTracer->SetLevel(args.nLevel))
        std::printf("%s: trace level set from %d to %d\n", args.strSession.c_str(), nOld,
                    args.nLevel);
    else
    {
        std::fprintf(stderr, "movatrace: cannot set the level of '%s'\n", args.strSession.c_str());
        nResult = tools::ExitFailed;
    }
    DeleteTracer(pTracer);
    return nResult;
}

int RunSessions()
{
    std::vector<std::string> aNames = SessionNamesToTry();
    std::sort(aNames.begin(), aNames.end());
    aNames.erase(std::unique(aNames.begin(), aNames.end()), aNames.end());
    std::vector<std::pair<std::string, std::int16_t>> aLive;
    for (const std::string& strName : aNames)
    {
        // A listed session may end before we attach; it is then no longer live.
        CTracer* pTracer = AttachTracer(strName.c_str());
        if (pTracer == nullptr)
        {
            std::string strObstacle = ObstacleOf(strName);
            if (!strObstacle.empty())
                std::fprintf(stderr, "movatrace: skipping '%s': %s\n", strName.c_str(),
                             strObstacle.c_str());
            continue;
        }
        aLive.emplace_back(strName, pTracer->GetLevel());
        DeleteTracer(pTracer);
    }
    std::size_t nWidth = 0;
    for (const auto& [strName, nLevel] : aLive)
        nWidth = std::max(nWidth, strName.size());
    for (const auto& [strName, nLevel] : aLive)
        std::printf("%-*s %6d\n", static_cast<int>(nWidth), strName.c_str(), nLevel);
    return tools::ExitOk;
}

} // namespace movatrace
