// The session side of CTracer: creating or attaching to the shared level block, reading and
// changing the level, and handing finished lines to the trace window or the debug output.
#include "trace/Tracer.h"

#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/TraceDelivery.h"
#include "trace/TracerText.h"

#include <atomic>
#include <cstdio>
#include <cstring>

using namespace tracetext;

namespace
{

// The level word is shared with other processes and other threads of ours; every access is
// one indivisible 16-bit load or store, never a lock.
std::int16_t LoadLevel(std::int16_t* pLevel)
{
    return std::atomic_ref<std::int16_t>(*pLevel).load(std::memory_order_relaxed);
}

void StoreLevel(std::int16_t* pLevel, std::int16_t nLevel)
{
    std::atomic_ref<std::int16_t>(*pLevel).store(nLevel, std::memory_order_relaxed);
}

// The arrays are zero-filled by the constructor, so at most kNameChars characters always end
// in a zero.
void CopyName(char* pDest, const char* pszSource)
{
    std::strncpy(pDest, pszSource, CTracer::kNameChars);
}

// A session whose name another user's file (or a broken block) stands in the way of fails for
// the host with a bare number; the debug output at least says which file it is and whose.
void ReportBlockObstacle(const char* pszTraceName)
{
    char szObstacle[400];
    if (!platform::DescribeLevelBlockObstacle(pszTraceName, szObstacle, sizeof szObstacle))
        return;
    char szLine[600];
    std::snprintf(szLine, sizeof szLine, "***** Trace session '%.80s' cannot be created: %s\n",
                  pszTraceName, szObstacle);
    platform::OutputDebugText(szLine);
}

} // namespace

CTracer::CTracer()
    : m_hMapping(nullptr), m_pLevel(nullptr), m_uTraceMsg(0),
      m_bAttached(0), m_szTraceName{}, m_szWindowClass{}, m_nTimeStampMode(0), m_dwStartTicks(0),
      m_wLastDay(0)
{
}

CTracer::~CTracer()
{
    if (m_pLevel && m_hMapping)
        Trace(0, "***** Closing Trace Session (Shared Trace '%s')\n", m_szTraceName);
    if (m_pLevel)
    {
        platform::UnmapLevelBlock(m_pLevel);
        m_pLevel = nullptr;
    }
    // An attached tracer's hold is given back here too: otherwise a controller that forgets
    // Detach would keep the name taken, and the session could not be created again, for as
    // long as the controlling process lives.
    if (m_hMapping)
    {
        platform::CloseLevelBlock(m_hMapping);
        m_hMapping = nullptr;
    }
}

int CTracer::Create(const char* pszTraceName, const char* pszWindowClass, int nTimeStampMode,
                    std::int16_t nInitialLevel)
{
    // One object is one session: a second Create would lose the first block's hold.
    if (!pszTraceName || m_hMapping)
        return 0;
    m_nTimeStampMode = nTimeStampMode;
    CopyName(m_szTraceName, pszTraceName);
    CopyName(m_szWindowClass, pszWindowClass ? pszWindowClass : kDefaultWindowClass);

    // The block is named by the whole name; only the copy for the session lines is cut.
    platform::HLevelBlock hBlock = nullptr;
    platform::teBlockCreate eCreate = platform::CreateLevelBlock(pszTraceName, &hBlock);
    if (eCreate != platform::teBlockCreate::Created)
    {
        m_hMapping = nullptr;
        if (eCreate == platform::teBlockCreate::Failed)
            ReportBlockObstacle(pszTraceName);
        return 0;
    }
    m_hMapping = hBlock;
    m_pLevel = platform::MapLevelBlock(m_hMapping);
    if (!m_pLevel)
    {
        platform::CloseLevelBlock(m_hMapping);
        m_hMapping = nullptr;
        return 0;
    }
    StoreLevel(m_pLevel, nInitialLevel);
    m_dwStartTicks = platform::ReadTickCount();
    platform::SLocalTime now = platform::ReadLocalTime();
    m_wLastDay = now.wDay;

    Trace(0, "***** Starting Trace Session (Shared Trace '%s')\n", m_szTraceName);
    TraceDateAndTime(now);
    return 1;
}

int CTracer::Attach(const char* pszTraceName)
{
    m_bAttached = 1;
    if (!pszTraceName || m_hMapping)
        return 0;
    CopyName(m_szTraceName, pszTraceName);
    m_hMapping = platform::OpenLevelBlock(pszTraceName);
    if (!m_hMapping)
        return 0;
    m_pLevel = platform::MapLevelBlock(m_hMapping);
    if (!m_pLevel)
    {
        platform::CloseLevelBlock(m_hMapping);
        m_hMapping = nullptr;
        return 0;
    }
    return 1;
}

void CTracer::Detach()
{
    if (!m_bAttached)
        return;
    if (m_pLevel)
    {
        platform::UnmapLevelBlock(m_pLevel);
        m_pLevel = nullptr;
    }
    if (m_hMapping)
    {
        platform::CloseLevelBlock(m_hMapping);
        m_hMapping = nullptr;
    }
}

int CTracer::IsLevelEnabled(int nLevel)
{
    return m_pLevel && LineLevel(nLevel) <= LoadLevel(m_pLevel) ? 1 : 0;
}

std::int16_t CTracer::GetLevel()
{
    return m_hMapping && m_pLevel ? LoadLevel(m_pLevel) : std::int16_t(-1);
}

int CTracer::SetLevel(std::int16_t nNewLevel)
{
    if (!m_hMapping || !m_pLevel)
        return 0;
    platform::SLocalTime now = platform::ReadLocalTime();
    // Both lines are written before the change, so they pass or fail against the old level.
    Trace(0, "***** Trace Level (Shared Trace '%s') set from %d to %d\n", m_szTraceName,
          static_cast<int>(LoadLevel(m_pLevel)), static_cast<int>(nNewLevel));
    TraceDateAndTime(now);
    StoreLevel(m_pLevel, nNewLevel);
    return 1;
}

void CTracer::TraceDateAndTime(const platform::SLocalTime& time)
{
    Trace(0, "***** %02u/%02u/%u: %02u:%02u:%02u,%03u\n", unsigned{time.wMonth},
          unsigned{time.wDay}, unsigned{time.wYear}, unsigned{time.wHour}, unsigned{time.wMinute},
          unsigned{time.wSecond}, unsigned{time.wMilliseconds});
}

void CTracer::Send(std::int16_t nLevel, const char* pszText)
{
    if (m_bAttached || !m_hMapping || !m_pLevel || !pszText)
        return;
    // Several threads may register at once; they all store the same id.
    std::atomic_ref<std::uint32_t> traceMsg(m_uTraceMsg);
    if (traceMsg.load(std::memory_order_relaxed) == 0)
        traceMsg.store(platform::RegisterTraceMessage(kTraceMessageName),
                       std::memory_order_relaxed);
    if (!IsLevelEnabled(nLevel))
        return;
    SendToWindow(pszText);
}

void CTracer::SendToWindow(const char* pszText)
{
    const char* pszWindowText = pszText;
    char szTooLong[kTooLongBytes];
    if (std::strlen(pszText) > kMaxWindowText)
    {
        std::snprintf(szTooLong, sizeof szTooLong, "%s", kMessageTooLong);
        pszWindowText = szTooLong;
    }

    platform::HTraceWindow hWindow = platform::FindTraceWindow(m_szWindowClass);
    bool bHandedOver = false;
    if (hWindow)
    {
        platform::TraceAtom atom = platform::AddTraceAtom(pszWindowText);
        bHandedOver = platform::SendTraceMessage(
            hWindow, std::atomic_ref<std::uint32_t>(m_uTraceMsg).load(std::memory_order_relaxed),
            atom);
        platform::DeleteTraceAtom(atom);
        platform::ReleaseTraceWindow(hWindow);
    }
    // A window that went away between the lookup and the send counts as no window, so the
    // line is not lost.
    if (!bHandedOver)
        platform::OutputDebugText(pszText);
}
