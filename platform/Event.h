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

    // Set in two steps, for a caller that signals inside a lock of its own: Mark makes the
    // event signalled, Wake (after the caller has left its lock) wakes a waiter, which then
    // does not run into the lock still held. A waiter that times out meanwhile sees the mark.
    // On Win32 an event cannot be signalled without waking: there Mark is SetEvent and Wake
    // does nothing.
    bool Mark();
    void Wake();

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

} // namespace platform
