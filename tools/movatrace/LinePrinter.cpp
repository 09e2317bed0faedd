#include "tools/movatrace/LinePrinter.h"

#include "tools/common/Terminal.h"

#include <cerrno>
#include <cstring>

namespace movatrace
{

CLinePrinter::CLinePrinter(const SArguments& args, bool bColour)
    : m_strLogPath(args.strLogPath), m_bColour(bColour), m_bSource(args.bSource),
      m_dwPid(args.dwPid)
{
    // The arguments were checked with the same compilation, so it does not fail here.
    std::string strError;
    if (args.bGrep)
        m_filter.Compile(args.strGrep, strError);
    if (args.aClasses.size() > 1)
    {
        for (const std::string& strClass : args.aClasses)
            m_aPrefixes.push_back("[" + strClass + "] ");
    }
}

CLinePrinter::~CLinePrinter()
{
    if (m_pLog != nullptr)
        std::fclose(m_pLog);
}

bool CLinePrinter::OpenLog(std::string& strError)
{
    if (m_strLogPath.empty())
        return true;
    m_pLog = std::fopen(m_strLogPath.c_str(), "ab");
    if (m_pLog == nullptr)
    {
        strError = "cannot open log file '" + m_strLogPath + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

// The severity words of the tracer, as it writes them.
std::optional<tools::teColour> CLinePrinter::ColourOf(std::string_view line) const
{
    if (!m_bColour)
        return std::nullopt;
    if (line.find("ERROR  ") != std::string_view::npos)
        return tools::teColour::Red;
    if (line.find("WARNING") != std::string_view::npos)
        return tools::teColour::Yellow;
    return std::nullopt;
}

// --grep searches the line as it is printed, prefixes and all, so that what a person sees on
// the screen is what the pattern is matched against ("^\[DPComWin\]" keeps one class's lines,
// "^\[\d+ movactl\]" one program's). The colour is not part of it.
void CLinePrinter::PrintLine(std::size_t nClass, const platform::SLineSender& sender,
                             std::string_view line)
{
    if (m_dwPid != 0 && sender.dwPid != m_dwPid)
        return;
    std::string_view text = line;
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);

    m_strPrinted.clear();
    if (m_bSource)
    {
        m_strPrinted += '[';
        m_strPrinted += sender.dwPid != 0 ? std::to_string(sender.dwPid) : "?";
        m_strPrinted += ' ';
        m_strPrinted += *sender.pszProgram != '\0' ? sender.pszProgram : "?";
        m_strPrinted += "] ";
    }
    const std::size_t nSourceLength = m_strPrinted.size();
    if (nClass < m_aPrefixes.size())
        m_strPrinted += m_aPrefixes[nClass];
    const std::size_t nPrefixLength = m_strPrinted.size();
    m_strPrinted += text;
    if (!m_filter.Matches(m_strPrinted))
        return;

    std::fwrite(m_strPrinted.data(), 1, nPrefixLength, stdout);
    if (std::optional<tools::teColour> colour = ColourOf(text))
        tools::WriteInColour(stdout, *colour, text);
    else
        std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    WriteLog(std::string_view(m_strPrinted).substr(0, nSourceLength), line);
}

// The log keeps the line as received, with only the sender in front when it is asked for.
void CLinePrinter::WriteLog(std::string_view sourcePrefix, std::string_view line)
{
    if (m_pLog == nullptr || line.empty())
        return;
    std::fwrite(sourcePrefix.data(), 1, sourcePrefix.size(), m_pLog);
    std::fwrite(line.data(), 1, line.size(), m_pLog);
    if (std::fflush(m_pLog) != 0 && !m_bLogFailed)
    {
        // Once is enough; the window goes on showing lines.
        m_bLogFailed = true;
        std::fprintf(stderr, "movatrace: writing to '%s' failed: %s\n", m_strLogPath.c_str(),
                     std::strerror(errno));
    }
}

void CLinePrinter::OnLine(void* pContext, std::size_t nClass, const platform::SLineSender& sender,
                          const char* pText, std::size_t nLength)
{
    try
    {
        static_cast<CLinePrinter*>(pContext)->PrintLine(nClass, sender,
                                                        std::string_view(pText, nLength));
    }
    catch (...)
    {
        // A line we cannot show (no memory) is dropped;
        // the sender must still get its answer.
    }
}

} // namespace movatrace
