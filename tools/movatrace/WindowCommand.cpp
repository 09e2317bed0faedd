#include "tools/movatrace/WindowCommand.h"

#include "platform/TraceWindowHost.h"
#include "tools/movatrace/Console.h"
#include "tools/movatrace/LinePrinter.h"

#include <atomic>
#include <csignal>
#include <string>

namespace movatrace
{

namespace
{

std::atomic<platform::CTraceWindowHost*> g_pHost{nullptr};

extern "C" void OnStopSignal(int)
{
    platform::CTraceWindowHost* pHost = g_pHost.load();
    if (pHost != nullptr)
        pHost->Stop();
}

bool ServeClasses(platform::CTraceWindowHost& host, const SArguments& args)
{
    for (const std::string& strClass : args.aClasses)
    {
        switch (host.AddClass(strClass.c_str()))
        {
        case platform::teServeResult::Serving:
            break;
        case platform::teServeResult::ClassTaken:
            std::fprintf(stderr,
                         "movatrace: class '%s' is already served by another trace window\n",
                         strClass.c_str());
            return false;
        case platform::teServeResult::Failed:
            std::fprintf(stderr, "movatrace: cannot serve class '%s'\n", strClass.c_str());
            return false;
        }
    }
    return true;
}

// Tells the person (and a script waiting for it) that lines will now be taken.
void AnnounceClasses(const SArguments& args)
{
    std::string strList;
    for (const std::string& strClass : args.aClasses)
        strList += (strList.empty() ? "" : ", ") + strClass;
    std::fprintf(stderr, "movatrace: serving %s\n", strList.c_str());
    std::fflush(stderr);
}

} // namespace

int RunWindow(const SArguments& args)
{
    CLinePrinter printer(args, !args.bNoColor && IsTerminal(stdout));
    std::string strError;
    if (!printer.OpenLog(strError))
    {
        std::fprintf(stderr, "movatrace: %s\n", strError.c_str());
        return ExitFailed;
    }
    platform::CTraceWindowHost host;
    if (!ServeClasses(host, args))
        return ExitFailed;

    g_pHost.store(&host);
    auto pfnOldInt = std::signal(SIGINT, OnStopSignal);
    auto pfnOldTerm = std::signal(SIGTERM, OnStopSignal);
    AnnounceClasses(args);
    bool bServed = host.Run(-1, &CLinePrinter::OnLine, &printer);
    std::signal(SIGINT, pfnOldInt);
    std::signal(SIGTERM, pfnOldTerm);
    g_pHost.store(nullptr);

    if (!bServed)
    {
        std::fprintf(stderr, "movatrace: the trace window failed\n");
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace movatrace
