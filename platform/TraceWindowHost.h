// The receiving end of trace delivery: serves as the trace window of one or more window
// classes and hands every line to the caller. The library never uses it; the trace window
// program and tests do. On Win32 it stands for a hidden top-level window per class that
// handles the registered trace message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform
{

enum class teServeResult
{
    Serving,
    ClassTaken, // another live window of this user serves the class already
    Failed
};

// Who sent a line, as far as the window can know: on POSIX the peer of the connection; a
// Win32 window message does not say who sent it.
struct SLineSender
{
    std::uint32_t dwPid = 0;     // 0 when unknown
    const char* pszProgram = ""; // the program's name as the system keeps it; "" when unknown
};

class CTraceWindowHost
{
public:
    // Called once per line, before the sender is answered. nClass indexes the classes in the
    // order they were added; pText is not zero-terminated; sender lives for the call only.
    using PFN_LINE = void (*)(void* pContext, std::size_t nClass, const SLineSender& sender,
                              const char* pText, std::size_t nLength);

    // Whether this platform's window learns the senders of its lines at all.
    static bool KnowsSenders();

    CTraceWindowHost();
    ~CTraceWindowHost();
    CTraceWindowHost(const CTraceWindowHost&) = delete;
    CTraceWindowHost& operator=(const CTraceWindowHost&) = delete;

    // Whether lines come with their sender's program name (pszProgram). Off by default: the
    // name is read from the system once per connection, and a sender, which connects for
    // each line, waits for that read. The pid costs nothing and always comes.
    void NameSenders(bool bName);

    // On Win32 a window belongs to the thread that creates it and goes with that thread's end:
    // add the classes on the thread that will call Run.
    teServeResult AddClass(const char* pszWindowClass);

    // Handles arriving lines for at most nMilliseconds (negative: until Stop); returns false on
    // a failure of the system, true after the time is up or Stop was called.
    bool Run(int nMilliseconds, PFN_LINE pfnLine, void* pContext);

    // May be called from any thread or from a signal handler.
    void Stop();

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

} // namespace platform
