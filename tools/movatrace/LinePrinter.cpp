#include "tools/movatrace/LinePrinter.h"

#include "tools/common/Terminal.h"

#include <cerrno>
#include <cstring>

namespace movatrace
{

CLinePrinter::CLinePrinter(const SArguments& args, bool bColour)
    : m_strLogPath(args.strLogPath), m_bColour(bColour)
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

void CLinePrinter::PrintLine(std::size_t nClass, std::string_view line)
{
    std::string_view text = line;
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    if (!m_filter.Matches(text))
        return;

    if (nClass < m_aPrefixes.size())
        std::fputs(m_aPrefixes[nClass].c_str(), stdout);
    if (std::optional<tools::teColour> colour = ColourOf(text))
        tools::WriteInColour(stdout, *colour, text);
    else
        std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    WriteLog(line);
}

void CLinePrinter::WriteLog(std::string_view line)
{
    if (m_pLog == nullptr || line.empty())
        return;
    std::fwrite(line.data(), 1, line.size(), m_pLog);
    if (std::fflush(m_pLog) != 0 && !m_bLogFailed)
    {
        // Once is enough; the window goes on showing lines.
        m_bLogFailed = true;
        std::fprintf(stderr, "movatrace: writing to '%s' failed: %s\n", m_strLogPath.c_str(),
                     std::strerror(errno));
    }
}

void CLinePrinter::OnLine(void* pContext, std::size_t nClass, const char* pText,
                          std::size_t nLength)
{
    try
    {
        static_cast<CLinePrinter*>(pContext)->PrintLine(nClass, std::string_view(pText, nLength));
    }
    catch (...)
    {
        // A line we cannot show (no memory) is dropped;
        // the sender must still get its answer.
    }
}

} // namespace movatrace
