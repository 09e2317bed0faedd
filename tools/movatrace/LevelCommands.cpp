#include "tools/movatrace/LevelCommands.h"

#include "platform/LevelBlock.h"
#include "tools/common/CommandLine.h"
#include "tools/movatrace/SessionList.h"
#include "trace/TraceApi.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
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

void CollectHolder(std::uint32_t dwPid, const char* pszProgram, void* pContext)
{
    try
    {
        std::string& strHolders = *static_cast<std::string*>(pContext);
        strHolders += (strHolders.empty() ? "" : ", ") + std::to_string(dwPid) + " " +
                      (*pszProgram != '\0' ? pszProgram : "?");
    }
    catch (...)
    {
        // Out of memory: the list comes out short rather than not at all.
    }
}

// "4242 tracedemo, 4250 movactl"; "?" when none could be seen (a holder of another user, one
// that just ended); empty where the system cannot tell at all.
std::string HoldersOf(const std::string& strSession)
{
    std::string strHolders;
    if (!platform::ListLevelBlockHolders(strSession.c_str(), &CollectHolder, &strHolders))
        return {};
    return strHolders.empty() ? "?" : strHolders;
}

struct SSession
{
    std::string strName;
    std::int16_t nLevel;
    std::string strHolders;
};

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
    std::vector<SSession> aLive;
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
        const std::int16_t nLevel = pTracer->GetLevel();
        DeleteTracer(pTracer);
        aLive.push_back({strName, nLevel, HoldersOf(strName)});
    }
    std::size_t nWidth = 0;
    for (const SSession& session : aLive)
        nWidth = std::max(nWidth, session.strName.size());
    for (const SSession& session : aLive)
    {
        std::printf("%-*s %6d", static_cast<int>(nWidth), session.strName.c_str(), session.nLevel);
        if (!session.strHolders.empty())
            std::printf("  %s", session.strHolders.c_str());
        std::printf("\n");
    }
    return tools::ExitOk;
}

} // namespace movatrace
