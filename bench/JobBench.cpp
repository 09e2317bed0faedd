// What a request costs on its way through the job: PutJob to OnPutJobFinished beside a bare
// hand-off between two threads, a full queue beside calling Read directly, and the cost of one
// variable in a large batch. The board is the simulated one, on boards of this process's own.
#include "bench/BenchBoards.h"
#include "bench/BenchSink.h"
#include "include/MovaJob.h"
#include "sim/SimControl.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

// A job opened on board 1's default plant with the sink registered.
struct SOpenJob
{
    SOpenJob()
    {
        for (std::uint8_t byAddr : {3, 4, 5})
            params.aSlaves[params.ucNumberOfDPSlaves++].byL2Addr = byAddr;
        params.Board = 1;
        bOpen = CreateIMovaJob(&pJob) == 1 && pJob->OpenJob(&protoParams, &params, 0) == 0 &&
                pJob->SetJobNotification(&sink) == 0;
    }
    ~SOpenJob()
    {
        if (pJob)
            pJob->Release();
    }
    SJobParam ReadRecord(std::uint16_t wByteOffset = 0)
    {
        SJobParam record{};
        record.dwCommand = JobRead;
        record.tsConSpec = params.aSlaves[0];
        record.tsConSpec.lpvBufferIn = abyIn;
        record.wByteOffset = wByteOffset;
        record.wBitLength = 8;
        record.pData = &byValue;
        return record;
    }

    SProtoParams protoParams{5, 0};
    SCommParams params{};
    IMovaJob* pJob = nullptr;
    bench::CBenchSink sink;
    bool bOpen = false;
    std::uint8_t abyIn[8] = {};
    std::uint8_t byValue = 0;
};

void ReportPercentiles(benchmark::State& state, std::vector<double>& samples)
{
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    state.counters["p50_us"] = samples[samples.size() / 2];
    state.counters["p99_us"] = samples[samples.size() * 99 / 100];
}

void RunLatency(benchmark::State& state, std::uint32_t dwCommand)
{
    SOpenJob job;
    if (!job.bOpen)
    {
        state.SkipWithError("cannot open the job");
        return;
    }
    SJobParam record = job.ReadRecord();
    record.dwCommand = dwCommand;
    std::vector<double> samples;
    std::uint64_t nPut = 0;
    for (auto _ : state)
    {
        auto start = Clock::now();
        job.pJob->PutJob(1, &record, 0);
        job.sink.WaitFor(++nPut);
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    ReportPercentiles(state, samples);
    job.pJob->CloseJob();
}

void BM_PutToFinishedOneRecordRead(benchmark::State& state)
{
    RunLatency(state, JobRead);
}
BENCHMARK(BM_PutToFinishedOneRecordRead);

void BM_PutToFinishedCancelledRecord(benchmark::State& state)
{
    RunLatency(state, JobCanceled);
}
BENCHMARK(BM_PutToFinishedCancelledRecord);

// The least a hand-off to another thread and back can cost: a condition variable each way.
void BM_BareConditionVariablePingPong(benchmark::State& state)
{
    std::mutex mutex;
    std::condition_variable toWorker;
    std::condition_variable toHost;
    std::uint64_t nAsked = 0;
    std::uint64_t nAnswered = 0;
    bool bStop = false;
    std::thread worker(
        [&]
        {
            std::unique_lock<std::mutex> lock(mutex);
            for (;;)
            {
                toWorker.wait(lock, [&] { return bStop || nAsked > nAnswered; });
                if (bStop)
                    return;
                ++nAnswered;
                toHost.notify_one();
            }
        });
    std::vector<double> samples;
    for (auto _ : state)
    {
        auto start = Clock::now();
        std::unique_lock<std::mutex> lock(mutex);
        ++nAsked;
        toWorker.notify_one();
        toHost.wait(lock, [&] { return nAnswered == nAsked; });
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        bStop = true;
    }
    toWorker.notify_one();
    worker.join();
    ReportPercentiles(state, samples);
}
BENCHMARK(BM_BareConditionVariablePingPong);

constexpr int kQueued = 1000;

// Host puts 1000 batches in a row while the worker drains them.
void BM_FullQueueOfOneRecordReads(benchmark::State& state)
{
    SOpenJob job;
    if (!job.bOpen)
    {
        state.SkipWithError("cannot open the job");
        return;
    }
    std::vector<SJobParam> records(kQueued, job.ReadRecord());
    std::uint64_t nPut = 0;
    for (auto _ : state)
    {
        for (SJobParam& record : records)
            job.pJob->PutJob(1, &record, 0);
        nPut += kQueued;
        job.sink.WaitFor(nPut);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(nPut));
    job.pJob->CloseJob();
}
BENCHMARK(BM_FullQueueOfOneRecordReads)->Unit(benchmark::kMillisecond)->UseRealTime();

// The queue filled while the job is closed, then drained by the worker of the next OpenJob:
// the worker's own pace, with no host thread putting at the same time.
void BM_DrainFullQueueOfOneRecordReads(benchmark::State& state)
{
    SOpenJob job;
    if (!job.bOpen || job.pJob->CloseJob() != 0)
    {
        state.SkipWithError("cannot open the job");
        return;
    }
    std::vector<SJobParam> records(kQueued, job.ReadRecord());
    std::uint64_t nReported = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        job.pJob->SetJobNotification(&job.sink);
        for (SJobParam& record : records)
            job.pJob->PutJob(1, &record, 0);
        state.ResumeTiming();
        job.pJob->OpenJob(&job.protoParams, &job.params, 0);
        nReported += kQueued;
        job.sink.WaitFor(nReported);
        state.PauseTiming();
        job.pJob->CloseJob();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(nReported));
}
BENCHMARK(BM_DrainFullQueueOfOneRecordReads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DirectReadCalls(benchmark::State& state)
{
    SOpenJob job;
    IMovaProto* pProto = nullptr;
    if (!job.bOpen || job.pJob->GetProto(&pProto) != S_OK)
    {
        state.SkipWithError("cannot open the job");
        return;
    }
    // The worker is idle: no batches are put, so the protocol object is ours alone.
    SJobParam record = job.ReadRecord();
    for (auto _ : state)
        for (int i = 0; i < kQueued; ++i)
            pProto->Read(&record, 1);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kQueued);
    pProto->Release();
}
BENCHMARK(BM_DirectReadCalls)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadBatchOf1000Variables(benchmark::State& state)
{
    SOpenJob job;
    if (!job.bOpen)
    {
        state.SkipWithError("cannot open the job");
        return;
    }
    std::vector<SJobParam> batch;
    for (int i = 0; i < kQueued; ++i)
        batch.push_back(job.ReadRecord(static_cast<std::uint16_t>(i % 8)));
    std::uint64_t nPut = 0;
    for (auto _ : state)
    {
        job.pJob->PutJob(kQueued, batch.data(), 0);
        job.sink.WaitFor(++nPut);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(nPut) * kQueued);
    job.pJob->CloseJob();
}
BENCHMARK(BM_ReadBatchOf1000Variables)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::RunOnPrivateBoards(argc, argv);
}
