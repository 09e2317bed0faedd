#include "tests/job/HostLibrary.h"

#include <chrono>
#include <thread>

#if defined(_WIN32)
#include "platform/win32/WindowsHeaders.h"
#else
#include <dlfcn.h>
#endif

namespace jobtest
{
namespace
{

// The library by its file name, once per process, and a factory from it by its exported
// name: dlopen and dlsym, or LoadLibraryA and GetProcAddress (which finds KORIX.dll beside
// the test program, as a host's folder holds it).
#if defined(_WIN32)
HMODULE LoadMovaJob()
{
    static HMODULE hLibrary = LoadLibraryA(MOVAJOB_LIBRARY);
    return hLibrary;
}

void* FindFactory(const char* pszName)
{
    HMODULE hLibrary = LoadMovaJob();
    return hLibrary ? reinterpret_cast<void*>(GetProcAddress(hLibrary, pszName)) : nullptr;
}
#else
void* LoadMovaJob()
{
    static void* pLibrary = dlopen(MOVAJOB_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    return pLibrary;
}

void* FindFactory(const char* pszName)
{
    void* pLibrary = LoadMovaJob();
    return pLibrary ? dlsym(pLibrary, pszName) : nullptr;
}
#endif

} // namespace

PFN_CREATE_IMOVAJOB LoadCreateJob()
{
    return reinterpret_cast<PFN_CREATE_IMOVAJOB>(FindFactory("CreateIMovaJob"));
}

PFN_CREATE_IMOVAPROTO LoadCreateProto()
{
    return reinterpret_cast<PFN_CREATE_IMOVAPROTO>(FindFactory("CreateIMovaProto"));
}

IMovaJob* NewJob()
{
    PFN_CREATE_IMOVAJOB pfnCreate = LoadCreateJob();
    IMovaJob* pJob = nullptr;
    return pfnCreate && pfnCreate(&pJob) == 1 ? pJob : nullptr;
}

SCommParams DefaultPlantParams(std::uint8_t byTimeWatchdog)
{
    SCommParams params{};
    params.dwSize = sizeof params;
    params.Board = 1;
    params.byTimeWatchdog = byTimeWatchdog;
    for (std::uint8_t byAddr : {3, 4, 5})
        params.aSlaves[params.ucNumberOfDPSlaves++].byL2Addr = byAddr;
    return params;
}

HRESULT MOVA_CALL CTestSink::QueryInterface(REFIID, void** ppv)
{
    if (ppv)
        *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG MOVA_CALL CTestSink::Release()
{
    // The count goes down last: a test that waits for 0 may destroy the sink at once. (The
    // job never calls AddRef and Release at once: AddRef comes only with the registration.)
    int nLeft = m_nRefs.load() - 1;
    if (nLeft == 0)
        m_bReleased = true;
    --m_nRefs;
    return static_cast<ULONG>(nLeft);
}

std::int32_t MOVA_CALL CTestSink::OnPutJobFinished(std::uint32_t, SJobParam*,
                                                   std::uint32_t dwContext)
{
    if (m_bReleased)
        ++m_nCallsAfterRelease;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished.push_back(dwContext);
    }
    m_changed.notify_all();
    if (m_onFinished)
        m_onFinished(dwContext);
    return 0;
}

std::int32_t MOVA_CALL CTestSink::OnEnumJob(std::uint32_t, SJobParam*, std::uint32_t dwContext,
                                            std::uint32_t)
{
    if (m_bReleased)
        ++m_nCallsAfterRelease;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_offered.push_back(dwContext);
    }
    return m_onEnum ? m_onEnum(dwContext) : 0;
}

bool CTestSink::WaitFinished(std::size_t nCount, int nTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                              [&] { return m_finished.size() >= nCount; });
}

bool CTestSink::WaitReleased(int nTimeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (m_nRefs != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return m_nRefs == 0;
}

std::vector<std::uint32_t> CTestSink::Finished()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
}

std::vector<std::uint32_t> CTestSink::Offered()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_offered;
}

} // namespace jobtest
