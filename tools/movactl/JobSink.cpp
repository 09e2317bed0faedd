#include "tools/movactl/JobSink.h"

#include <chrono>
#include <cstring>

namespace movactl
{

HRESULT MOVA_CALL CJobSink::QueryInterface(REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr)
        return E_POINTER;
    if (std::memcmp(&riid, &IID_IUnknown, sizeof(IID)) != 0)
    {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *ppvObject = static_cast<IUnknown*>(this);
    return S_OK;
}

ULONG MOVA_CALL CJobSink::AddRef()
{
    return ++m_dwReferences;
}

ULONG MOVA_CALL CJobSink::Release()
{
    return --m_dwReferences;
}

std::int32_t MOVA_CALL CJobSink::OnPutJobFinished(std::uint32_t, SJobParam*,
                                                  std::uint32_t dwContext)
{
    try
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_uncollected.insert(dwContext);
        m_recent.push_back(dwContext);
        if (m_recent.size() > kRecentReports)
            m_recent.pop_front();
    }
    catch (...)
    {
        // Nothing may travel back into the library; the waiter then runs into its time-out.
        return 0;
    }
    m_cvFinished.notify_all();
    return 0;
}

std::int32_t MOVA_CALL CJobSink::OnEnumJob(std::uint32_t dwCount, SJobParam* pBuf,
                                           std::uint32_t dwContext, std::uint32_t)
{
    try
    {
        return m_fnOnEnum ? m_fnOnEnum(dwCount, pBuf, dwContext) : 0;
    }
    catch (...)
    {
        // Nothing may travel back into the library; a batch we cannot judge stays.
        return 0;
    }
}

bool CJobSink::WaitFinished(std::uint32_t dwContext, std::uint32_t dwTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cvFinished.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                               [&] { return m_uncollected.count(dwContext) != 0; }))
        return false;
    m_uncollected.erase(dwContext);
    return true;
}

bool CJobSink::IsFinished(std::uint32_t dwContext)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uncollected.count(dwContext) != 0;
}

std::vector<std::uint32_t> CJobSink::GetFinished()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_recent.begin(), m_recent.end()};
}

} // namespace movactl
