#include "tools/dpmaster/BusTraceSession.h"

namespace dpmaster
{

namespace
{

// The library's trace window serves the master's lines as well.
constexpr char kWindowClass[] = "MovaJobWin";

} // namespace

CBusTraceSession::CBusTraceSession(std::uint8_t byBoard, int nInitialLevel)
    : m_strName("DPMaster" + std::to_string(byBoard)),
      m_pTracer(CreateTracer(m_strName.c_str(), kWindowClass, TIMESTAMP_CLOCK, nInitialLevel))
{
}

CBusTraceSession::~CBusTraceSession()
{
    DeleteTracer(m_pTracer);
}

bool CBusTraceSession::Wants(int nLevel)
{
    return TraceLevelEnabled(m_pTracer, nLevel) != 0;
}

void CBusTraceSession::Line(int nLevel, const char* pszText)
{
    TraceLine(m_pTracer, nLevel, "%s\n", pszText);
}

} // namespace dpmaster
