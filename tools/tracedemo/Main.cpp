// tracedemo: writes a steady trace through the library's tracer so that trace windows and
// level changes can be tried out. See its --help.
#include "tools/common/CommandLine.h"
#include "tools/common/StopRequest.h"
#include "tools/tracedemo/DemoOptions.h"
#include "trace/TraceApi.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace
{

using tools::CStopRequest;

void WriteRound(CTracer* pTracer, unsigned long nRound)
{
    TraceLine(pTracer, -2, "TraceDemo %lu: an error line (level -2)\n", nRound);
    TraceLine(pTracer, -1, "TraceDemo %lu: a warning line (level -1)\n", nRound);
    const int aLevels[] = {0, 1, 10, 100};
    for (int nLevel : aLevels)
    {
        if (TraceLevelEnabled(pTracer, nLevel))
            TraceLine(pTracer, nLevel, "TraceDemo %lu: an info line (level %d)\n", nRound, nLevel);
    }
    if (TraceLevelEnabled(pTracer, 200))
    {
        std::uint8_t aImage[20] = {'M', 'o', 'v', 'a', 'J', 'o', 'b', 0x00, 0x1f, 0x7f, 0x80, 0xff};
        for (unsigned i = 12; i < sizeof aImage; ++i)
            aImage[i] = static_cast<std::uint8_t>(nRound + i);
        TraceHexDump(pTracer, 200, aImage, sizeof aImage);
    }
}

int RunDemo(int argc, char** argv)
{
    tracedemo::SDemoOptions options;
    if (std::optional<int> nDone = tracedemo::ParseDemoOptions(argc, argv, options))
        return *nDone;
    // Before the session exists: whoever sees its start line may already interrupt us.
    CStopRequest stopRequest;
    CTracer* pTracer = CreateTracer(options.strName.c_str(), options.strClass.c_str(),
                                    options.nStampMode, options.nLevel);
    if (pTracer == nullptr)
    {
        std::fprintf(stderr, "tracedemo: cannot open trace session '%s' (is it in use?)\n",
                     options.strName.c_str());
        return tools::ExitFailed;
    }
    for (unsigned long nRound = 1; !CStopRequest::IsStopRequested(); ++nRound)
    {
        WriteRound(pTracer, nRound);
        if (nRound == options.nRounds)
            break;
        CStopRequest::SleepUnlessStopped(static_cast<std::uint32_t>(options.nIntervalMs));
    }
    DeleteTracer(pTracer);
    return tools::ExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    return tools::RunGuarded("tracedemo", [&] { return RunDemo(argc, argv); });
}
