// An unnamed auto-reset event: each Set releases one Wait (CreateEvent, SetEvent,
// WaitForSingleObject with a time-out).
#pragma once

#include <cstdint>
#include <memory>

namespace platform
{

inline constexpr std::uint32_t kWaitInfinite = 0xFFFFFFFFu;

enum class teWaitResult
{
    Signalled,
    TimedOut,
    Failed
};

class CAutoResetEvent
{
public:
    CAutoResetEvent();
    ~CAutoResetEvent();
    CAutoResetEvent(const CAutoResetEvent&) = delete;
    CAutoResetEvent& operator=(const CAutoResetEvent&) = delete;

    bool Set();
    teWaitResult Wait(std::uint32_t dwMilliseconds);

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

} // namespace platform
