#include "trace/TraceApi.h"

#include <new>

CTracer* CreateTracer(const char* pszTraceName, const char* pszWindowClass, int nTimeStampMode,
                      int nInitialLevel)
{
    CTracer* pTracer = new (std::nothrow) CTracer;
    if (pTracer && !pTracer->Create(pszTraceName, pszWindowClass, nTimeStampMode,
                                    static_cast<std::int16_t>(nInitialLevel)))
    {
        delete pTracer;
        return nullptr;
    }
    return pTracer;
}

CTracer* AttachTracer(const char* pszTraceName)
{
    CTracer* pTracer = new (std::nothrow) CTracer;
    if (pTracer && !pTracer->Attach(pszTraceName))
    {
        delete pTracer;
        return nullptr;
    }
    return pTracer;
}

void DeleteTracer(CTracer* pTracer)
{
    delete pTracer;
}

int TraceLevelEnabled(CTracer* pTracer, int nLevel)
{
    return pTracer ? pTracer->IsLevelEnabled(nLevel) : 0;
}

void TraceLine(CTracer* pTracer, int nLevel, const char* pszFormat, ...)
{
    if (!pTracer)
        return;
    va_list args;
    va_start(args, pszFormat);
    pTracer->TraceV(nLevel, pszFormat, args);
    va_end(args);
}

void TraceChecked(CTracer* pTracer, int nLevel, const char* pszFormat, ...)
{
    if (!pTracer || (nLevel >= 0 && !pTracer->IsLevelEnabled(nLevel)))
        return;
    va_list args;
    va_start(args, pszFormat);
    pTracer->TraceV(nLevel, pszFormat, args);
    va_end(args);
}

void TraceHexDump(CTracer* pTracer, int nLevel, const void* pData, std::uint32_t dwCount)
{
    if (pTracer)
        pTracer->HexDump(nLevel, pData, dwCount);
}
