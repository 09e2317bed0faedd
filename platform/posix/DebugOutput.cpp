// The debug output on POSIX is the system log.
#include "platform/SystemDebugOutput.h"

#include <syslog.h>

namespace platform
{

void WriteSystemDebugOutput(const char* pszText)
{
    syslog(LOG_USER | LOG_DEBUG, "%s", pszText);
}

} // namespace platform
