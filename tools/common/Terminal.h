// What the tools do to the terminal they write to: ask whether there is one, write in colour,
// and write over the lines they wrote last. On POSIX by ANSI escape sequences; on Windows by
// the console's own calls, because a console that does not take escape sequences (Wine's,
// Windows before 10) would show them as text.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

namespace tools
{

// Whether pStream writes to a terminal (a console on Windows), where colours and writing over
// lines make sense. A file, a pipe or the null device is none.
bool IsTerminal(std::FILE* pStream);

enum class teColour
{
    Red,
    Yellow
};

// Writes text to the terminal pStream in eColour, and the colour back to what it was after.
void WriteInColour(std::FILE* pStream, teColour eColour, std::string_view text);

// Moves the cursor of the terminal pStream to the start of the line nLines lines up and clears
// from there to the end, so that what is written next replaces those lines.
void RewindLines(std::FILE* pStream, std::size_t nLines);

} // namespace tools
