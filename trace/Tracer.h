// One trace session: a levelled, time-stamped running trace whose level lives in a named
// shared block, so that another process can change it while we run. Finished lines go to the
// trace window of m_szWindowClass or, when there is none, to the debug output.
#pragma once

#include "platform/Clock.h"
#include "platform/LevelBlock.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>

enum teTimeStampMode
{
    TIMESTAMP_CLOCK = 0,   // "A hh:mm:ss,mmm" of the local time
    TIMESTAMP_TICKS = 1,   // "a" and the tick count
    TIMESTAMP_RELATIVE = 2 // "r" and the ticks since the session was created
};

class CTracer
{
public:
    static constexpr std::size_t kNameChars = 80;
    static constexpr std::size_t kMaxWindowText = 255; // longest line a window is given

    CTracer();
    virtual ~CTracer();
    CTracer(const CTracer&) = delete;
    CTracer& operator=(const CTracer&) = delete;

    virtual int Create(const char* pszTraceName, const char* pszWindowClass, int nTimeStampMode,
                       std::int16_t nInitialLevel);
    virtual int Attach(const char* pszTraceName);
    virtual void Detach();
    virtual int IsLevelEnabled(int nLevel);
    virtual std::int16_t GetLevel();
    virtual int SetLevel(std::int16_t nNewLevel);
    virtual void Send(std::int16_t nLevel, const char* pszText);
    virtual void TraceString(int nLevel, unsigned uStringId, ...);
    virtual void Trace(int nLevel, const char* pszFormat, ...)
        __attribute__((format(gnu_printf, 3, 4)));
    virtual void HexDump(int nLevel, const void* pData, std::uint32_t dwCount);

    // The formatted line of Trace for a caller that holds a va_list (TraceLine).
    void TraceV(int nLevel, const char* pszFormat, va_list args)
        __attribute__((format(gnu_printf, 3, 0)));

private:
    void CheckDate(std::int16_t nLevel);
    void TraceDateAndTime(const platform::SLocalTime& time);
    void SendToWindow(const char* pszText);

    platform::HLevelBlock m_hMapping;
    std::int16_t* m_pLevel;
    std::uint32_t m_uTraceMsg;
    std::int32_t m_bAttached;
    char m_szTraceName[kNameChars + 1];
    char m_szWindowClass[kNameChars + 1];
    std::int32_t m_nTimeStampMode;
    std::uint32_t m_dwStartTicks;
    std::uint16_t m_wLastDay;
};
