// The line side of CTracer: time stamps, severity words, the date-change line and hex dumps.
// Every line is built in fixed buffers on the stack; nothing is allocated per line.
#include "trace/Tracer.h"

#include "platform/Clock.h"
#include "trace/TracerText.h"

#include <atomic>
#include <cstdio>
#include <cstring>

using namespace tracetext;

namespace
{

const char* SeverityWord(std::int16_t nLevel)
{
    if (nLevel >= 0)
        return "INFO   ";
    return nLevel == -2 ? "ERROR  " : "WARNING";
}

void FormatStamp(char (&szStamp)[kStampBytes], int nMode, std::uint32_t dwStartTicks)
{
    switch (nMode)
    {
    case TIMESTAMP_CLOCK:
    {
        platform::SLocalTime now = platform::ReadLocalTime();
        std::snprintf(szStamp, sizeof szStamp, "A %02u:%02u:%02u,%03u", unsigned{now.wHour},
                      unsigned{now.wMinute}, unsigned{now.wSecond}, unsigned{now.wMilliseconds});
        break;
    }
    case TIMESTAMP_TICKS:
        std::snprintf(szStamp, sizeof szStamp, "a %10lu",
                      static_cast<unsigned long>(platform::ReadTickCount()));
        break;
    case TIMESTAMP_RELATIVE:
        std::snprintf(szStamp, sizeof szStamp, "r %10lu",
                      static_cast<unsigned long>(
                          static_cast<std::uint32_t>(platform::ReadTickCount() - dwStartTicks)));
        break;
    default:
        szStamp[0] = '\0';
        break;
    }
}

bool EndsWithLineEnd(const char* pszText)
{
    std::size_t nLen = std::strlen(pszText);
    return nLen > 0 && pszText[nLen - 1] == '\n';
}

// Appends at most what still fits, always leaving a terminated text; returns the new length.
std::size_t Append(char* pBuffer, std::size_t nSize, std::size_t nUsed, const char* pszText)
{
    std::size_t nLen = std::strlen(pszText);
    if (nUsed + nLen >= nSize)
        nLen = nSize - 1 - nUsed;
    std::memcpy(pBuffer + nUsed, pszText, nLen);
    pBuffer[nUsed + nLen] = '\0';
    return nUsed + nLen;
}

std::size_t AppendOffset(char* pBuffer, std::size_t nSize, std::size_t nUsed,
                         std::uint32_t dwOffset)
{
    char szOffset[kDumpByteBytes];
    std::snprintf(szOffset, sizeof szOffset, "  %04x: ", static_cast<unsigned>(dwOffset));
    return Append(pBuffer, nSize, nUsed, szOffset);
}

} // namespace

void CTracer::Trace(int nLevel, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    TraceV(nLevel, pszFormat, args);
    va_end(args);
}

void CTracer::TraceV(int nLevel, const char* pszFormat, va_list args)
{
    std::int16_t nLineLevel = LineLevel(nLevel);
    char szStamp[kStampBytes] = {};
    FormatStamp(szStamp, m_nTimeStampMode, m_dwStartTicks);

    char szLine[kLineBytes];
    int nHead = std::snprintf(szLine, sizeof szLine, "%s %s ", szStamp, SeverityWord(nLineLevel));
    int nBody = std::vsnprintf(szLine + nHead, sizeof szLine - static_cast<std::size_t>(nHead),
                               pszFormat ? pszFormat : "", args);
    // A message too long for the buffer is cut, not dropped; it keeps its line end so that
    // the debug output still sees one line.
    if (nBody > 0 && static_cast<std::size_t>(nHead + nBody) >= sizeof szLine &&
        EndsWithLineEnd(pszFormat))
        szLine[sizeof szLine - 2] = '\n';

    CheckDate(nLineLevel);
    Send(nLineLevel, szLine);
}

void CTracer::TraceString(int nLevel, unsigned uStringId, ...)
{
    // We carry no string table, so every lookup yields an empty text.
    (void)uStringId;
    const char* pszResource = "";
    char szText[kStringTextBytes];
    va_list args;
    va_start(args, uStringId);
    std::vsnprintf(szText, sizeof szText, pszResource, args);
    va_end(args);
    CheckDate(LineLevel(nLevel));
    Trace(nLevel, "%s", szText);
}

void CTracer::CheckDate(std::int16_t nLevel)
{
    platform::SLocalTime now = platform::ReadLocalTime();
    // Two threads may both see the change and both send the line; that is accepted.
    std::atomic_ref<std::uint16_t> lastDay(m_wLastDay);
    if (now.wDay == lastDay.load(std::memory_order_relaxed))
        return;
    char szDate[kDateLineBytes];
    std::snprintf(szDate, sizeof szDate, "***** Date Change: new date is %02u/%02u/%u\n",
                  unsigned{now.wMonth}, unsigned{now.wDay}, unsigned{now.wYear});
    Send(nLevel, szDate);
    lastDay.store(now.wDay, std::memory_order_relaxed);
}

void CTracer::HexDump(int nLevel, const void* pData, std::uint32_t dwCount)
{
    if (!IsLevelEnabled(nLevel) || m_bAttached || !pData || dwCount == 0)
        return;
    std::int16_t nLineLevel = LineLevel(nLevel);
    CheckDate(nLineLevel);

    const auto* pBytes = static_cast<const unsigned char*>(pData);
    char szLine[kDumpLineBytes];
    std::uint32_t dwLineStart = 0;
    std::size_t nUsed = AppendOffset(szLine, sizeof szLine, 0, dwLineStart);
    // The character column sits at 60 for an offset of four digits; wider offsets push it right.
    unsigned uColumn = 8;
    for (std::uint32_t i = 0; i < dwCount; ++i)
    {
        char szByte[kDumpByteBytes];
        std::snprintf(szByte, sizeof szByte, "%02x ", unsigned{pBytes[i]});
        nUsed = Append(szLine, sizeof szLine, nUsed, szByte);
        uColumn += 3;
        bool bLast = i + 1 == dwCount;
        if ((i + 1) % 16 != 0 && !bLast)
            continue;

        for (; uColumn < 60; ++uColumn)
            nUsed = Append(szLine, sizeof szLine, nUsed, " ");
        for (std::uint32_t j = dwLineStart; j <= i; ++j)
        {
            char szChar[2] = {pBytes[j] >= 0x20 && pBytes[j] <= 0x7E ? char(pBytes[j]) : '.'};
            nUsed = Append(szLine, sizeof szLine, nUsed, szChar);
        }
        Append(szLine, sizeof szLine, nUsed, "\n");
        Send(nLineLevel, szLine);
        uColumn = 8;
        dwLineStart += 16;
        if (!bLast)
            nUsed = AppendOffset(szLine, sizeof szLine, 0, dwLineStart);
    }
}
