// The master's lines for people (events, the status) on their way to standard output or
// standard error, written by a thread of their own. The bus cycle only queues them: when the
// output stops taking bytes (a pipe nobody reads, a terminal stopped with Ctrl-S, a stalled
// journal) the bus keeps running and lines are dropped and counted instead, and the count is
// said as soon as the output takes lines again.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace dpmaster
{

struct SEventQueue; // shared with the writer thread, which may outlive the writer

class CEventWriter
{
public:
    static constexpr std::size_t kDefaultMaxLines = 1000;
    static constexpr std::size_t kDefaultMaxBytes = 256 * 1024;
    // How long the end waits for the output to take what is queued.
    static constexpr std::chrono::milliseconds kDefaultStopWait{1000};

    // Writes to fd, which the writer does not own and which must stay open for the process's
    // life. strPrefix starts the writer's own lines ("korix-dpmaster: "); strSinkName names
    // the output in them ("standard output"). At most nMaxLines lines and nMaxBytes of text
    // wait at a time.
    CEventWriter(int fd, std::string strPrefix, std::string strSinkName,
                 std::size_t nMaxLines = kDefaultMaxLines,
                 std::size_t nMaxBytes = kDefaultMaxBytes);
    ~CEventWriter(); // Stop(kDefaultStopWait) unless stopped
    CEventWriter(const CEventWriter&) = delete;
    CEventWriter& operator=(const CEventWriter&) = delete;

    // Queues text (one or more lines; a missing line end is added) and returns at once; false
    // when it was dropped because the queue is full or the writer has stopped.
    bool Post(std::string strText) noexcept;

    // Queues a function that makes the text, called in the writer thread, so that wording a
    // line costs the caller nothing. It must not touch what the caller changes meanwhile. A
    // function that throws gives no line.
    bool PostDeferred(std::function<std::string()> makeText) noexcept;

    // Lets the writer write what is queued for at most wait, then ends it; a writer stuck in
    // a write is left behind, never waited for. True when the writer got through the queue in
    // time. Post drops everything afterwards, uncounted.
    bool Stop(std::chrono::milliseconds wait = kDefaultStopWait) noexcept;

    // Lines dropped so far because the queue was full.
    std::uint64_t LostCount() const noexcept;

private:
    std::shared_ptr<SEventQueue> m_pQueue;
    std::thread m_thread;
    bool m_bStopped = false;
};

} // namespace dpmaster
