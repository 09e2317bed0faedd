// movactl's notification sink: it notes each finished batch for the thread that waits for it
// and lets a caller of EnumJobQueue decide over each waiting batch. It keeps only what is
// still to be collected: a report that a wait has collected is forgotten, so that a watch
// that runs for days neither grows nor slows down.
#pragma once

#include "include/MovaJob.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <unordered_set>
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

    // Waits until the batch with this context is reported and collects the report (a second
    // wait for the same context would not see it); false after dwTimeoutMs.
    bool WaitFinished(std::uint32_t dwContext, std::uint32_t dwTimeoutMs);

    // Whether the batch was reported and its report is not collected yet.
    bool IsFinished(std::uint32_t dwContext);

    // Contexts of the latest reports (at most kRecentReports), in the order of their reports.
    std::vector<std::uint32_t> GetFinished();

    static constexpr std::size_t kRecentReports = 64;

    // Set while no EnumJobQueue runs; without one every batch stays.
    void SetEnumHandler(FnEnumJob fnOnEnum) { m_fnOnEnum = std::move(fnOnEnum); }

    // References the job holds; the sink itself lives as long as its owner.
    ULONG GetReferences() const { return m_dwReferences.load(); }

private:
    std::atomic<ULONG> m_dwReferences{0};
    std::mutex m_mutex;
    std::condition_variable m_cvFinished;
    std::unordered_set<std::uint32_t> m_uncollected; // reported, no wait has collected it
    std::deque<std::uint32_t> m_recent;              // the latest reports, oldest first
    FnEnumJob m_fnOnEnum;
};

} // namespace movactl
