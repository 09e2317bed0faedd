// The system's own debug output behind DebugOutput.cpp's test hook; posix/ and win32/
// implement it.
#pragma once

namespace platform
{

void WriteSystemDebugOutput(const char* pszText);

} // namespace platform
