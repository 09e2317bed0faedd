// The other process of the cross-process platform tests. It reports each step as one line on
// standard output and takes its orders, one per line, from standard input; end of input
// means "quit".
//
//   create NAME         Create the level block; "created", "exists" or "failed". Then levels.
//   open NAME           Open the level block; "opened" or "none". Then levels.
//     levels:           "read" -> "level N"; "write N" -> "ok"; "quit" -> close, "closed".
//   race NAME           Per order line "go": Create, answer "created"/"exists"/"failed"; per
//                       "close": close what was created, answer "closed".
//   churn NAME FILE ROUNDS
//                       ROUNDS times: Create, and when created count itself among the creators
//                       in the int of FILE, then leave. "done C D": C times created, D times
//                       another creator was there at the same time.
//   semhold NAME        "waiting", Wait, "held"; on "release": "released" or "release-failed".
//   semcount NAME FILE ROUNDS
//                       ROUNDS times under the semaphore: read the number in FILE, yield, write
//                       it back plus one. "done" at the end.
//   msgid NAME          Prints the registered message id.
#include "platform/BoardSemaphore.h"
#include "platform/LevelBlock.h"
#include "platform/TraceDelivery.h"
#include "tests/platform/CountUnderSemaphore.h"
#include "tests/platform/CounterFile.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace
{

void Say(const std::string& text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

bool ReadOrder(std::string& order)
{
    char szLine[256];
    if (std::fgets(szLine, sizeof szLine, stdin) == nullptr)
        return false;
    order.assign(szLine, std::strcspn(szLine, "\r\n"));
    return true;
}

void ServeLevels(platform::HLevelBlock hBlock)
{
    std::int16_t* pLevel = platform::MapLevelBlock(hBlock);
    std::string order;
    while (pLevel != nullptr && ReadOrder(order) && order != "quit")
    {
        if (order == "read")
            Say("level " + std::to_string(*pLevel));
        else if (order.rfind("write ", 0) == 0)
        {
            *pLevel = static_cast<std::int16_t>(std::atoi(order.c_str() + 6));
            Say("ok");
        }
    }
    platform::UnmapLevelBlock(pLevel);
    platform::CloseLevelBlock(hBlock);
    Say("closed");
}

int CreateBlock(const char* pszName)
{
    platform::HLevelBlock hBlock = nullptr;
    switch (platform::CreateLevelBlock(pszName, &hBlock))
    {
    case platform::teBlockCreate::Created:
        Say("created");
        ServeLevels(hBlock);
        return 0;
    case platform::teBlockCreate::AlreadyExists:
        Say("exists");
        return 0;
    default:
        Say("failed");
        return 1;
    }
}

int OpenBlock(const char* pszName)
{
    platform::HLevelBlock hBlock = platform::OpenLevelBlock(pszName);
    if (hBlock == nullptr)
    {
        Say("none");
        return 0;
    }
    Say("opened");
    ServeLevels(hBlock);
    return 0;
}

int RaceBlock(const char* pszName)
{
    platform::HLevelBlock hBlock = nullptr;
    std::string order;
    while (ReadOrder(order))
    {
        if (order == "go")
        {
            platform::teBlockCreate eResult = platform::CreateLevelBlock(pszName, &hBlock);
            Say(eResult == platform::teBlockCreate::Created         ? "created"
                : eResult == platform::teBlockCreate::AlreadyExists ? "exists"
                                                                    : "failed");
        }
        else if (order == "close")
        {
            platform::CloseLevelBlock(hBlock);
            hBlock = nullptr;
            Say("closed");
        }
    }
    platform::CloseLevelBlock(hBlock);
    return 0;
}

int ChurnBlock(const char* pszName, const char* pszFile, int nRounds)
{
    platformtest::CCounterFile counter(pszFile);
    int* pShared = counter.Map();
    if (pShared == nullptr)
    {
        Say("failed");
        return 1;
    }
    std::atomic_ref<int> nCreators(*pShared);
    int nCreated = 0;
    int nDoubles = 0;
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        platform::HLevelBlock hBlock = nullptr;
        if (platform::CreateLevelBlock(pszName, &hBlock) != platform::teBlockCreate::Created)
            continue;
        ++nCreated;
        nDoubles += nCreators.fetch_add(1) != 0;
        std::this_thread::yield();
        nCreators.fetch_sub(1);
        platform::CloseLevelBlock(hBlock);
    }
    Say("done " + std::to_string(nCreated) + " " + std::to_string(nDoubles));
    return 0;
}

int HoldSemaphore(const char* pszName)
{
    platform::HBoardSemaphore hSemaphore = platform::CreateBoardSemaphore(pszName);
    if (hSemaphore == nullptr)
    {
        Say("failed");
        return 1;
    }
    Say("waiting");
    Say(platform::WaitBoardSemaphore(hSemaphore) ? "held" : "wait-failed");
    std::string order;
    while (ReadOrder(order) && order != "release")
    {
    }
    Say(platform::ReleaseBoardSemaphore(hSemaphore) ? "released" : "release-failed");
    platform::CloseBoardSemaphore(hSemaphore);
    return 0;
}

int CountRounds(const char* pszName, const char* pszFile, int nRounds)
{
    platform::HBoardSemaphore hSemaphore = platform::CreateBoardSemaphore(pszName);
    platformtest::CCounterFile counter(pszFile);
    bool bDone = hSemaphore != nullptr && counter.IsOpen() &&
                 platformtest::CountUnderSemaphore(hSemaphore, counter, nRounds);
    platform::CloseBoardSemaphore(hSemaphore);
    Say(bDone ? "done" : "failed");
    return bDone ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (argc == 3 && command == "create")
        return CreateBlock(argv[2]);
    if (argc == 3 && command == "open")
        return OpenBlock(argv[2]);
    if (argc == 3 && command == "race")
        return RaceBlock(argv[2]);
    if (argc == 5 && command == "churn")
        return ChurnBlock(argv[2], argv[3], std::atoi(argv[4]));
    if (argc == 3 && command == "semhold")
        return HoldSemaphore(argv[2]);
    if (argc == 5 && command == "semcount")
        return CountRounds(argv[2], argv[3], std::atoi(argv[4]));
    if (argc == 3 && command == "msgid")
    {
        Say(std::to_string(platform::RegisterTraceMessage(argv[2])));
        return 0;
    }
    std::fprintf(stderr, "platform_peer: unknown order\n");
    return 2;
}
