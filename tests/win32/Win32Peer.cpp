// The other process of the Windows-only tests. It runs the library's side (a trace session,
// the board semaphore) or plays a plain Windows program on the raw calls, taking orders as
// lines on its standard input and answering on its standard output.
#include "platform/BoardSemaphore.h"
#include "platform/win32/WindowsHeaders.h"
#include "trace/TraceApi.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace
{

void Say(const std::string& text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

bool ReadOrder(std::string& order)
{
    return static_cast<bool>(std::getline(std::cin, order));
}

// A library trace session of NAME for windows of CLASS. "line L TEXT" traces TEXT at level L
// and answers once TraceLine has returned, that is once the window has handled the line.
int TraceLines(const char* pszName, const char* pszClass)
{
    CTracer* pTracer = CreateTracer(pszName, pszClass, TIMESTAMP_TICKS, 0);
    Say(pTracer != nullptr ? "ready" : "failed");
    std::string order;
    while (pTracer != nullptr && ReadOrder(order) && order != "quit")
    {
        if (order.rfind("line ", 0) != 0)
            continue;
        std::size_t nSpace = order.find(' ', 5);
        int nLevel = std::atoi(order.substr(5, nSpace - 5).c_str());
        TraceLine(pTracer, nLevel, "%s\n", order.substr(nSpace + 1).c_str());
        Say("traced");
    }
    DeleteTracer(pTracer);
    return pTracer != nullptr ? 0 : 1;
}

// Sets another process's trace level the way any Windows program can: open the named
// mapping, write the level word.
int SetLevelRaw(const char* pszName, int nLevel)
{
    HANDLE hMapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, pszName);
    void* pView = hMapping != nullptr
                      ? MapViewOfFile(hMapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 2)
                      : nullptr;
    if (pView != nullptr)
    {
        *static_cast<volatile short*>(pView) = static_cast<short>(nLevel);
        UnmapViewOfFile(pView);
    }
    if (hMapping != nullptr)
        CloseHandle(hMapping);
    Say(pView != nullptr ? "set" : "failed");
    return pView != nullptr ? 0 : 1;
}

// Holds the board semaphore through the library's platform layer until told to let go.
int HoldSemaphore(const char* pszName)
{
    platform::HBoardSemaphore hSemaphore = platform::CreateBoardSemaphore(pszName);
    if (hSemaphore == nullptr || !platform::WaitBoardSemaphore(hSemaphore))
    {
        Say("failed");
        return 1;
    }
    Say("held");
    std::string order;
    while (ReadOrder(order) && order != "release")
    {
    }
    Say(platform::ReleaseBoardSemaphore(hSemaphore) ? "released" : "failed");
    while (ReadOrder(order) && order != "quit")
    {
    }
    platform::CloseBoardSemaphore(hSemaphore);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (argc == 4 && command == "trace")
        return TraceLines(argv[2], argv[3]);
    if (argc == 4 && command == "setlevel")
        return SetLevelRaw(argv[2], std::atoi(argv[3]));
    if (argc == 3 && command == "semhold")
        return HoldSemaphore(argv[2]);
    std::fprintf(stderr, "win32_peer: unknown order\n");
    return 2;
}
