#include "tools/dpmaster/EventWriter.h"

#include "tools/dpmaster/StandardStreams.h"

#include <condition_variable>
#include <deque>
#include <mutex>

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
            bSinkGone = bSinkGone || !WriteToOutput(queue.fd, strText);
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
    // The writer thread starts with stop requests and broken pipes held off: they are the bus
    // thread's to take, and a reader that has gone must end the writes, not the master.
    CWriterThreadSignals held;
    m_thread = std::thread(WriteLines, m_pQueue);
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
