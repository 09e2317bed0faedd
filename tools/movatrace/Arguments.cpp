#include "tools/movatrace/Arguments.h"

#include "tools/movatrace/LineFilter.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace movatrace
{

namespace
{

bool ParseLevel(const char* pszText, std::int16_t& nLevel)
{
    char* pEnd = nullptr;
    errno = 0;
    long nValue = std::strtol(pszText, &pEnd, 10);
    if (*pszText == '\0' || *pEnd != '\0' || errno != 0 || nValue < INT16_MIN || nValue > INT16_MAX)
        return false;
    nLevel = static_cast<std::int16_t>(nValue);
    return true;
}

bool IsHelp(std::string_view arg)
{
    return arg == "--help" || arg == "-h";
}

bool ParseLevelCommand(int argc, const char* const* argv, SArguments& args, std::string& strError)
{
    args.nCommand = CommandLevel;
    if (argc < 3 || argc > 4)
    {
        strError = "level needs a session name and at most one level";
        return false;
    }
    args.strSession = argv[2];
    if (args.strSession.empty())
    {
        strError = "the session name is empty";
        return false;
    }
    if (argc == 4)
    {
        args.bSetLevel = true;
        if (!ParseLevel(argv[3], args.nLevel))
        {
            strError = std::string("'") + argv[3] + "' is not a level from -32768 to 32767";
            return false;
        }
    }
    return true;
}

// Takes the value of an option given as "--opt VALUE" or "--opt=VALUE".
bool TakeValue(int argc, const char* const* argv, int& i, std::string_view option,
               std::string& strValue, std::string& strError)
{
    std::string_view arg = argv[i];
    if (arg.size() > option.size() && arg[option.size()] == '=')
    {
        strValue = arg.substr(option.size() + 1);
        return true;
    }
    if (i + 1 >= argc)
    {
        strError = std::string(option) + " needs a value";
        return false;
    }
    strValue = argv[++i];
    return true;
}

bool MatchesOption(std::string_view arg, std::string_view option)
{
    return arg == option || (arg.size() > option.size() && arg.substr(0, option.size()) == option &&
                             arg[option.size()] == '=');
}

bool ParseWindowOption(int argc, const char* const* argv, int& i, SArguments& args,
                       std::string& strError)
{
    std::string_view arg = argv[i];
    std::string strValue;
    if (arg == "--no-color")
    {
        args.bNoColor = true;
        return true;
    }
    if (MatchesOption(arg, "--class"))
    {
        if (!TakeValue(argc, argv, i, "--class", strValue, strError))
            return false;
        if (strValue.empty())
            strError = "--class needs a non-empty name";
        else if (std::find(args.aClasses.begin(), args.aClasses.end(), strValue) !=
                 args.aClasses.end())
            strError = "class '" + strValue + "' is named twice";
        else
            args.aClasses.push_back(strValue);
        return strError.empty();
    }
    if (MatchesOption(arg, "--log"))
    {
        if (!TakeValue(argc, argv, i, "--log", args.strLogPath, strError))
            return false;
        if (args.strLogPath.empty())
            strError = "--log needs a file name";
        return strError.empty();
    }
    if (MatchesOption(arg, "--grep"))
    {
        if (args.bGrep)
            strError = "--grep may be given once";
        else if (TakeValue(argc, argv, i, "--grep", args.strGrep, strError))
            args.bGrep = true;
        return strError.empty();
    }
    strError = "unknown argument '" + std::string(arg) + "'";
    return false;
}

bool IsValidPattern(const std::string& strPattern, std::string& strError)
{
    CLineFilter filter;
    return filter.Compile(strPattern, strError);
}

} // namespace

bool ParseArguments(int argc, const char* const* argv, SArguments& args, std::string& strError)
{
    for (int i = 1; i < argc; ++i)
    {
        if (IsHelp(argv[i]))
        {
            args.nCommand = CommandHelp;
            return true;
        }
    }
    std::string_view first = argc > 1 ? argv[1] : "";
    if (first == "level")
        return ParseLevelCommand(argc, argv, args, strError);
    if (first == "sessions")
    {
        args.nCommand = CommandSessions;
        if (argc > 2)
            strError = "sessions takes no arguments";
        return strError.empty();
    }
    for (int i = 1; i < argc; ++i)
    {
        if (!ParseWindowOption(argc, argv, i, args, strError))
            return false;
    }
    if (args.bGrep && !IsValidPattern(args.strGrep, strError))
        return false;
    if (args.aClasses.empty())
        args.aClasses.assign(std::begin(kDefaultClasses), std::end(kDefaultClasses));
    return true;
}

void PrintUsage(std::FILE* pOut)
{
    std::fputs(
        "Usage: movatrace [--class NAME]... [--log FILE] [--grep REGEX] [--no-color]\n"
        "       movatrace level NAME [LEVEL]\n"
        "       movatrace sessions\n"
        "\n"
        "Without a command, serves as the trace window of the given window classes (by\n"
        "default MovaJobWin, MovaProtoWin, DPComWin and TraceWindow) and prints every trace\n"
        "line as it arrives, until interrupted.\n"
        "\n"
        "  --class NAME    serve this window class; may be repeated\n"
        "  --log FILE      also append the lines, as received, to FILE\n",
        pOut);
    std::fputs(CLineFilter::IsAvailable()
                   ? "  --grep REGEX    show and log only the lines that match (RE2 syntax)\n"
                   : "  --grep REGEX    not in this build (built without RE2)\n",
               pOut);
    std::fputs("  --no-color      do not colour errors and warnings on a terminal\n"
               "\n"
               "  level NAME          print the trace level of the live session NAME\n"
               "  level NAME LEVEL    set it to LEVEL (-32768 to 32767)\n"
               "  sessions            list the live trace sessions with their levels\n"
               "\n"
               "Exit status: 0 success, 1 failure, 2 bad arguments.\n",
               pOut);
}

} // namespace movatrace
