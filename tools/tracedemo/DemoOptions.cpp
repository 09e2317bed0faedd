#include "tools/tracedemo/DemoOptions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

namespace tracedemo
{

namespace
{

bool ParseNumber(const char* pszText, long nMin, long nMax, long& nValue)
{
    char* pEnd = nullptr;
    errno = 0;
    nValue = std::strtol(pszText, &pEnd, 10);
    return *pszText != '\0' && *pEnd == '\0' && errno == 0 && nValue >= nMin && nValue <= nMax;
}

bool ParseStamp(std::string_view text, int& nMode)
{
    const char* const aNames[] = {"clock", "ticks", "relative", "none"};
    for (int i = 0; i < 4; ++i)
    {
        if (text == aNames[i])
        {
            nMode = i;
            return true;
        }
    }
    return false;
}

bool ParseOption(std::string_view option, const char* pszValue, SDemoOptions& options)
{
    long nValue = 0;
    if (option == "--name")
        options.strName = pszValue;
    else if (option == "--class")
        options.strClass = pszValue;
    else if (option == "--stamp")
        return ParseStamp(pszValue, options.nStampMode);
    else if (option == "--level" && ParseNumber(pszValue, INT16_MIN, INT16_MAX, nValue))
        options.nLevel = static_cast<int>(nValue);
    else if (option == "--lines" && ParseNumber(pszValue, 0, LONG_MAX, nValue))
        options.nRounds = static_cast<unsigned long>(nValue);
    else if (option == "--interval-ms" && ParseNumber(pszValue, 0, 3600000, nValue))
        options.nIntervalMs = static_cast<unsigned long>(nValue);
    else
        return false;
    return !std::string_view(pszValue).empty();
}

} // namespace

bool ParseDemoOptions(int argc, const char* const* argv, SDemoOptions& options,
                      std::string& strError)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h")
        {
            options.bHelp = true;
            return true;
        }
    }
    for (int i = 1; i < argc; i += 2)
    {
        std::string_view arg = argv[i];
        if (i + 1 >= argc)
        {
            strError = "'" + std::string(arg) + "' needs a value";
            return false;
        }
        if (!ParseOption(arg, argv[i + 1], options))
        {
            strError = "bad argument '" + std::string(arg) + " " + argv[i + 1] + "'";
            return false;
        }
    }
    return true;
}

void PrintDemoUsage(std::FILE* pOut)
{
    std::fputs(
        "Usage: tracedemo [--name NAME] [--class CLASS] [--level LEVEL] [--lines N]\n"
        "                 [--interval-ms MS] [--stamp clock|ticks|relative|none]\n"
        "\n"
        "Opens the trace session NAME (default TraceDemo) for the trace window class CLASS\n"
        "(default TraceWindow) and writes, every MS milliseconds (default 1000), one round\n"
        "of lines: an error, a warning, lines at levels 0, 1, 10 and 100, and a hex dump at\n"
        "level 200. Which of them show depends on the session's level (initially LEVEL,\n"
        "default 0), which 'movatrace level NAME LEVEL' changes while the demo runs.\n"
        "Stops after N rounds, or when interrupted if N is 0 (the default).\n",
        pOut);
}

} // namespace tracedemo
