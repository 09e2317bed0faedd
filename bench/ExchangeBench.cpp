// What one exchange costs on its way from the host to the simulated board: a direct board call
// beside the same read through CDPCommunication (with its board semaphore) and through a
// one-record IMovaProto::Read, on a simulated board and on one served as a DP master serves it
// (where every call judges how fresh the master's posts are); the throughput of one and of two jobs
// on boards of their own, from threads and from processes; 1, 2 and 4 exchange loops sharing the
// board semaphore, beside the same loops under the bare semaphore and under a std::mutex; the
// memory allocations per request; and the context switches per request when host and worker share
// one CPU.
#include "bench/BenchBoards.h"
#include "bench/BenchSink.h"
#include "board/BoardOperations.h"
#include "board/BoardRequest.h"
#include "dpcomm/DPCommunication.h"
#include "include/MovaJob.h"
#include "platform/BoardSemaphore.h"
#include "platform/Clock.h"
#include "sim/BoardLock.h"
#include "sim/Registrations.h"
#include "sim/ServedBoard.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

std::atomic<std::uint64_t> g_nAllocations{0};

} // namespace

// Every allocation of the process, the library's included, passes here.
void* operator new(std::size_t nSize)
{
    ++g_nAllocations;
    if (void* p = std::malloc(nSize ? nSize : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new(std::size_t nSize, const std::nothrow_t&) noexcept
{
    ++g_nAllocations;
    return std::malloc(nSize ? nSize : 1);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace
{

constexpr std::uint8_t kSlave = 3; // 8 input bytes on the default plant
constexpr int kBatches = 2000;
constexpr int kLoopExchanges = 20000;                 // per loop and round of the loop benchmarks
constexpr char kBoardSemaphoreName[] = "SemSyncTest"; // the one every exchange takes

SCommParams PlantParams(std::uint8_t byBoard)
{
    SCommParams params{};
    params.dwSize = sizeof params;
    params.Board = byBoard;
    for (std::uint8_t byAddr : {3, 4, 5})
        params.aSlaves[params.ucNumberOfDPSlaves++].byL2Addr = byAddr;
    return params;
}

// A registration at board byBoard for direct board calls; byHandle stays 0 when it fails.
SBoardRequest RegisterAtBoard(std::uint8_t byBoard)
{
    SBoardRequest registration{};
    registration.byHandle = byBoard;
    registration.byHandleExt = kBoardRegistrationTag;
    registration.byLength = kBoardSlaveCount;
    if (BoardRegister(&registration) != 0)
        registration.byHandle = 0;
    return registration;
}

// One direct read of the slave's inputs through a registration.
void ReadInputDirectly(const SBoardRequest& registration)
{
    SBoardRequest request{};
    request.byHandle = registration.byHandle;
    request.byHandleExt = registration.byHandleExt;
    request.byL2Addr = kSlave;
    request.byLength = 255;
    BoardReadInput(&request);
    benchmark::DoNotOptimize(request);
}

constexpr std::uint8_t kServedBoard = 9;

// Serves board kServedBoard as korix-dpmaster does, from this process: a serving registration,
// the default plant's slaves without generators, and everything posted just now. The bound is
// far longer than any run, so that every read is served: what is measured is the check, which
// costs the same whatever the bound.
bool ServeBoard()
{
    korix::CBoardLock lock(kServedBoard);
    korix::SBoardState* pState = lock.State();
    if (pState == nullptr)
        return false;
    const std::uint32_t dwNow = platform::ReadTickCount();
    bool bServed = false;
    for (const korix::SRegistration& registration : pState->aRegistrations)
        bServed = bServed || korix::IsServingRegistration(registration);
    if (!bServed)
    {
        const std::uint8_t abyModes[kBoardSlaveCount] = {};
        const int nSlot = korix::AddRegistration(*pState, korix::CurrentProcess(), abyModes, dwNow);
        if (nSlot < 0)
            return false;
        pState->aRegistrations[nSlot].byServesBoard = korix::kRegistrationServesBoard;
    }
    for (korix::SBoardSlave& slave : pState->sPlant.aSlaves)
        slave.byGeneratorCount = 0;
    korix::SFreshness& freshness = pState->sFreshness;
    freshness.dwBoundMs = 3600000;
    freshness.dwMasterTick = dwNow;
    for (std::uint32_t& dwTick : freshness.adwInputsTick)
        dwTick = dwNow;
    return true;
}

// Runs fnLoop(n) for n = 0 .. nLoops-1, each on a thread of its own, and waits for all.
template <class FnLoop> void RunLoops(int nLoops, const FnLoop& fnLoop)
{
    std::vector<std::thread> loops;
    for (int n = 0; n < nLoops; ++n)
        loops.emplace_back(fnLoop, n);
    for (std::thread& loop : loops)
        loop.join();
}

// Direct board calls, each thread on a board of its own (board 1, 2, ...): what the board
// itself allows when calls on two boards run at once, with no semaphore between them.
void BM_DirectBoardReadInput(benchmark::State& state)
{
    SBoardRequest registration =
        RegisterAtBoard(static_cast<std::uint8_t>(state.thread_index() + 1));
    if (registration.byHandle == 0)
    {
        state.SkipWithError("cannot register at the board");
        return;
    }
    for (auto _ : state)
        ReadInputDirectly(registration);
    BoardClose(&registration);
}
BENCHMARK(BM_DirectBoardReadInput)->Threads(1)->Threads(2)->UseRealTime();

// The same on a served board: the read path's freshness check included.
void BM_DirectBoardReadInputServed(benchmark::State& state)
{
    SBoardRequest registration = RegisterAtBoard(kServedBoard);
    if (!ServeBoard() || registration.byHandle == 0)
    {
        state.SkipWithError("cannot serve the board");
        return;
    }
    for (auto _ : state)
        ReadInputDirectly(registration);
    BoardClose(&registration);
}
BENCHMARK(BM_DirectBoardReadInputServed)->UseRealTime();

void ReadThroughTheLibrary(benchmark::State& state, std::uint8_t byBoard)
{
    SCommParams params = PlantParams(byBoard);
    CDPCommunication comm(byBoard);
    teErrorNumber eError = DPERR_NONE;
    if (!comm.InitDPCommunication(params.ucNumberOfDPSlaves, params.aSlaves, 0, &eError))
    {
        state.SkipWithError("cannot open the board");
        return;
    }
    std::uint8_t abyIn[244] = {};
    if (!comm.ReadFromDPSlave(kSlave, abyIn, &eError))
        state.SkipWithError("the slave's inputs are not served");
    for (auto _ : state)
        benchmark::DoNotOptimize(comm.ReadFromDPSlave(kSlave, abyIn, &eError));
    comm.ExitDPCommunication(&eError);
}

void BM_DPCommReadFromDPSlave(benchmark::State& state)
{
    ReadThroughTheLibrary(state, 1);
}
BENCHMARK(BM_DPCommReadFromDPSlave);

void BM_DPCommReadFromDPSlaveServed(benchmark::State& state)
{
    if (!ServeBoard())
    {
        state.SkipWithError("cannot serve the board");
        return;
    }
    ReadThroughTheLibrary(state, kServedBoard);
}
BENCHMARK(BM_DPCommReadFromDPSlaveServed);

void BM_ProtoReadOneRecord(benchmark::State& state)
{
    SProtoParams protoParams{sizeof(SProtoParams), 0};
    SCommParams params = PlantParams(1);
    IMovaProto* pProto = nullptr;
    if (!CreateIMovaProto(&pProto) || pProto->Open(&protoParams, &params) != 0)
    {
        state.SkipWithError("cannot open board 1");
        return;
    }
    std::uint8_t abyIn[244] = {};
    std::uint8_t byValue = 0;
    SJobParam record{};
    record.dwCommand = JobRead;
    record.tsConSpec = params.aSlaves[0];
    record.tsConSpec.lpvBufferIn = abyIn;
    record.wBitLength = 8;
    record.pData = &byValue;
    for (auto _ : state)
        benchmark::DoNotOptimize(pProto->Read(&record, 1));
    pProto->Close();
    pProto->Release();
}
BENCHMARK(BM_ProtoReadOneRecord);

// N loops of exchanges, each a thread with a communication object on a board of its own: all
// of them contend for the one board semaphore.
void BM_ExchangeLoops(benchmark::State& state)
{
    int nLoops = static_cast<int>(state.range(0));
    std::vector<std::unique_ptr<CDPCommunication>> comms;
    std::vector<SCommParams> params(static_cast<std::size_t>(nLoops));
    for (int n = 0; n < nLoops; ++n)
    {
        params[n] = PlantParams(static_cast<std::uint8_t>(n + 1));
        comms.push_back(std::make_unique<CDPCommunication>(static_cast<std::uint8_t>(n + 1)));
        teErrorNumber eError = DPERR_NONE;
        if (!comms.back()->InitDPCommunication(params[n].ucNumberOfDPSlaves, params[n].aSlaves, 0,
                                               &eError))
        {
            state.SkipWithError("cannot open a board");
            return;
        }
    }
    for (auto _ : state)
        RunLoops(nLoops,
                 [&comms](int n)
                 {
                     std::uint8_t abyIn[244] = {};
                     teErrorNumber eError = DPERR_NONE;
                     for (int i = 0; i < kLoopExchanges; ++i)
                         comms[n]->ReadFromDPSlave(kSlave, abyIn, &eError);
                 });
    for (auto& pComm : comms)
    {
        teErrorNumber eError = DPERR_NONE;
        pComm->ExitDPCommunication(&eError);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * nLoops *
                            kLoopExchanges);
}
BENCHMARK(BM_ExchangeLoops)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// Locks of count 1 for the same loops as direct board calls: the board semaphore alone, and a
// process-local std::mutex (glibc's futex mutex) as the machine's reference for what handing
// a lock over between 1, 2 or 4 loops costs here.
class CBoardSemaphoreLock
{
public:
    CBoardSemaphoreLock() : m_hSemaphore(platform::CreateBoardSemaphore(kBoardSemaphoreName)) {}
    ~CBoardSemaphoreLock() { platform::CloseBoardSemaphore(m_hSemaphore); }
    bool IsOpen() const { return m_hSemaphore != nullptr; }
    void lock() { platform::WaitBoardSemaphore(m_hSemaphore); }
    void unlock() { platform::ReleaseBoardSemaphore(m_hSemaphore); }

private:
    platform::HBoardSemaphore m_hSemaphore;
};

// Every object locks the one mutex, as every semaphore handle takes the one semaphore.
class CMutexLock
{
public:
    bool IsOpen() const { return true; }
    void lock() { s_mutex.lock(); }
    void unlock() { s_mutex.unlock(); }

private:
    static inline std::mutex s_mutex;
};

template <class TLock> void BM_DirectLoopsUnderOneLock(benchmark::State& state)
{
    int nLoops = static_cast<int>(state.range(0));
    std::vector<SBoardRequest> registrations;
    // One lock object per loop, as every communication object has a handle of its own.
    std::vector<std::unique_ptr<TLock>> locks;
    for (int n = 0; n < nLoops; ++n)
    {
        registrations.push_back(RegisterAtBoard(static_cast<std::uint8_t>(n + 1)));
        locks.push_back(std::make_unique<TLock>());
    }
    if (!std::all_of(registrations.begin(), registrations.end(),
                     [](const SBoardRequest& registration) { return registration.byHandle != 0; }))
        state.SkipWithError("cannot register at the board");
    else if (!std::all_of(locks.begin(), locks.end(),
                          [](const auto& pLock) { return pLock->IsOpen(); }))
        state.SkipWithError("cannot open the lock");
    else
        for (auto _ : state)
            RunLoops(nLoops,
                     [&registrations, &locks](int n)
                     {
                         for (int i = 0; i < kLoopExchanges; ++i)
                         {
                             std::lock_guard<TLock> guard(*locks[n]);
                             ReadInputDirectly(registrations[n]);
                         }
                     });
    for (SBoardRequest& registration : registrations)
        if (registration.byHandle != 0)
            BoardClose(&registration);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * nLoops *
                            kLoopExchanges);
}
BENCHMARK_TEMPLATE(BM_DirectLoopsUnderOneLock, CBoardSemaphoreLock)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_DirectLoopsUnderOneLock, CMutexLock)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A job on its own board, reading one byte of slave 3 per batch.
class CBoardJob
{
public:
    explicit CBoardJob(std::uint8_t byBoard) : m_params(PlantParams(byBoard))
    {
        m_bOpen = CreateIMovaJob(&m_pJob) == 1 &&
                  m_pJob->OpenJob(&m_protoParams, &m_params, 0) == 0 &&
                  m_pJob->SetJobNotification(&m_sink) == 0;
        m_record.dwCommand = JobRead;
        m_record.tsConSpec = m_params.aSlaves[0];
        m_record.tsConSpec.lpvBufferIn = m_abyIn;
        m_record.wBitLength = 8;
        m_record.pData = &m_byValue;
        m_records.assign(kBatches, m_record);
    }
    ~CBoardJob()
    {
        if (m_pJob)
            m_pJob->Release();
    }
    bool IsOpen() const { return m_bOpen; }

    // Puts kBatches one-record reads and waits until all are reported.
    void RunBatches()
    {
        for (SJobParam& record : m_records)
            m_pJob->PutJob(1, &record, 0);
        m_nReported += kBatches;
        m_sink.WaitFor(m_nReported);
    }

    // One batch at a time, each waited for.
    void RunOne()
    {
        m_pJob->PutJob(1, &m_record, 0);
        m_sink.WaitFor(++m_nReported);
    }

private:
    SProtoParams m_protoParams{sizeof(SProtoParams), 0};
    SCommParams m_params;
    IMovaJob* m_pJob = nullptr;
    bench::CBenchSink m_sink;
    bool m_bOpen = false;
    std::uint8_t m_abyIn[244] = {};
    std::uint8_t m_byValue = 0;
    SJobParam m_record{};
    std::vector<SJobParam> m_records;
    std::uint64_t m_nReported = 0;
};

// Jobs on boards 1..N, each driven by a host thread of its own.
void BM_JobsOnOwnBoardsFromThreads(benchmark::State& state)
{
    int nJobs = static_cast<int>(state.range(0));
    std::vector<std::unique_ptr<CBoardJob>> jobs;
    for (int n = 0; n < nJobs; ++n)
    {
        jobs.push_back(std::make_unique<CBoardJob>(static_cast<std::uint8_t>(n + 1)));
        if (!jobs.back()->IsOpen())
        {
            state.SkipWithError("cannot open a job");
            return;
        }
    }
    for (auto _ : state)
    {
        std::vector<std::thread> hosts;
        for (auto& pJob : jobs)
            hosts.emplace_back([&pJob] { pJob->RunBatches(); });
        for (std::thread& host : hosts)
            host.join();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * nJobs * kBatches);
}
BENCHMARK(BM_JobsOnOwnBoardsFromThreads)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same with each job in a process of its own (forked, so the board prefix is shared).
void BM_JobsOnOwnBoardsFromProcesses(benchmark::State& state)
{
    int nJobs = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        std::vector<pid_t> children;
        for (int n = 0; n < nJobs; ++n)
        {
            pid_t pid = fork();
            if (pid == 0)
            {
                CBoardJob job(static_cast<std::uint8_t>(n + 1));
                if (job.IsOpen())
                    job.RunBatches();
                _exit(job.IsOpen() ? 0 : 1);
            }
            children.push_back(pid);
        }
        for (pid_t pid : children)
        {
            int nStatus = 0;
            if (pid < 0 || waitpid(pid, &nStatus, 0) != pid || nStatus != 0)
                state.SkipWithError("a job process failed");
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * nJobs * kBatches);
}
BENCHMARK(BM_JobsOnOwnBoardsFromProcesses)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Allocations per request of a one-record read put and reported: the queue node, nothing else.
void BM_AllocationsPerRequest(benchmark::State& state)
{
    CBoardJob job(1);
    if (!job.IsOpen())
    {
        state.SkipWithError("cannot open the job");
        return;
    }
    job.RunOne(); // first use of everything
    std::uint64_t nBefore = g_nAllocations;
    for (auto _ : state)
        job.RunOne();
    state.counters["allocs_per_request"] =
        static_cast<double>(g_nAllocations - nBefore) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_AllocationsPerRequest);

// Host and worker on one CPU: every context switch of the process per request.
void BM_ContextSwitchesOnOneCpu(benchmark::State& state)
{
    cpu_set_t previous;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    if (sched_getaffinity(0, sizeof previous, &previous) != 0 ||
        sched_setaffinity(0, sizeof one, &one) != 0)
    {
        state.SkipWithError("cannot bind to CPU 0");
        return;
    }
    {
        CBoardJob job(1); // its worker inherits the binding
        if (!job.IsOpen())
            state.SkipWithError("cannot open the job");
        else
        {
            job.RunOne();
            rusage before{};
            getrusage(RUSAGE_SELF, &before);
            for (auto _ : state)
                job.RunOne();
            rusage after{};
            getrusage(RUSAGE_SELF, &after);
            long nSwitches =
                (after.ru_nvcsw - before.ru_nvcsw) + (after.ru_nivcsw - before.ru_nivcsw);
            state.counters["switches_per_request"] =
                static_cast<double>(nSwitches) / static_cast<double>(state.iterations());
        }
    }
    sched_setaffinity(0, sizeof previous, &previous);
}
BENCHMARK(BM_ContextSwitchesOnOneCpu);

} // namespace

int main(int argc, char** argv)
{
    return bench::RunOnPrivateBoards(argc, argv);
}
