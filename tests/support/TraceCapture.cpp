#include "tests/support/TraceCapture.h"

#include "platform/DebugOutput.h"
#include "tests/support/ChildProcess.h"

#include <mutex>

namespace tracetest
{
namespace
{

std::mutex g_mutex;
platform::SLocalTime g_time;
std::uint32_t g_dwTicks;
std::vector<std::string> g_captured;

std::uint32_t FakeTicks()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_dwTicks;
}

platform::SLocalTime FakeLocalTime()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_time;
}

const platform::SClockSource g_fakeSource{FakeTicks, FakeLocalTime, nullptr};

void CaptureDebugText(const char* pszText)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_captured.emplace_back(pszText);
}

} // namespace

CFakeClock::CFakeClock()
{
    SetTime(2026, 12, 6, 9, 5, 3, 7);
    SetTicks(1000);
    m_pPrevious = platform::SetClockSource(&g_fakeSource);
}

CFakeClock::~CFakeClock()
{
    platform::SetClockSource(m_pPrevious);
}

void CFakeClock::SetTime(std::uint16_t wYear, std::uint16_t wMonth, std::uint16_t wDay,
                         std::uint16_t wHour, std::uint16_t wMinute, std::uint16_t wSecond,
                         std::uint16_t wMilliseconds)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_time = {wYear, wMonth, wDay, wHour, wMinute, wSecond, wMilliseconds};
}

void CFakeClock::SetTicks(std::uint32_t dwTicks)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dwTicks = dwTicks;
}

CDebugCapture::CDebugCapture()
{
    Clear();
    platform::SetDebugOutputHook(CaptureDebugText);
}

CDebugCapture::~CDebugCapture()
{
    platform::SetDebugOutputHook(nullptr);
}

std::vector<std::string> CDebugCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_captured;
}

void CDebugCapture::Clear()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_captured.clear();
}

TracerPtr MakeTracer(const std::string& name, int nMode, int nLevel)
{
    return TracerPtr(CreateTracer(name.c_str(), NoWindowClass().c_str(), nMode, nLevel));
}

std::string NoWindowClass()
{
    static const std::string name = testsupport::UniqueName("NoWindow");
    return name;
}

} // namespace tracetest
