// What waiting for a stop request looks like on every system; the request itself arrives
// through posix/ or win32/StopRequest.cpp.
#include "tools/common/StopRequest.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tools
{

namespace
{

// A stop request is noticed within this time.
constexpr std::uint32_t kSliceMs = 20;

} // namespace

bool CStopRequest::SleepUnlessStopped(std::uint32_t dwMilliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    while (!IsStopRequested())
    {
        auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            left, std::chrono::milliseconds(kSliceMs)));
    }
    return false;
}

} // namespace tools
