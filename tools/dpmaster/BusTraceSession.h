// The master's own trace session, named after the board it serves ("DPMaster1" for board 1):
// movatrace shows its bus live, and `movatrace level DPMaster1 200` lets every telegram through.
#pragma once

#include "dp/master/BusTrace.h"

#include "trace/TraceApi.h"

#include <cstdint>
#include <string>

namespace dpmaster
{

class CBusTraceSession : public dp::IBusTrace
{
public:
    // nInitialLevel is the level the session starts with: 0 lets nothing of the bus through
    // until somebody raises it.
    CBusTraceSession(std::uint8_t byBoard, int nInitialLevel);
    ~CBusTraceSession() override;
    CBusTraceSession(const CBusTraceSession&) = delete;
    CBusTraceSession& operator=(const CBusTraceSession&) = delete;

    // False when the session could not be had (its name taken by a live session).
    bool IsOpen() const { return m_pTracer != nullptr; }
    const std::string& Name() const { return m_strName; }

    bool Wants(int nLevel) override;
    void Line(int nLevel, const char* pszText) override;

private:
    std::string m_strName;
    CTracer* m_pTracer;
};

} // namespace dpmaster
