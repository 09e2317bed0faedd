// The other process of the cross-process trace tests. It reports what it did on standard
// output, one word a line, and waits for "quit" (or the end of its input) where it must hold.
#include "platform/TraceWindowHost.h"
#include "trace/TraceApi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace
{

void Say(const char* pszWord)
{
    std::printf("%s\n", pszWord);
    std::fflush(stdout);
}

void WaitForQuit()
{
    std::string line;
    while (std::getline(std::cin, line) && line != "quit")
    {
    }
}

int CreateAndHold(const char* pszName)
{
    CTracer* pTracer = CreateTracer(pszName, "NoSuchTraceWindow", TIMESTAMP_CLOCK, -1);
    Say(pTracer ? "created" : "failed");
    WaitForQuit();
    DeleteTracer(pTracer);
    return 0;
}

// Both racers are started first and told "go" together, so their creates overlap.
int Race(const char* pszName)
{
    Say("ready");
    std::string line;
    if (!std::getline(std::cin, line) || line != "go")
        return 1;
    CTracer* pTracer = CreateTracer(pszName, "NoSuchTraceWindow", TIMESTAMP_CLOCK, -1);
    Say(pTracer ? "won" : "lost");
    WaitForQuit();
    DeleteTracer(pTracer);
    return 0;
}

int SetLevel(const char* pszName, const char* pszLevel)
{
    CTracer* pTracer = AttachTracer(pszName);
    if (!pTracer)
    {
        Say("nosession");
        return 1;
    }
    int bSet = pTracer->SetLevel(static_cast<std::int16_t>(std::atoi(pszLevel)));
    std::printf("%s %d\n", bSet ? "set" : "failed", pTracer->GetLevel());
    DeleteTracer(pTracer);
    return bSet ? 0 : 1;
}

// Prints every received packet as "line <class index> <length> <hex bytes>".
void PrintLine(void*, std::size_t nClass, const platform::SLineSender&, const char* pText,
               std::size_t nLength)
{
    std::printf("line %zu %zu ", nClass, nLength);
    for (std::size_t i = 0; i < nLength; ++i)
        std::printf("%02x", static_cast<unsigned char>(pText[i]));
    std::printf("\n");
    std::fflush(stdout);
}

int ServeWindow(int nClasses, char** ppszClasses)
{
    platform::CTraceWindowHost host;
    for (int i = 0; i < nClasses; ++i)
    {
        if (host.AddClass(ppszClasses[i]) != platform::teServeResult::Serving)
        {
            Say("taken");
            return 1;
        }
    }
    // The host runs until the test says quit or goes away.
    std::thread quitWatcher(
        [&host]
        {
            WaitForQuit();
            host.Stop();
        });
    Say("ready");
    bool bOk = host.Run(-1, PrintLine, nullptr);
    quitWatcher.join();
    return bOk ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "create" && argc == 3)
        return CreateAndHold(argv[2]);
    if (command == "race" && argc == 3)
        return Race(argv[2]);
    if (command == "setlevel" && argc == 4)
        return SetLevel(argv[2], argv[3]);
    if (command == "window" && argc >= 3)
        return ServeWindow(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: trace_peer create|race NAME | setlevel NAME LEVEL | "
                         "window CLASS...\n");
    return 2;
}
