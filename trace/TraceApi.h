// The free functions through which the library traces. Each accepts a null tracer, which
// stands for "no trace" and makes every call return at once.
#pragma once

#include "trace/Tracer.h"

#include <cstdint>

// A new session under pszTraceName, or null when the name is taken or the block cannot be had.
CTracer* CreateTracer(const char* pszTraceName, const char* pszWindowClass, int nTimeStampMode,
                      int nInitialLevel);

// Opens another party's live session to read or change its level; such a tracer never writes
// lines. Null when no session of that name is alive.
CTracer* AttachTracer(const char* pszTraceName);

void DeleteTracer(CTracer* pTracer);

// 1 when a line of nLevel would pass the session's current level; 0 for a null tracer.
int TraceLevelEnabled(CTracer* pTracer, int nLevel);

void TraceLine(CTracer* pTracer, int nLevel, const char* pszFormat, ...)
    __attribute__((format(gnu_printf, 3, 4)));

// How the library's objects write their lines: one of level 0 or more is formatted only when
// the level lets it pass; warnings and errors go to TraceLine as they are.
void TraceChecked(CTracer* pTracer, int nLevel, const char* pszFormat, ...)
    __attribute__((format(gnu_printf, 3, 4)));

void TraceHexDump(CTracer* pTracer, int nLevel, const void* pData, std::uint32_t dwCount);
