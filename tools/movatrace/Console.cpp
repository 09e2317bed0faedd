#include "tools/movatrace/Console.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace movatrace
{

bool IsTerminal(std::FILE* pStream)
{
#ifdef _WIN32
    return _isatty(_fileno(pStream)) != 0;
#else
    return isatty(fileno(pStream)) != 0;
#endif
}

} // namespace movatrace
