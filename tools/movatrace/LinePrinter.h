// Shows the lines that reach the trace window and keeps the log: filtered, optionally coloured,
// with the sender (--source) and the class (when several classes share the window) in front.
// Everything is flushed before the sender gets its answer.
#pragma once

#include "platform/TraceWindowHost.h"
#include "tools/common/Terminal.h"
#include "tools/movatrace/Arguments.h"
#include "tools/movatrace/LineFilter.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace movatrace
{

class CLinePrinter
{
public:
    CLinePrinter(const SArguments& args, bool bColour);
    ~CLinePrinter();
    CLinePrinter(const CLinePrinter&) = delete;
    CLinePrinter& operator=(const CLinePrinter&) = delete;

    // Opens the log file for appending when one was asked for.
    bool OpenLog(std::string& strError);

    void PrintLine(std::size_t nClass, const platform::SLineSender& sender, std::string_view line);

    // The line callback of the window host; pContext is the printer.
    static void OnLine(void* pContext, std::size_t nClass, const platform::SLineSender& sender,
                       const char* pText, std::size_t nLength);

private:
    std::optional<tools::teColour> ColourOf(std::string_view line) const;
    void WriteLog(std::string_view sourcePrefix, std::string_view line);

    std::vector<std::string> m_aPrefixes; // per class, empty when only one is served
    std::string m_strLogPath;
    std::FILE* m_pLog = nullptr;
    bool m_bLogFailed = false;
    CLineFilter m_filter;
    bool m_bColour;
    bool m_bSource;
    std::uint32_t m_dwPid;    // 0: every sender's lines
    std::string m_strPrinted; // the line as printed, kept to spare an allocation per line
};

} // namespace movatrace
