#include "tools/movatrace/LevelCommands.h"

#include "platform/LevelBlock.h"
#include "trace/TraceApi.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace movatrace
{

namespace
{

void CollectName(const char* pszName, void* pContext)
{
    try
    {
        static_cast<std::vector<std::string>*>(pContext)->emplace_back(pszName);
    }
    catch (...)
    {
        // Out of memory: the list comes out short rather than not at all.
    }
}

} // namespace

int RunLevel(const SArguments& args)
{
    CTracer* pTracer = AttachTracer(args.strSession.c_str());
    if (pTracer == nullptr)
    {
        std::fprintf(stderr, "movatrace: no live trace session named '%s'\n",
                     args.strSession.c_str());
        return ExitFailed;
    }
    int nResult = ExitOk;
    std::int16_t nOld = pTracer->GetLevel();
    if (!args.bSetLevel)
        std::printf("%d\n", nOld);
    else if (pTracer->SetLevel(args.nLevel))
        std::printf("%s: trace level set from %d to %d\n", args.strSession.c_str(), nOld,
                    args.nLevel);
    else
    {
        std::fprintf(stderr, "movatrace: cannot set the level of '%s'\n", args.strSession.c_str());
        nResult = ExitFailed;
    }
    DeleteTracer(pTracer);
    return nResult;
}

int RunSessions()
{
    std::vector<std::string> aNames;
    platform::ListLevelBlocks(&CollectName, &aNames);
    std::sort(aNames.begin(), aNames.end());
    std::size_t nWidth = 0;
    for (const std::string& strName : aNames)
        nWidth = std::max(nWidth, strName.size());
    for (const std::string& strName : aNames)
    {
        // A session may end between the listing and here; it is then no longer live.
        CTracer* pTracer = AttachTracer(strName.c_str());
        if (pTracer == nullptr)
            continue;
        std::printf("%-*s %6d\n", static_cast<int>(nWidth), strName.c_str(), pTracer->GetLevel());
        DeleteTracer(pTracer);
    }
    return ExitOk;
}

} // namespace movatrace
