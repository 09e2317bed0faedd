#include "tools/movatrace/SessionList.h"

#include "platform/LevelBlock.h"
#include "trace/SessionNames.h"

namespace movatrace
{

namespace
{

// The board numbers a host gives the library fit a byte: the DP communication takes the
// board number's low byte, and movactl and korixsim take no more.
constexpr int kLastBoard = 255;

#ifndef _WIN32
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
#endif

} // namespace

std::vector<std::string> KnownSessionNames()
{
    char szName[tracenames::kSessionNameSize];
    tracenames::ComposeDPComSession(szName, 0); // every board without a digit of its own
    std::vector<std::string> aNames{tracenames::kJobSession, tracenames::kProtoSession, szName,
                                    "TraceDemo"};
    for (int nBoard = 0; nBoard <= kLastBoard; ++nBoard)
    {
        tracenames::ComposeBoardSession(szName, tracenames::kJobSession, nBoard);
        aNames.push_back(szName);
        tracenames::ComposeBoardSession(szName, tracenames::kProtoSession, nBoard);
        aNames.push_back(szName);
    }
    for (int nBoard = 1; nBoard <= tracenames::kLastDigitBoard; ++nBoard)
    {
        tracenames::ComposeDPComSession(szName, nBoard);
        aNames.push_back(szName);
    }
    return aNames;
}

std::vector<std::string> SessionNamesToTry()
{
#ifdef _WIN32
    // platform::ListLevelBlocks visits nothing here: ask for each name we know instead.
    return KnownSessionNames();
#else
    std::vector<std::string> aNames;
    platform::ListLevelBlocks(&CollectName, &aNames);
    return aNames;
#endif
}

} // namespace movatrace
