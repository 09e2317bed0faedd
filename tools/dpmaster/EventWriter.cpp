#include "tools/dpmaster/EventWriter.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace dpmaster
{

struct SEventQueue
{
    struct SEntry
    {
        std::string strText;
        std::function<std::string()> makeText; // instead of strText when set
        std::uint64_t qwLostBefore = 0;        // dropped between the entry before and this one
    };

    int fd;
    std::string strPrefix;
    std::string strSinkName;
    std::size_t nMaxLines;
    std::size_t nMaxBytes;

    std::mutex mutex; // never held during a write or while a text is made
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<SEntry> entries;
    std::size_t nQueuedBytes = 0;
    std::uint64_t qwLostUnsaid = 0; // dropped after the last entry queued
    std::uint64_t qwLostTotal = 0;
    bool bStopping = false;
    bool bFinished = false;
};

namespace
{

std::string LostNote(const SEventQueue& queue, std::uint64_t qwLost)
{
    return queue.strPrefix + std::to_string(qwLost) + (qwLost == 1 ? " line" : " lines") +
           " lost: " + queue.strSinkName + " did not take " + (qwLost == 1 ? "it" : "them") + "\n";
}

// A plain blocking write: only this thread ever waits for it. The output is not made
// non-blocking because that flag belongs to the open file, which the shell, the terminal or
// the journal share with us; they would get EAGAIN from their own writes. If one of them has
// set it, a full output is waited for here all the same. False once the output is gone.
bool WriteAll(int fd, const std::string& strText)
{
    std::size_t nDone = 0;
    while (nDone < strText.size())
    {
        const ssize_t n = ::write(fd, strText.data() + nDone, strText.size() - nDone);
        if (n > 0)
        {
            nDone += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        {
            struct pollfd pfd = {fd, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
            continue;
        }
        return false;
    }
    return true;
}

std::string MakeText(const std::function<std::string()>& makeText)
{
    try
    {
        return makeText();
    }
    catch (...)
    {
        return std::string();
    }
}

// Takes the next text to write under the lock: an entry (with the note on what was lost before
// it) or, once the queue is empty, the note on what was lost after the last entry. Empty when
// there is nothing left and the writer is to end.
bool TakeNext(SEventQueue& queue, std::unique_lock<std::mutex>& lock, std::string& strText)
{
    queue.wake.wait(
        lock, [&] { return !queue.entries.empty() || queue.qwLostUnsaid != 0 || queue.bStopping; });
    if (queue.entries.empty())
    {
        if (queue.qwLostUnsaid == 0)
            return false;
        strText = LostNote(queue, queue.qwLostUnsaid);
        queue.qwLostUnsaid = 0;
        return true;
    }
    SEventQueue::SEntry entry = std::move(queue.entries.front());
    queue.entries.pop_front();
    queue.nQueuedBytes -= entry.strText.size();
    lock.unlock();
    strText = entry.qwLostBefore != 0 ? LostNote(queue, entry.qwLostBefore) : std::string();
    strText += entry.makeText ? MakeText(entry.makeText) : entry.strText;
    lock.lock();
    return true;
}

void WriteLines(std::shared_ptr<SEventQueue> pQueue)
{
    SEventQueue& queue = *pQueue;
    std::unique_lock<std::mutex> lock(queue.mutex);
    try
    {
        bool bSinkGone = false;
        std::string strText;
        while (TakeNext(queue, lock, strText))
        {
            if (strText.empty())
                continue;
            if (strText.back() != '\n')
                strText += '\n';
            lock.unlock();
            // Once the output is gone (its reader closed it), the rest is dropped unwritten.
            bSinkGone = bSinkGone || !WriteAll(queue.fd, strText);
            lock.lock();
        }
    }
    catch (...)
    {
        // Out of memory: the lines end here, the master goes on.
        if (!lock.owns_lock())
            lock.lock();
    }
    queue.bFinished = true;
    queue.finished.notify_all();
}

} // namespace

CEventWriter::CEventWriter(int fd, std::string strPrefix, std::string strSinkName,
                           std::size_t nMaxLines, std::size_t nMaxBytes)
    : m_pQueue(std::make_shared<SEventQueue>())
{
    m_pQueue->fd = fd;
    m_pQueue->strPrefix = std::move(strPrefix);
    m_pQueue->strSinkName = std::move(strSinkName);
    m_pQueue->nMaxLines = nMaxLines;
    m_pQueue->nMaxBytes = nMaxBytes;
    // The writer thread starts with these blocked. SIGPIPE: a write to a pipe whose reader has
    // gone then fails with EPIPE in this thread (the signal is the thread's own) instead of
    // ending the master. SIGINT and SIGTERM: they go to a thread that takes them, the one that
    // runs the bus and must wake from its sleep to see them.
    sigset_t held, old;
    sigemptyset(&held);
    sigaddset(&held, SIGPIPE);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &old);
    try
    {
        m_thread = std::thread(WriteLines, m_pQueue);
    }
    catch (...)
    {
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        throw;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

CEventWriter::~CEventWriter()
{
    Stop();
}

bool CEventWriter::Post(std::string strText) noexcept
{
    SEventQueue& queue = *m_pQueue;
    try
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        if (queue.bStopping)
            return false;
        if (queue.entries.size() >= queue.nMaxLines ||
            strText.size() > queue.nMaxBytes - queue.nQueuedBytes)
        {
            ++queue.qwLostUnsaid;
            ++queue.qwLostTotal;
            return false;
        }
        const std::size_t nSize = strText.size();
        queue.entries.push_back(SEventQueue::SEntry{std::move(strText), {}, queue.qwLostUnsaid});
        queue.nQueuedBytes += nSize;
        queue.qwLostUnsaid = 0;
    }
    catch (...)
    {
        return false;
    }
    queue.wake.notify_one();
    return true;
}

bool CEventWriter::PostDeferred(std::function<std::string()> makeText) noexcept
{
    SEventQueue& queue = *m_pQueue;
    try
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        if (queue.bStopping || !makeText)
            return false;
        if (queue.entries.size() >= queue.nMaxLines)
        {
            ++queue.qwLostUnsaid;
            ++queue.qwLostTotal;
            return false;
        }
        queue.entries.push_back(SEventQueue::SEntry{{}, std::move(makeText), queue.qwLostUnsaid});
        queue.qwLostUnsaid = 0;
    }
    catch (...)
    {
        return false;
    }
    queue.wake.notify_one();
    return true;
}

bool CEventWriter::Stop(std::chrono::milliseconds wait) noexcept
{
    if (m_bStopped)
        return false;
    m_bStopped = true;
    SEventQueue& queue = *m_pQueue;
    bool bFinished = false;
    {
        std::unique_lock<std::mutex> lock(queue.mutex);
        queue.bStopping = true;
        queue.wake.notify_all();
        bFinished = queue.finished.wait_for(lock, wait, [&] { return queue.bFinished; });
    }
    // A writer still in a write to an output that takes nothing is left to it: it holds its
    // own share of the queue, and the process's exit ends it. Waiting here would hold the exit.
    if (bFinished)
        m_thread.join();
    else
        m_thread.detach();
    return bFinished;
}

std::uint64_t CEventWriter::LostCount() const noexcept
{
    std::lock_guard<std::mutex> lock(m_pQueue->mutex);
    return m_pQueue->qwLostTotal;
}

} // namespace dpmaster
