// The host's sink in the benchmarks.
#pragma once

#include "include/MovaJob.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace bench
{

// Counts reported batches and wakes whoever waits, only once the count it waits for is reached:
// a wake-up per batch would measure the waiting host, not the job.
class CBenchSink : public IJobNotify
{
public:
    HRESULT MOVA_CALL QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG MOVA_CALL AddRef() override { return 1; }
    ULONG MOVA_CALL Release() override { return 1; }
    const char* MOVA_CALL GetVersion() override { return kMovaJobVersion; }
    std::int32_t MOVA_CALL OnPutJobFinished(std::uint32_t, SJobParam*, std::uint32_t) override
    {
        bool bReached = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            bReached = ++m_nFinished >= m_nAwaited;
        }
        if (bReached)
            m_finished.notify_one();
        return 0;
    }
    std::int32_t MOVA_CALL OnEnumJob(std::uint32_t, SJobParam*, std::uint32_t,
                                     std::uint32_t) override
    {
        return 0;
    }
    void WaitFor(std::uint64_t nCount)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_nAwaited = nCount;
        m_finished.wait(lock, [&] { return m_nFinished >= nCount; });
    }
    std::uint64_t Finished()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nFinished;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::uint64_t m_nFinished = 0;
    std::uint64_t m_nAwaited = 0;
};

} // namespace bench
