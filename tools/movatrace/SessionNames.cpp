#include "tools/movatrace/SessionNames.h"

#include "platform/LevelBlock.h"

namespace movatrace
{

namespace
{

// The board numbers a host gives the library fit a byte: the DP communication takes the
// board number's low byte, and movactl and korixsim take no more.
constexpr int kLastBoard = 255;

// The communication object names boards 1 to 4 by one digit and every other board alike.
constexpr int kLastDigitBoard = 4;

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
    std::vector<std::string> aNames{"MovaJob", "MovaProto", "DPCom???", "TraceDemo"};
    for (int nBoard = 0; nBoard <= kLastBoard; ++nBoard)
    {
        aNames.push_back("MovaJob" + std::to_string(nBoard));
        aNames.push_back("MovaProto" + std::to_string(nBoard));
    }
    for (int nBoard = 1; nBoard <= kLastDigitBoard; ++nBoard)
        aNames.push_back("DPCom" + std::to_string(nBoard));
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
