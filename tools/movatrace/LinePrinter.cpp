#include "tools/movatrace/LinePrinter.h"

#include <cerrno>
#include <cstring>

namespace movatrace
{

namespace
{

constexpr const char* kRed = "\x1b[31m";
constexpr const char* kYellow = "\x1b[33m";
constexpr const char* kNormal = "\x1b[0m";

} // namespace

CLinePrinter::CLinePrinter(const SArguments& args, bool bColour)
    : m_strLogPath(args.strLogPath), m_bGrep(args.bGrep), m_bColour(bColour)
{
    if (m_bGrep)
        m_grep = std::regex(args.strGrep, std::regex::ECMAScript);
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
const char* CLinePrinter::ColourOf(std::string_view line) const
{
    if (!m_bColour)
        return nullptr;
    if (line.find("ERROR  ") != std::string_view::npos)
        return kRed;
    if (line.find("WARNING") != std::string_view::npos)
        return kYellow;
    return nullptr;
}

void CLinePrinter::PrintLine(std::size_t nClass, std::string_view line)
{
    std::string_view text = line;
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    if (m_bGrep && !std::regex_search(text.begin(), text.end(), m_grep))
        return;

    m_strOut.clear();
    if (nClass < m_aPrefixes.size())
        m_strOut += m_aPrefixes[nClass];
    const char* pszColour = ColourOf(text);
    if (pszColour != nullptr)
        m_strOut.append(pszColour).append(text).append(kNormal);
    else
        m_strOut.append(text);
    m_strOut += '\n';
    std::fwrite(m_strOut.data(), 1, m_strOut.size(), stdout);
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
        // A line we cannot show (no memory, a regex too complex for this line) is dropped;
        // the sender must still get its answer.
    }
}

} // namespace movatrace
