// A thread with a handle and an id (CreateThread, WaitForSingleObject, SetThreadPriority).
#pragma once

#include <cstdint>
#include <memory>

namespace platform
{

using PFN_THREAD_START = std::uint32_t (*)(void* pArg);

std::uint32_t CurrentThreadId();

class CThread
{
public:
    CThread();
    ~CThread(); // a thread still running is joined
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // false when the thread could not be started or one is running already.
    bool Start(PFN_THREAD_START pfnStart, void* pArg);

    // Waits for the thread's end; false when none was started. Must not be called on itself.
    bool Join();

    // Lets the thread run to its end on its own and forgets it (CloseHandle without a wait).
    // For the thread itself, which cannot wait for its own end.
    void Detach();

    bool IsRunning() const;
    std::uint32_t GetId() const; // 0 when none is running

    // Best effort: Linux refuses it to unprivileged processes, which is no failure.
    void RaisePriorityAboveNormal();

private:
    struct SImpl;
    // Shared with the running thread, which may outlive a detached CThread.
    std::shared_ptr<SImpl> m_pImpl;
};

} // namespace platform
