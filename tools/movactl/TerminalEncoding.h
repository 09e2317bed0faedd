// Whether a terminal shows UTF-8, so that watch may draw its plots with block characters.
//  - POSIX: the character set of the locale the environment names (LC_ALL, LC_CTYPE, LANG),
//    as the C library reads it: "UTF-8" there, and the terminal is taken to follow the locale,
//    as terminal emulators and ssh sessions set it up.
//  - Windows: the console's output code page is UTF-8 (65001, 'chcp 65001'). A console starts
//    in its OEM code page (437, 850, ...), Wine's too, and there the plots are ASCII.
#pragma once

#include <cstdio>

namespace movactl
{

bool TerminalShowsUtf8(std::FILE* pStream);

} // namespace movactl
