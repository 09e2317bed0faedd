// The terminal on POSIX: isatty and ANSI escape sequences, which every terminal emulator takes.
#include "tools/common/Terminal.h"

#include <unistd.h>

namespace tools
{

namespace
{

constexpr const char* kRed = "\x1b[31m";
constexpr const char* kYellow = "\x1b[33m";
constexpr const char* kNormal = "\x1b[0m";

} // namespace

bool IsTerminal(std::FILE* pStream)
{
    return isatty(fileno(pStream)) != 0;
}

void WriteInColour(std::FILE* pStream, teColour eColour, std::string_view text)
{
    std::fputs(eColour == teColour::Red ? kRed : kYellow, pStream);
    std::fwrite(text.data(), 1, text.size(), pStream);
    std::fputs(kNormal, pStream);
}

void RewindLines(std::FILE* pStream, std::size_t nLines)
{
    // Cursor up nLines, then erase to the end of the screen.
    std::fprintf(pStream, "\x1b[%zuA\x1b[J", nLines);
}

} // namespace tools
