// The system's own clock behind Clock.cpp's test seam; posix/ and win32/ implement it.
#pragma once

#include "platform/Clock.h"

namespace platform
{

std::uint32_t ReadSystemTickCount();
SLocalTime ReadSystemLocalTime();
std::uint64_t ReadSystemMonotonicNs();

} // namespace platform
