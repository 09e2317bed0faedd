// movactl's notification sink: it notes each finished batch for the thread that waits for it
// and lets a caller of EnumJobQueue decide over each waiting batch.
#pragma once

#include "include/MovaJob.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace movactl
{

class CJobSink final : public IJobNotify
{
public:
    // Answers OnEnumJob: 1 withdraws the batch.
    using FnEnumJob = std::function<std::int32_t(std::uint32_t dwCount, SJobParam* pBuf,
                                                 std::uint32_t dwContext)>;

    CJobSink() = default;
    CJobSink(const CJobSink&) = delete;
    CJobSink& operator=(const CJobSink&) = delete;

    HRESULT MOVA_CALL QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG MOVA_CALL AddRef() override;
    ULONG MOVA_CALL Release() override;
    const char* MOVA_CALL GetVersion() override { return kMovaJobVersion; }
    std::int32_t MOVA_CALL OnPutJobFinished(std::uint32_t dwCount, SJobParam* pBuf,
                                            std::uint32_t dwContext) override;
    std::int32_t MOVA_CALL OnEnumJob(std::uint32_t dwCount, SJobParam* pBuf,
                                     std::uint32_t dwContext, std::uint32_t dwValue) override;

    // Waits until the batch with this context is reported; false after dwTimeoutMs.
    bool WaitFinished(std::uint32_t dwContext, std::uint32_t dwTimeoutMs);

    bool IsFinished(std::uint32_t dwContext);

    // Contexts of the batches reported so far, in the order of their reports.
    std::vector<std::uint32_t> GetFinished();

    // Set while no EnumJobQueue runs; without one every batch stays.
    void SetEnumHandler(FnEnumJob fnOnEnum) { m_fnOnEnum = std::move(fnOnEnum); }

    // References the job holds; the sink itself lives as long as its owner.
    ULONG GetReferences() const { return m_dwReferences.load(); }

private:
    std::atomic<ULONG> m_dwReferences{0};
    std::mutex m_mutex;
    std::condition_variable m_cvFinished;
    std::vector<std::uint32_t> m_adwFinished;
    FnEnumJob m_fnOnEnum;
};

} // namespace movactl
