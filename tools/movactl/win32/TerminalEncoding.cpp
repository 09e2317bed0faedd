#include "tools/movactl/TerminalEncoding.h"

#include "platform/win32/WindowsHeaders.h"

namespace movactl
{

bool TerminalShowsUtf8(std::FILE*)
{
    return GetConsoleOutputCP() == CP_UTF8;
}

} // namespace movactl
