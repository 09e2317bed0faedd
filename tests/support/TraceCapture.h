// What the tracer tests share: a clock the test sets, and the debug output captured instead of
// going to syslog. Both are installed through the platform layer's own seams.
#pragma once

#include "platform/Clock.h"
#include "trace/TraceApi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tracetest
{

// Installs itself as the clock for its lifetime. Starts at 6 December 2026, 09:05:03,007.
class CFakeClock
{
public:
    CFakeClock();
    ~CFakeClock();
    static void SetTime(std::uint16_t wYear, std::uint16_t wMonth, std::uint16_t wDay,
                        std::uint16_t wHour, std::uint16_t wMinute, std::uint16_t wSecond,
                        std::uint16_t wMilliseconds);
    static void SetTicks(std::uint32_t dwTicks);

private:
    const platform::SClockSource* m_pPrevious;
};

// Collects every text sent to the debug output for its lifetime.
class CDebugCapture
{
public:
    CDebugCapture();
    ~CDebugCapture();
    std::vector<std::string> Lines() const;
    void Clear();
};

struct STracerDeleter
{
    void operator()(CTracer* pTracer) const { DeleteTracer(pTracer); }
};
using TracerPtr = std::unique_ptr<CTracer, STracerDeleter>;

// A session under a name of its own, whose lines go to the debug output (no window serves the
// class).
TracerPtr MakeTracer(const std::string& name, int nMode = TIMESTAMP_CLOCK, int nLevel = 0);

std::string NoWindowClass();

} // namespace tracetest
