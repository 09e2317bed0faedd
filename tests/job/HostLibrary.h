// The library as a host sees it: loaded by file name, reached only through the two factories
// and the interfaces. And a sink such as a host implements.
#pragma once

#include "include/MovaJob.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace jobtest
{

// The factories of the library, loaded once per process.
PFN_CREATE_IMOVAJOB LoadCreateJob();
PFN_CREATE_IMOVAPROTO LoadCreateProto();

// A job fresh from the factory; null when the library could not be loaded.
IMovaJob* NewJob();

// The communication parameters of the simulated board's default plant on board 1.
SCommParams DefaultPlantParams(std::uint8_t byTimeWatchdog = 0);

class CTestSink : public IJobNotify
{
public:
    explicit CTestSink(std::string version = kMovaJobVersion) : m_version(std::move(version)) {}

    HRESULT MOVA_CALL QueryInterface(REFIID, void** ppv) override;
    ULONG MOVA_CALL AddRef() override
    {
        m_bReleased = false;
        return ++m_nRefs;
    }
    ULONG MOVA_CALL Release() override;
    const char* MOVA_CALL GetVersion() override { return m_version.c_str(); }
    std::int32_t MOVA_CALL OnPutJobFinished(std::uint32_t dwCount, SJobParam* pBuf,
                                            std::uint32_t dwContext) override;
    std::int32_t MOVA_CALL OnEnumJob(std::uint32_t dwCount, SJobParam* pBuf,
                                     std::uint32_t dwContext, std::uint32_t dwValue) override;

    // Waits until nCount batches were reported; false after nTimeoutMs.
    bool WaitFinished(std::size_t nCount, int nTimeoutMs = 10000);
    // Waits until every reference taken on the sink has come back (a report in progress
    // holds one of its own); false after nTimeoutMs.
    bool WaitReleased(int nTimeoutMs = 10000);
    std::vector<std::uint32_t> Finished();
    std::vector<std::uint32_t> Offered();

    std::atomic<int> m_nRefs{0};
    std::atomic<int> m_nCallsAfterRelease{0};
    std::atomic<bool> m_bReleased{false}; // the last reference the job held came back
    // Called inside OnPutJobFinished and OnEnumJob (which answers what it returns).
    std::function<void(std::uint32_t dwContext)> m_onFinished;
    std::function<std::int32_t(std::uint32_t dwContext)> m_onEnum;

private:
    std::string m_version;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::uint32_t> m_finished;
    std::vector<std::uint32_t> m_offered;
};

// A batch of one record that needs no board: it is cancelled.
struct SQuickBatch
{
    SJobParam record{};
    SQuickBatch()
    {
        record.dwCommand = JobCanceled;
        record.lResult = 77;
    }
};

} // namespace jobtest
