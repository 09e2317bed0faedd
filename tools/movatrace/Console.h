// The one question movatrace asks of the operating system outside the platform layer.
#pragma once

#include <cstdio>

namespace movatrace
{

// Whether pStream writes to a terminal, where colours make sense.
bool IsTerminal(std::FILE* pStream);

} // namespace movatrace
