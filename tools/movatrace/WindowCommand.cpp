#include "tools/movatrace/WindowCommand.h"

#include "platform/TraceWindowHost.h"
#include "tools/common/CommandLine.h"
#include "tools/common/StopRequest.h"
#include "tools/common/Terminal.h"
#include "tools/movatrace/LinePrinter.h"
#include "tools/movatrace/ServeFailure.h"

#include <string>

namespace movatrace
{

namespace
{

// Runs in a signal handler (POSIX) or on the console's event thread (Windows); Stop is safe in
// both. The window may be stuck writing a line to an output that nobody reads; it still ends,
// a moment later, with the status of a window that was stopped. Every line it showed was
// flushed already.
void StopHost(void* pContext)
{
    static_cast<platform::CTraceWindowHost*>(pContext)->Stop();
    tools::ExitAfterStopGrace(tools::ExitOk);
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
            std::fprintf(stderr, "movatrace: cannot serve class '%s': %s\n", strClass.c_str(),
                         ServeFailureReason().c_str());
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
    CLinePrinter printer(args, !args.bNoColor && tools::IsTerminal(stdout));
    std::string strError;
    if (!printer.OpenLog(strError))
    {
        std::fprintf(stderr, "movatrace: %s\n", strError.c_str());
        return tools::ExitFailed;
    }
    platform::CTraceWindowHost host;
    host.NameSenders(args.bSource);
    if (!ServeClasses(host, args))
        return tools::ExitFailed;

    bool bServed = false;
    {
        tools::CStopRequest stopRequest(&StopHost, &host);
        AnnounceClasses(args);
        bServed = host.Run(-1, &CLinePrinter::OnLine, &printer);
    }

    if (!bServed)
    {
        std::fprintf(stderr, "movatrace: the trace window failed\n");
        return tools::ExitFailed;
    }
    return tools::ExitOk;
}

} // namespace movatrace
