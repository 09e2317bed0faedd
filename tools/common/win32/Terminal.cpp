// The terminal on Windows: the console of the stream's handle, coloured with text attributes
// and rewound by cursor position. These calls work in every Windows console and in Wine's,
// where escape sequences would appear as text.
#include "tools/common/Terminal.h"

#include "platform/win32/WindowsHeaders.h"

#include <io.h>

namespace tools
{

namespace
{

constexpr WORD kForegroundBits =
    FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE | FOREGROUND_INTENSITY;

HANDLE ConsoleOf(std::FILE* pStream)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(pStream)));
}

WORD ForegroundOf(teColour eColour)
{
    WORD wColour = eColour == teColour::Red ? FOREGROUND_RED : FOREGROUND_RED | FOREGROUND_GREEN;
    return wColour | FOREGROUND_INTENSITY;
}

} // namespace

// Not _isatty: it also answers true for the null device, which is a character device too.
bool IsTerminal(std::FILE* pStream)
{
    DWORD dwMode = 0;
    return GetConsoleMode(ConsoleOf(pStream), &dwMode) != 0;
}

void WriteInColour(std::FILE* pStream, teColour eColour, std::string_view text)
{
    // The attribute applies to what reaches the console after it is set: flush around it.
    std::fflush(pStream);
    HANDLE hConsole = ConsoleOf(pStream);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    bool bColoured =
        GetConsoleScreenBufferInfo(hConsole, &info) != 0 &&
        SetConsoleTextAttribute(hConsole, static_cast<WORD>((info.wAttributes & ~kForegroundBits) |
                                                            ForegroundOf(eColour))) != 0;
    std::fwrite(text.data(), 1, text.size(), pStream);
    if (bColoured)
    {
        std::fflush(pStream);
        SetConsoleTextAttribute(hConsole, info.wAttributes);
    }
}

void RewindLines(std::FILE* pStream, std::size_t nLines)
{
    std::fflush(pStream);
    HANDLE hConsole = ConsoleOf(pStream);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(hConsole, &info) == 0)
        return;
    SHORT nTop = info.dwCursorPosition.Y;
    nTop = static_cast<SHORT>(nLines >= static_cast<std::size_t>(nTop) ? 0 : nTop - nLines);
    // To the bottom of the visible window: the lines below it were never written.
    SHORT nBottom = info.srWindow.Bottom > info.dwCursorPosition.Y ? info.srWindow.Bottom
                                                                   : info.dwCursorPosition.Y;
    COORD start{0, nTop};
    DWORD dwCells = static_cast<DWORD>(nBottom - nTop + 1) * static_cast<DWORD>(info.dwSize.X);
    DWORD dwWritten = 0;
    FillConsoleOutputCharacterA(hConsole, ' ', dwCells, start, &dwWritten);
    FillConsoleOutputAttribute(hConsole, info.wAttributes, dwCells, start, &dwWritten);
    SetConsoleCursorPosition(hConsole, start);
}

} // namespace tools
