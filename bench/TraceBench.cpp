// What a trace line costs: filtered with and without testing the level first, and delivered
// to a listening window beside a bare connect-send-answer round trip on the same kind of
// socket, so that the delivery's own overhead can be read off one run.
#include "platform/TraceWindowHost.h"
#include "platform/posix/TraceWindowAddress.h"
#include "trace/TraceApi.h"

#include <benchmark/benchmark.h>

#include <string>
#include <thread>

namespace
{

std::string UniqueName(const char* pszPrefix)
{
    return std::string(pszPrefix) + std::to_string(getpid());
}

struct STracerGuard
{
    CTracer* pTracer;
    ~STracerGuard() { DeleteTracer(pTracer); }
};

void BM_FilteredLineTestedFirst(benchmark::State& state)
{
    STracerGuard guard{
        CreateTracer(UniqueName("BenchTested").c_str(), "BenchNoWindow", TIMESTAMP_CLOCK, -1)};
    int nValue = 0;
    for (auto _ : state)
    {
        if (TraceLevelEnabled(guard.pTracer, 100))
            TraceLine(guard.pTracer, 100, "Anfang CMovaJob::PutJob %d\n", nValue);
        benchmark::DoNotOptimize(++nValue);
    }
}
BENCHMARK(BM_FilteredLineTestedFirst);

void BM_FilteredTraceLineUntested(benchmark::State& state)
{
    STracerGuard guard{
        CreateTracer(UniqueName("BenchUntested").c_str(), "BenchNoWindow", TIMESTAMP_CLOCK, -1)};
    int nValue = 0;
    for (auto _ : state)
        TraceLine(guard.pTracer, 100, "Anfang CMovaJob::PutJob %d\n", ++nValue);
}
BENCHMARK(BM_FilteredTraceLineUntested);

// A trace window served by a thread of this process; it answers each line at once.
class CBenchWindow
{
public:
    explicit CBenchWindow(const std::string& windowClass)
    {
        m_bServing = m_host.AddClass(windowClass.c_str()) == platform::teServeResult::Serving;
        if (m_bServing)
            m_thread = std::thread([this] { m_host.Run(-1, Ignore, nullptr); });
    }
    ~CBenchWindow()
    {
        m_host.Stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool IsServing() const { return m_bServing; }

private:
    static void Ignore(void*, std::size_t, const platform::SLineSender&, const char*, std::size_t)
    {
    }

    platform::CTraceWindowHost m_host;
    std::thread m_thread;
    bool m_bServing = false;
};

void BM_DeliveredLine(benchmark::State& state)
{
    std::string windowClass = UniqueName("BenchWindow");
    CBenchWindow window(windowClass);
    STracerGuard guard{CreateTracer(UniqueName("BenchDelivered").c_str(), windowClass.c_str(),
                                    TIMESTAMP_CLOCK, 100)};
    if (!window.IsServing() || !guard.pTracer)
    {
        state.SkipWithError("no trace window");
        return;
    }
    int nValue = 0;
    for (auto _ : state)
        TraceLine(guard.pTracer, 100, "Anfang CMovaJob::PutJob %d\n", ++nValue);
}
BENCHMARK(BM_DeliveredLine);

void BM_BareSocketRoundTrip(benchmark::State& state)
{
    std::string windowClass = UniqueName("BenchBare");
    CBenchWindow window(windowClass);
    sockaddr_un addr;
    socklen_t nAddrLen = platform::posix::MakeTraceWindowAddress(windowClass.c_str(), addr);
    if (!window.IsServing() || nAddrLen == 0)
    {
        state.SkipWithError("no trace window");
        return;
    }
    const char kLine[] = "A 09:05:03,007 INFO    Anfang CMovaJob::PutJob 1\n";
    for (auto _ : state)
    {
        int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        char answer = 0;
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), nAddrLen) != 0 ||
            send(fd, kLine, sizeof kLine - 1, MSG_NOSIGNAL) < 0 || recv(fd, &answer, 1, 0) < 0)
            state.SkipWithError("round trip failed");
        close(fd);
    }
}
BENCHMARK(BM_BareSocketRoundTrip);

} // namespace

BENCHMARK_MAIN();
