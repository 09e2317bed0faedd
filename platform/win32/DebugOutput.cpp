#include "platform/SystemDebugOutput.h"

#include "platform/win32/WindowsHeaders.h"

namespace platform
{

void WriteSystemDebugOutput(const char* pszText)
{
    OutputDebugStringA(pszText);
}

} // namespace platform
